#include "gui.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <mutex>

#include "core/fonts.h"
#include "core/picture.h"
#include "core/resources.h"
#include "detail.h"
#include "dialogs.h"

namespace rt {

namespace {

// Titles are often built from fixed-width fields ("Тема: " & TEMA): their padding
// would push the title off-centre and follow it into the Window menu.
QString shownTitle(const QString& title) {
    qsizetype n = title.size();
    while (n > 0 && title.at(n - 1) == u' ')
        --n;
    return title.left(n);
}

std::mutex gFactoryLock;
std::map<QString, ControlFactory>& factories() {
    static std::map<QString, ControlFactory> f;
    return f;
}

struct DialogEntry {
    QPointer<QWidget> widget;
    int thread = 0;
    bool blocks = false;
};

// The client area: its size hint is the declared size, so the window opens
// with the client as declared whatever bars surround it.
class Client : public QWidget {
  public:
    explicit Client(QSize want) : want_(want) {}
    QSize sizeHint() const override { return want_; }
    QSize minimumSizeHint() const override { return QSize(0, 0); }

  private:
    QSize want_;
};

// A button with an icon and a text, declared taller than two lines of text:
// the icon above, the text below it, both centred (beside each other the text
// would not fit).
class StackedButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton o;
        initStyleOption(&o);
        const QString label = o.text;
        o.text.clear();
        o.icon = QIcon();
        p.drawControl(QStyle::CE_PushButton, o);
        const QRect r = style()->subElementRect(QStyle::SE_PushButtonContents, &o, this);
        const int flags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap | Qt::TextShowMnemonic;
        const int textHeight = fontMetrics().boundingRect(r, flags, label).height();
        const int gap = 2;
        const int side = std::max(8, std::min(r.width(), r.height() - textHeight - gap));
        const int top = r.top() + std::max(0, (r.height() - side - gap - textHeight) / 2);
        const QRect iconRect(r.center().x() - side / 2, top, side, side);
        icon().paint(&p, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        p.drawItemText(QRect(r.left(), iconRect.bottom() + gap, r.width(), textHeight), flags,
                       palette(), isEnabled(), label, QPalette::ButtonText);
    }
};

}  // namespace

// The process's GUI state: open windows, dialogs, the frame, SYSTEM settings.
// GUI thread only.
class GuiHostFilter : public QObject {
  public:
    std::map<quint64, GuiWindow*> windows;
    std::map<int, std::vector<quint64>> order;  // per thread, oldest first
    std::vector<DialogEntry> dialogs;
    QPointer<QMainWindow> frame;
    quint64 frameId = 0;
    bool noTips = false;
    int tipMs = -1;

    void refreshBlocked(int thread) {
        bool dialogOpen = false;
        for (const DialogEntry& d : dialogs)
            dialogOpen = dialogOpen || (d.widget && d.thread == thread && d.blocks);
        const std::vector<quint64>& ids = order[thread];
        for (size_t i = 0; i < ids.size(); ++i) {
            auto it = windows.find(ids[i]);
            if (it != windows.end())
                it->second->setBlocked(dialogOpen || i + 1 != ids.size());
        }
    }

    void dropDialog(QObject* o) {
        std::set<int> threads;
        for (auto it = dialogs.begin(); it != dialogs.end();) {
            if (it->widget == o || !it->widget) {
                threads.insert(it->thread);
                it = dialogs.erase(it);
            } else {
                ++it;
            }
        }
        for (int t : threads)
            refreshBlocked(t);
    }

    // The window and control a widget belongs to.
    static GuiWindow* locate(QObject* o, int* control) {
        *control = 0;
        for (QObject* p = o; p; p = p->parent()) {
            if (*control == 0) {
                const QVariant c = p->property("kaldorControl");
                if (c.isValid())
                    *control = c.toInt();
            }
            const QVariant w = p->property("kaldorWindow");
            if (w.isValid())
                return gui::window(w.toULongLong());
            if (p->isWidgetType() && static_cast<QWidget*>(p)->isWindow() &&
                !p->property("kaldorWindow").isValid() && p->parent() == nullptr)
                break;
        }
        return nullptr;
    }

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
            case QEvent::ToolTip:
                return noTips;
            case QEvent::KeyPress:
                return keyPress(o, static_cast<QKeyEvent*>(e));
            case QEvent::MouseButtonPress:
                return mousePress(o, static_cast<QMouseEvent*>(e));
            case QEvent::FocusIn:
                focusIn(o, static_cast<QFocusEvent*>(e));
                return false;
            case QEvent::FocusOut:
                focusOut(o, static_cast<QFocusEvent*>(e));
                return false;
            case QEvent::Enter:
            case QEvent::Leave:
                hover(o, e->type() == QEvent::Enter);
                return false;
            default:
                return false;
        }
    }

  private:
    // A key or mouse event the widget under it ignores goes on to its parents
    // and through this filter again: harmless, as only alerted keys (taken at
    // their first delivery) and Enter (likewise) are acted on.
    bool keyPress(QObject* o, QKeyEvent* e) {
        if (!o->isWidgetType())
            return false;
        int control = 0;
        GuiWindow* w = locate(o, &control);
        if (!w)
            return false;
        const int code = gui::keyCode(e);
        if (code != 0 && w->alerted(code)) {
            w->post(EVENT::AlertKey, control, {}, code);
            return true;
        }
        // Esc is the window's cancel: it does what its close box does (a form
        // asks before a changed record is lost). An open drop-down list takes
        // it for itself, and the frame is closed only on purpose.
        if (code == Key::Esc && !w->isFrame() && !QApplication::activePopupWidget()) {
            w->requestClose();
            return true;
        }
        if (e->key() != Qt::Key_Return && e->key() != Qt::Key_Enter)
            return false;
        GuiControl* c = w->control(control);
        const ControlType t = c ? c->decl().type : ControlType::Custom;
        if (t == ControlType::Text || t == ControlType::List || t == ControlType::Custom ||
            t == ControlType::Button)
            return false;
        if (t == ControlType::Entry || t == ControlType::Combo) {
            QLineEdit* le = c->as<QLineEdit>();
            if (!le && c->as<QComboBox>())
                le = c->as<QComboBox>()->lineEdit();
            if (le)
                w->post(EVENT::Accepted, control, le->text());
        }
        // Enter presses the window's default button.
        if (GuiControl* b = w->control(w->defaultButton())) {
            if (auto* button = b->as<QAbstractButton>();
                button && button->isVisible() && button->isEnabled())
                button->click();
        }
        return true;
    }

    bool mousePress(QObject* o, QMouseEvent* e) {
        if (!o->isWidgetType())
            return false;
        int control = 0;
        GuiWindow* w = locate(o, &control);
        if (!w)
            return false;
        const int code = gui::mouseCode(e);
        if (code != 0 && w->alerted(code)) {
            w->post(EVENT::AlertKey, control, {}, code);
            return true;
        }
        return false;
    }

    void focusIn(QObject* o, QFocusEvent* e) {
        if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
            return;
        int control = 0;
        GuiWindow* w = locate(o, &control);
        if (w && control > 0 && control != w->focusedControl() && !w->holdingFocus()) {
            w->focusChanged(control);
            w->post(EVENT::Selected, control);
        }
    }

    // The status text of a control under the mouse; the focused control's
    // again when the mouse leaves it.
    void hover(QObject* o, bool entered) {
        if (!o->isWidgetType() || !o->property("kaldorControl").isValid())
            return;
        int control = 0;
        GuiWindow* w = locate(o, &control);
        if (!w || control <= 0)
            return;
        const QString text = w->statusTextOf(entered ? control : w->focusedControl());
        if (entered && text.isEmpty())
            return;
        w->showStatus(text);
    }

    void focusOut(QObject* o, QFocusEvent* e) {
        if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason)
            return;
        int control = 0;
        GuiWindow* w = locate(o, &control);
        GuiControl* c = w ? w->control(control) : nullptr;
        if (!c)
            return;
        QLineEdit* le = nullptr;
        if (c->decl().type == ControlType::Entry)
            le = c->as<QLineEdit>();
        else if (c->decl().type == ControlType::Combo && c->as<QComboBox>())
            le = c->as<QComboBox>()->lineEdit();
        // Leaving an entry whose text the user changed completes it. An editable
        // combo is the focus proxy of its line edit: the combo loses the focus.
        const bool left = o == le || (le && o == c->as<QComboBox>());
        if (le && left && !le->isReadOnly() && le->text() != c->lastShown)
            c->post(EVENT::Accepted, le->text());
    }
};

namespace {
GuiHostFilter* gHost = nullptr;
}

// ---------------------------------------------------------------------------

namespace {

// A message box sizes itself by its text and buttons only: a short text under
// a long title ("Удаление записи") would leave the title bar cut. It is made
// wide enough for its title and the title bar's buttons.
void fitTitle(QMessageBox* box) {
    auto* grid = qobject_cast<QGridLayout*>(box->layout());
    if (!grid)
        return;
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const int titleBarButtons = 4 * box->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const int width =
        QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + titleBarButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

namespace gui {

GuiWindow* window(quint64 id) {
    if (!gHost)
        return nullptr;
    auto it = gHost->windows.find(id);
    return it == gHost->windows.end() ? nullptr : it->second;
}

GuiWindow* topWindow(int thread) {
    if (!gHost)
        return nullptr;
    auto it = gHost->order.find(thread);
    if (it == gHost->order.end() || it->second.empty())
        return nullptr;
    return window(it->second.back());
}

std::vector<GuiWindow*> windows(int thread) {
    std::vector<GuiWindow*> out;
    if (!gHost)
        return out;
    for (quint64 id : gHost->order[thread]) {
        if (GuiWindow* w = window(id))
            out.push_back(w);
    }
    return out;
}

QMainWindow* frame() {
    return gHost ? gHost->frame.data() : nullptr;
}

std::vector<QWidget*> dialogs(int thread) {
    std::vector<QWidget*> out;
    if (!gHost)
        return out;
    for (const DialogEntry& d : gHost->dialogs) {
        if (d.widget && d.thread == thread && d.widget->isVisible())
            out.push_back(d.widget);
    }
    return out;
}

void addDialog(int thread, QWidget* dialog, bool blocks) {
    if (!gHost)
        return;
    if (auto* box = qobject_cast<QMessageBox*>(dialog))
        fitTitle(box);
    // The window that asks stands in sight under its question (a form the
    // frame's close box asks may lie behind the frame).
    if (GuiWindow* w = topWindow(thread); w && blocks && !w->isFrame() && w->top())
        w->top()->raise();
    gHost->dialogs.push_back({dialog, thread, blocks});
    QObject::connect(dialog, &QObject::destroyed, gHost, [](QObject* o) { gHost->dropDialog(o); });
    gHost->refreshBlocked(thread);
}

void removeDialog(QWidget* dialog) {
    if (gHost)
        gHost->dropDialog(dialog);
}

QWidget* dialogParent(int thread) {
    // Not the thread's own window: that one takes no input while the dialog is
    // open, and a disabled parent would disable the dialog too. The frame is
    // never disabled as a whole.
    (void)thread;
    return frame();
}

int keyCode(const QKeyEvent* e) {
    const int key = e->key();
    int code = 0;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        code = key;
    } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        code = Key::F1 + (key - Qt::Key_F1);
    } else {
        switch (key) {
            case Qt::Key_Backspace:
                code = Key::Backspace;
                break;
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                code = Key::Tab;
                break;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                code = Key::Enter;
                break;
            case Qt::Key_Escape:
                code = Key::Esc;
                break;
            case Qt::Key_Space:
                code = Key::Space;
                break;
            case Qt::Key_PageUp:
                code = Key::PgUp;
                break;
            case Qt::Key_PageDown:
                code = Key::PgDn;
                break;
            case Qt::Key_End:
                code = Key::End;
                break;
            case Qt::Key_Home:
                code = Key::Home;
                break;
            case Qt::Key_Left:
                code = Key::Left;
                break;
            case Qt::Key_Up:
                code = Key::Up;
                break;
            case Qt::Key_Right:
                code = Key::Right;
                break;
            case Qt::Key_Down:
                code = Key::Down;
                break;
            case Qt::Key_Insert:
                code = Key::Insert;
                break;
            case Qt::Key_Delete:
                code = Key::Delete;
                break;
            default:
                return 0;
        }
    }
    const Qt::KeyboardModifiers m = e->modifiers();
    if ((m & Qt::ShiftModifier) || key == Qt::Key_Backtab)
        code += Key::Shift;
    if (m & Qt::ControlModifier)
        code += Key::Ctrl;
    if (m & Qt::AltModifier)
        code += Key::Alt;
    return code;
}

int mouseCode(const QMouseEvent* e) {
    int code = 0;
    switch (e->button()) {
        case Qt::LeftButton:
            code = Key::MouseLeft;
            break;
        case Qt::RightButton:
            code = Key::MouseRight;
            break;
        case Qt::MiddleButton:
            code = Key::MouseCenter;
            break;
        default:
            return 0;
    }
    const Qt::KeyboardModifiers m = e->modifiers();
    if (m & Qt::ShiftModifier)
        code += Key::Shift;
    if (m & Qt::ControlModifier)
        code += Key::Ctrl;
    if (m & Qt::AltModifier)
        code += Key::Alt;
    return code;
}

QColor color(int bgr) {
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

QIcon icon(const QString& name) {
    if (name.isEmpty())
        return {};
    if (name.startsWith(QLatin1String("style:")))
        return QApplication::style()->standardIcon(QStyle::StandardPixmap(name.mid(6).toInt()));
    const QString path = iconPath(name);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QFont font(const QFont& base, const QString& name, int size, int style) {
    QFont f(base);
    if (!name.isEmpty())
        f.setFamily(fontFace(name));
    if (size > 0)
        f.setPointSize(size);
    if (style > 0) {
        const int weight = style & FONT::Weight;
        if (weight > 0)
            f.setWeight(QFont::Weight(std::clamp(weight, 100, 900)));
        f.setItalic(style & FONT::Italic);
        f.setUnderline(style & FONT::Underline);
        f.setStrikeOut(style & FONT::Strikeout);
    }
    return f;
}

}  // namespace gui

void registerControlType(const QString& kind, ControlFactory factory) {
    std::lock_guard<std::mutex> l(gFactoryLock);
    factories()[kind.toLower()] = std::move(factory);
}

// ---------------------------------------------------------------------------

void GuiControl::post(int event, const Value& value, int keycode) const {
    window_->post(event, number(), value, keycode, true);
}

Value GuiControl::property(PROP p, int index) const {
    auto it = props.find({int(p), index});
    return it == props.end() ? Value() : it->second;
}

QIcon GuiControl::icon(int n) const {
    auto it = props.find({int(PROP::IconList), n});
    return it == props.end() ? QIcon() : gui::icon(it->second.toText());
}

// ---------------------------------------------------------------------------

GuiWindow::GuiWindow(const detail::OpenRequest& r, QMainWindow* frame)
    : id_(r.id), ctx_(r.ctx), decl_(r.decl) {
    build(frame);
}

GuiWindow::~GuiWindow() {
    closing_ = true;
    if (top_) {
        top_->hide();
        top_->deleteLater();
    }
}

int GuiWindow::thread() const {
    return ctx_->number;
}

GuiControl* GuiWindow::control(int n) const {
    return n >= 1 && n <= int(controls_.size()) ? controls_[size_t(n - 1)].get() : nullptr;
}

QAction* GuiWindow::menuItem(int n) const {
    auto it = menuItems_.find(n);
    return it == menuItems_.end() ? nullptr : it->second;
}

int GuiWindow::px(int du) const {
    return int(du * unitX_ + 0.5);
}

int GuiWindow::py(int du) const {
    return int(du * unitY_ + 0.5);
}

void GuiWindow::post(int event, int field, const Value& v, int keycode, bool input) const {
    Event e;
    e.event = event;
    e.field = field;
    e.keycode = keycode;
    e.window = id_;
    e.value = v;
    e.input = input;
    detail::push(*ctx_, detail::Item{std::move(e), nullptr});
}

void GuiWindow::build(QMainWindow* frame) {
    const WindowDecl& d = *decl_;
    font_ = gui::font(QApplication::font(),
                      d.font.name.isEmpty() ? QStringLiteral("Arial") : d.font.name,
                      d.font.size > 0 ? d.font.size : 8, d.font.style);
    // A horizontal dialog unit is a quarter of the font's average character
    // width, a vertical one an eighth of its height.
    const QFontMetricsF fm(font_);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    unitX_ = fm.horizontalAdvance(letters) / 52.0 / 4.0;
    unitY_ = fm.height() / 8.0;

    client_ = new Client(QSize(px(d.width), py(d.height)));
    client_->setFont(font_);
    if (d.color != -1) {
        QPalette pal = client_->palette();
        pal.setColor(QPalette::Window, gui::color(d.color));
        client_->setPalette(pal);
        client_->setAutoFillBackground(true);
    }

    if (d.frame) {
        auto* mw = new QMainWindow;
        mdi_ = new QMdiArea;
        mdi_->setProperty("kaldorFrameArea", true);
        // A window larger than the frame, or moved partly out of it, is
        // scrolled to rather than cut off.
        mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        mw->setCentralWidget(mdi_);
        menuBar_ = mw->menuBar();
        statusBar_ = mw->statusBar();
        shell_ = mw;
        top_ = mw;
        client_->setParent(mw);
        client_->hide();
        mw->resize(px(d.width), py(d.height));
    } else {
        shell_ = new QWidget;
        auto* lay = new QVBoxLayout(shell_);
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(0);
        if (!d.menus.empty()) {
            menuBar_ = new QMenuBar(shell_);
            lay->setMenuBar(menuBar_);
        }
        lay->addWidget(client_, 1);
        if (!d.statusZones.empty()) {
            statusBar_ = new QStatusBar(shell_);
            lay->addWidget(statusBar_);
        }
        shell_->setFont(font_);
        if (d.mdi && frame) {
            auto* area = qobject_cast<QMdiArea*>(frame->centralWidget());
            sub_ = area->addSubWindow(shell_);
            sub_->setAttribute(Qt::WA_DeleteOnClose, false);
            top_ = sub_;
        } else {
            if (frame)
                shell_->setParent(frame, Qt::Window);
            top_ = shell_;
        }
    }
    shell_->setProperty("kaldorWindow", QVariant::fromValue(id_));
    top_->installEventFilter(this);
    if (!d.frame)
        client_->installEventFilter(this);
    top_->setWindowTitle(shownTitle(d.title));
    if (!d.icon.isEmpty())
        top_->setWindowIcon(gui::icon(d.icon));

    if (statusBar_) {
        for (size_t i = 0; i < std::max<size_t>(d.statusZones.size(), 1); ++i) {
            auto* l = new QLabel(statusBar_);
            const int w = i < d.statusZones.size() ? d.statusZones[i] : -1;
            if (w > 0) {
                l->setFixedWidth(px(w));
                statusBar_->addPermanentWidget(l);
            } else {
                statusBar_->addWidget(l, 1);
            }
            zones_.push_back(l);
        }
    }

    controls_.reserve(d.controls.size());
    for (const ControlDecl& cd : d.controls) {
        auto c = std::make_unique<GuiControl>();
        c->decl_ = &cd;
        c->window_ = this;
        c->hidden = cd.hidden;
        c->color = cd.color;
        c->fontColor = cd.font.color;
        c->selColor = cd.selectedColor;
        c->selFill = cd.selectedFill;
        if (cd.isDefault)
            defaultButton_ = cd.number;
        controls_.push_back(std::move(c));
    }
    for (auto& c : controls_) {
        QWidget* w = makeControl(*c);
        c->widget_ = w;
        if (!w)
            continue;
        w->setProperty("kaldorControl", c->number());
        const ControlDecl& cd = c->decl();
        if (!cd.font.name.isEmpty() || cd.font.size > 0 || cd.font.style > 0)
            w->setFont(gui::font(font_, cd.font.name, cd.font.size, cd.font.style));
        if (!cd.tip.isEmpty())
            w->setToolTip(QString(cd.tip).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        if (cd.disabled)
            w->setEnabled(false);
        placeControl(*c);
        applyColors(*c);
        connectControl(*c);
    }
    // Group boxes are frames around their controls, seen through: a control
    // declared before a group that overlaps its edge (a list just under a
    // search group) stays in sight over the frame.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        const ControlType t = (*it)->decl().type;
        if ((t == ControlType::Group || t == ControlType::Option) && (*it)->widget())
            (*it)->widget()->lower();
    }
    // Sheets lie under every other control: a list declared before the sheet
    // it stands on would otherwise be hidden by the sheet's page.
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        if ((*it)->decl().type == ControlType::Sheet && (*it)->widget())
            (*it)->widget()->lower();
    }
    // A prompt names the control after it: its access key moves there.
    for (auto& c : controls_) {
        if (c->decl().type != ControlType::Prompt)
            continue;
        if (GuiControl* next = control(c->number() + 1)) {
            if (auto* l = c->as<QLabel>(); l && next->widget())
                l->setBuddy(next->widget());
        }
    }
    buildMenus();
    refreshVisibility();
}

QWidget* GuiWindow::makeControl(GuiControl& c) {
    const ControlDecl& d = c.decl();
    QWidget* parent = client_;
    if (const ControlDecl* p = decl_->control(d.parent); p && p->type == ControlType::Toolbar)
        parent = toolBar_;
    {
        std::lock_guard<std::mutex> l(gFactoryLock);
        auto it = factories().find(d.kind.toLower());
        if (it != factories().end())
            return it->second(c, parent);
    }
    switch (d.type) {
        case ControlType::Entry: {
            auto* e = new QLineEdit(parent);
            const Picture& pic = Picture::of(d.picture);
            if (pic.valid() && pic.type() == Picture::Type::Text)
                e->setMaxLength(pic.width());
            Qt::Alignment a = d.align;
            if (!a)
                a = pic.valid() && pic.rightAligned() ? Qt::AlignRight : Qt::AlignLeft;
            e->setAlignment(a | Qt::AlignVCenter);
            e->setReadOnly(d.readOnly);
            if (d.transparent) {
                e->setFrame(false);
                e->setAutoFillBackground(false);
                if (d.disabled)
                    e->setFocusPolicy(Qt::NoFocus);
            }
            return e;
        }
        case ControlType::Prompt: {
            auto* l = new QLabel(d.text, parent);
            return l;
        }
        case ControlType::String: {
            auto* l = new QLabel(parent);
            l->setTextFormat(Qt::PlainText);
            l->setText(d.text);
            if (d.align)
                l->setAlignment(d.align | Qt::AlignVCenter);
            return l;
        }
        case ControlType::Button: {
            const bool stacked =
                !d.icon.isEmpty() && !d.text.isEmpty() && d.height != kDefault && d.height >= 24;
            auto* b = stacked ? new StackedButton(d.text, parent) : new QPushButton(d.text, parent);
            b->setAutoDefault(false);
            if (!d.icon.isEmpty()) {
                b->setIcon(gui::icon(d.icon));
                if (!stacked && d.width != kDefault && d.height != kDefault) {
                    const int side = std::max(8, std::min(px(d.width), py(d.height)) - 8);
                    b->setIconSize(QSize(side, side));
                }
            }
            if (d.flat)
                b->setFlat(true);
            return b;
        }
        case ControlType::Check: {
            if (!d.icon.isEmpty()) {
                auto* t = new QToolButton(parent);
                t->setCheckable(true);
                t->setIcon(gui::icon(d.icon));
                t->setText(d.text);
                return t;
            }
            return new QCheckBox(d.text, parent);
        }
        case ControlType::Option:
        case ControlType::Group: {
            auto* g = new QGroupBox(d.text, parent);
            if (d.text.isEmpty() && d.type == ControlType::Option &&
                !d.raw.value(QLatin1String("boxed")).toBool())
                g->setFlat(true);
            if (d.type == ControlType::Option) {
                c.group = new QButtonGroup(g);
                c.group->setExclusive(true);
            }
            return g;
        }
        case ControlType::Radio: {
            QAbstractButton* b;
            if (!d.icon.isEmpty()) {
                auto* t = new QToolButton(parent);
                t->setCheckable(true);
                t->setIcon(gui::icon(d.icon));
                b = t;
            } else {
                b = new QRadioButton(d.text, parent);
            }
            if (GuiControl* option = control(d.parent); option && option->group)
                option->group->addButton(b, decl_->position(d.number));
            return b;
        }
        case ControlType::DropList:
        case ControlType::Combo: {
            auto* cb = new QComboBox(parent);
            cb->setEditable(d.type == ControlType::Combo);
            cb->addItems(d.from);
            cb->setCurrentIndex(-1);
            return cb;
        }
        case ControlType::Sheet: {
            auto* t = new QTabWidget(parent);
            for (int tab : decl_->children(d.number, ControlType::Tab)) {
                auto* page = new QWidget;
                page->setAutoFillBackground(false);
                t->addTab(page, decl_->control(tab)->text);
            }
            return t;
        }
        case ControlType::Tab:
            return nullptr;  // a page of its sheet
        case ControlType::Spin: {
            auto* s = new QSpinBox(parent);
            if (d.hasRange)
                s->setRange(d.rangeLow, d.rangeHigh);
            else
                s->setRange(-2147483647, 2147483647);
            s->setSingleStep(std::max(1, d.step));
            const Picture& pic = Picture::of(d.picture);
            s->setAlignment(pic.valid() && pic.rightAligned() ? Qt::AlignRight : Qt::AlignLeft);
            return s;
        }
        case ControlType::Progress: {
            auto* p = new QProgressBar(parent);
            p->setRange(d.rangeLow, d.rangeHigh);
            p->setValue(d.rangeLow);
            p->setTextVisible(false);
            return p;
        }
        case ControlType::Image: {
            auto* l = new QLabel(parent);
            const QIcon i = gui::icon(d.text.isEmpty() ? d.icon : d.text);
            if (!i.isNull()) {
                const QSize s(d.width == kDefault ? 32 : px(d.width),
                              d.height == kDefault ? 32 : py(d.height));
                l->setPixmap(i.pixmap(s));
            }
            l->setAlignment(Qt::AlignCenter);
            return l;
        }
        case ControlType::Text: {
            auto* t = new QTextEdit(parent);
            t->setAcceptRichText(d.rich);
            t->setReadOnly(d.readOnly);
            if (!d.text.isEmpty())
                t->setPlainText(d.text);
            return t;
        }
        case ControlType::List: {
            auto* v = new QTableView(parent);
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setSelectionMode(QAbstractItemView::SingleSelection);
            v->setEditTriggers(QAbstractItemView::NoEditTriggers);
            v->verticalHeader()->hide();
            v->setShowGrid(false);
            v->verticalHeader()->setMinimumSectionSize(1);
            if (d.lineHeight > 0) {
                v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
                v->verticalHeader()->setDefaultSectionSize(d.lineHeight);
            }
            return v;
        }
        case ControlType::Toolbar: {
            auto* t = new QToolBar(shell_);
            t->setMovable(false);
            if (auto* mw = qobject_cast<QMainWindow*>(shell_))
                mw->addToolBar(t);
            else if (auto* lay = qobject_cast<QVBoxLayout*>(shell_->layout()))
                lay->insertWidget(0, t);
            toolBar_ = t;
            return t;
        }
        case ControlType::Custom: {
            auto* l = new QLabel(QStringLiteral("[%1]").arg(d.kind), parent);
            return l;
        }
    }
    return nullptr;
}

void GuiWindow::placeControl(GuiControl& c) {
    const ControlDecl& d = c.decl();
    QWidget* w = c.widget();
    if (!w || d.type == ControlType::Toolbar)
        return;
    if (const ControlDecl* p = decl_->control(d.parent); p && p->type == ControlType::Toolbar) {
        toolBar_->addWidget(w);
        if (d.width != kDefault && d.height != kDefault)
            w->setFixedSize(px(d.width), py(d.height));
        return;
    }
    auto dim = [&](PROP p, int declared) {
        const Value v = c.property(p);
        return v.isText() && v.toText().isEmpty()
                   ? declared
                   : (c.props.count({int(p), 0}) ? int(v.toInt()) : declared);
    };
    const int x = dim(PROP::XPos, d.x);
    const int y = dim(PROP::YPos, d.y);
    const int wd = dim(PROP::Width, d.width);
    const int ht = dim(PROP::Height, d.height);
    const QSize hint = w->sizeHint();
    w->setGeometry(px(x), py(y), wd == kDefault ? hint.width() : px(wd),
                   ht == kDefault ? hint.height() : py(ht));
}

std::map<int, std::pair<int, int>> GuiWindow::defaultSizes() const {
    std::map<int, std::pair<int, int>> out;
    for (const auto& c : controls_) {
        const ControlDecl& d = c->decl();
        if (!c->widget() || (d.width != kDefault && d.height != kDefault))
            continue;
        out[d.number] = {int(std::ceil(c->widget()->width() / unitX_)),
                         int(std::ceil(c->widget()->height() / unitY_))};
    }
    return out;
}

void GuiWindow::applyColors(GuiControl& c) {
    QWidget* w = c.widget();
    if (!w)
        return;
    const ControlType t = c.decl().type;
    const bool field = t == ControlType::Entry || t == ControlType::List ||
                       t == ControlType::Text || t == ControlType::Spin ||
                       t == ControlType::DropList || t == ControlType::Combo;
    QPalette pal = w->palette();
    const QPalette::ColorGroup groups[] = {QPalette::Active, QPalette::Inactive};
    for (QPalette::ColorGroup g : groups) {
        if (c.color != -1) {
            pal.setColor(g, field ? QPalette::Base : QPalette::Window, gui::color(c.color));
        }
        if (c.fontColor != -1) {
            for (QPalette::ColorRole r :
                 {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
                pal.setColor(g, r, gui::color(c.fontColor));
        }
        if (c.selColor != -1)
            pal.setColor(g, QPalette::HighlightedText, gui::color(c.selColor));
        if (c.selFill != -1)
            pal.setColor(g, QPalette::Highlight, gui::color(c.selFill));
    }
    if (c.decl().transparent) {
        // Display-only fields show their text as the declaration colours it,
        // disabled or not, on the window's own background.
        pal.setColor(QPalette::Disabled, QPalette::Text,
                     pal.color(QPalette::Active, QPalette::Text));
        for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            pal.setColor(g, QPalette::Base, Qt::transparent);
    }
    w->setPalette(pal);
    if (c.color != -1 && !field && t != ControlType::Button)
        w->setAutoFillBackground(true);
}

void GuiWindow::applyFont(GuiControl& c, PROP p, const Value& v) {
    QWidget* w = c.widget();
    QFont f = w->font();
    switch (p) {
        case PROP::FontName:
            f = gui::font(f, v.toText(), 0, 0);
            break;
        case PROP::FontSize:
            if (v.toInt() > 0)
                f.setPointSize(int(v.toInt()));
            break;
        case PROP::FontStyle:
            f = gui::font(f, QString(), 0, int(v.toInt()));
            break;
        default:
            break;
    }
    w->setFont(f);
    if (auto* te = qobject_cast<QTextEdit*>(w))
        te->document()->setDefaultFont(f);
}

void GuiWindow::connectControl(GuiControl& c) {
    QWidget* w = c.widget();
    const ControlDecl& d = c.decl();
    GuiControl* cp = &c;
    switch (d.type) {
        case ControlType::Button:
            QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this,
                             [this, cp] {
                                 const int std = int(cp->property(PROP::Std).isZeroOrBlank()
                                                         ? cp->decl().std
                                                         : cp->property(PROP::Std).toInt());
                                 if (std != 0)
                                     standardAction(std, cp->number());
                                 else
                                     cp->post(EVENT::Accepted);
                             });
            break;
        case ControlType::Check:
            QObject::connect(static_cast<QAbstractButton*>(w), &QAbstractButton::clicked, this,
                             [cp](bool on) { cp->post(EVENT::Accepted, on ? 1 : 0); });
            break;
        case ControlType::Option:
            if (c.group) {
                QObject::connect(c.group, &QButtonGroup::idClicked, this,
                                 [cp](int id) { cp->post(EVENT::Accepted, id); });
            }
            break;
        case ControlType::DropList:
        case ControlType::Combo:
            QObject::connect(static_cast<QComboBox*>(w), &QComboBox::activated, this, [cp](int i) {
                auto* cb = cp->as<QComboBox>();
                if (cp->decl().type == ControlType::Combo) {
                    cp->lastShown = cb->currentText();
                    cp->post(EVENT::Accepted, cb->currentText());
                } else {
                    cp->post(EVENT::Accepted, i + 1);
                }
            });
            break;
        case ControlType::Sheet:
            QObject::connect(static_cast<QTabWidget*>(w), &QTabWidget::currentChanged, this,
                             [this, cp](int i) {
                                 cp->props[{int(PROP::Choice), 0}] = i + 1;
                                 refreshVisibility();
                                 cp->post(EVENT::NewSelection, i + 1);
                             });
            break;
        case ControlType::Spin:
            QObject::connect(static_cast<QSpinBox*>(w), &QSpinBox::valueChanged, this,
                             [cp](int v) { cp->post(EVENT::NewSelection, v); });
            QObject::connect(static_cast<QSpinBox*>(w), &QSpinBox::editingFinished, this,
                             [cp] { cp->post(EVENT::Accepted, cp->as<QSpinBox>()->value()); });
            break;
        default:
            break;
    }
}

void GuiWindow::buildMenus() {
    const WindowDecl& d = *decl_;
    if (d.menus.empty() || !menuBar_)
        return;
    std::map<int, QMenu*> menus;
    for (const MenuDecl& m : d.menus) {
        if (m.number == -1)
            continue;
        QMenu* parentMenu = m.parent == -1 ? nullptr : menus[m.parent];
        if (m.separator) {
            QAction* sep = parentMenu ? parentMenu->addSeparator() : menuBar_->addSeparator();
            menuItems_[m.number] = sep;
            continue;
        }
        if (m.isMenu) {
            QMenu* menu = parentMenu ? parentMenu->addMenu(m.text) : menuBar_->addMenu(m.text);
            menu->menuAction()->setStatusTip(m.msg);
            menus[m.number] = menu;
            menuItems_[m.number] = menu->menuAction();
            if (m.std == STD::WindowList) {
                QObject::connect(menu, &QMenu::aboutToShow, this,
                                 [this, menu] { fillWindowList(menu); });
            }
            continue;
        }
        QAction* a = parentMenu ? parentMenu->addAction(m.text) : menuBar_->addAction(m.text);
        a->setStatusTip(m.msg);
        menuItems_[m.number] = a;
        const int number = m.number;
        const int std = m.std;
        QObject::connect(a, &QAction::triggered, this, [this, number, std] {
            if (std != 0)
                standardAction(std, number);
            else
                post(EVENT::Accepted, number);
        });
    }
}

void GuiWindow::fillWindowList(QMenu* menu) {
    for (QAction* a : menu->actions()) {
        if (a->property("kaldorWindowList").toBool())
            delete a;
    }
    QMdiArea* area = mdi_;
    if (!area && gHost && gHost->frame)
        area = qobject_cast<QMdiArea*>(gHost->frame->centralWidget());
    if (!area || area->subWindowList().isEmpty())
        return;
    QAction* sep = menu->addSeparator();
    sep->setProperty("kaldorWindowList", true);
    int n = 1;
    for (QMdiSubWindow* s : area->subWindowList()) {
        QAction* a = menu->addAction(QStringLiteral("&%1 %2").arg(n++).arg(s->windowTitle()));
        a->setProperty("kaldorWindowList", true);
        a->setCheckable(true);
        a->setChecked(s == area->activeSubWindow());
        QPointer<QMdiSubWindow> target(s);
        QObject::connect(a, &QAction::triggered, area, [area, target] {
            if (target)
                area->setActiveSubWindow(target);
        });
    }
}

void GuiWindow::standardAction(int action, int field) {
    QMdiArea* area = mdi_;
    if (!area && gHost && gHost->frame)
        area = qobject_cast<QMdiArea*>(gHost->frame->centralWidget());
    switch (action) {
        case STD::Close:
            requestClose();
            return;
        case STD::TileWindow:
            if (area)
                area->tileSubWindows();
            return;
        case STD::CascadeWindow:
            if (area)
                area->cascadeSubWindows();
            return;
        case STD::ArrangeIcons:
            if (area) {
                // Iconised windows line up along the bottom of the area.
                int x = 0;
                for (QMdiSubWindow* s : area->subWindowList()) {
                    if (!s->isMinimized())
                        continue;
                    s->move(x, area->viewport()->height() - s->height());
                    x += s->width();
                }
            }
            return;
        case STD::Cut:
        case STD::Copy:
        case STD::Paste: {
            QWidget* f = QApplication::focusWidget();
            const char* slot = action == STD::Cut ? "cut" : action == STD::Copy ? "copy" : "paste";
            if (auto* cb = qobject_cast<QComboBox*>(f); cb && cb->lineEdit())
                f = cb->lineEdit();
            if (f)
                QMetaObject::invokeMethod(f, slot);
            return;
        }
        case STD::HelpIndex:
        case STD::HelpOnHelp:
        case STD::HelpSearch: {
            auto* box =
                new QMessageBox(QMessageBox::Information, QStringLiteral("Справка"),
                                QStringLiteral("Справка недоступна: файл справки «%1» не найден.")
                                    .arg(helpFileName()),
                                QMessageBox::Ok, top_->window());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setWindowModality(Qt::NonModal);
            gui::addDialog(thread(), box, false);
            box->show();
            return;
        }
        case STD::PrintSetup:
            showPrinterSetup(thread(), top_->window());
            return;
        default:
            (void)field;
            return;
    }
}

void GuiWindow::refreshVisibility() {
    for (auto& c : controls_) {
        const ControlDecl& d = c->decl();
        bool vis = !c->hidden;
        int child = d.number;
        for (int p = d.parent; vis && p != 0; p = decl_->control(p)->parent) {
            GuiControl* pc = control(p);
            vis = !pc->hidden;
            if (vis && pc->decl().type == ControlType::Tab) {
                GuiControl* sheet = control(pc->decl().parent);
                auto* tw = sheet ? sheet->as<QTabWidget>() : nullptr;
                vis = tw && tw->currentIndex() + 1 == decl_->position(p);
            }
            child = p;
        }
        (void)child;
        if (d.type == ControlType::Tab) {
            if (GuiControl* sheet = control(d.parent)) {
                if (auto* tw = sheet->as<QTabWidget>())
                    tw->setTabVisible(decl_->position(d.number) - 1, !c->hidden);
            }
            continue;
        }
        if (c->widget())
            c->widget()->setVisible(vis);
    }
}

void GuiWindow::screen(int n, const Value& v) {
    GuiControl* c = control(n);
    if (!c || !c->widget())
        return;
    if (c->onScreen) {
        c->onScreen(v);
        return;
    }
    QWidget* w = c->widget();
    const QSignalBlocker block(w);
    switch (c->decl().type) {
        case ControlType::Entry:
            if (auto* e = c->as<QLineEdit>()) {
                c->lastShown = v.toText();
                // The entry the user is typing in (its text taken by Esc or a
                // question that kept the form) keeps its cursor where it was.
                if (e->text() != c->lastShown)
                    e->setText(c->lastShown);
                if (e->window()->focusWidget() != e)
                    e->setCursorPosition(0);
            }
            break;
        case ControlType::Combo:
            if (auto* cb = c->as<QComboBox>()) {
                c->lastShown = v.toText();
                cb->setEditText(c->lastShown);
            }
            break;
        case ControlType::String:
        case ControlType::Prompt:
            if (auto* l = c->as<QLabel>())
                l->setText(v.toText());
            break;
        case ControlType::Text:
            if (auto* t = c->as<QTextEdit>())
                t->setPlainText(v.toText());
            break;
        case ControlType::Check:
            if (auto* b = c->as<QAbstractButton>())
                b->setChecked(v.toInt() != 0);
            break;
        case ControlType::Option:
            if (c->group) {
                const QSignalBlocker gb(c->group);
                if (QAbstractButton* b = c->group->button(int(v.toInt()))) {
                    b->setChecked(true);
                } else if (QAbstractButton* on = c->group->checkedButton()) {
                    c->group->setExclusive(false);
                    on->setChecked(false);
                    c->group->setExclusive(true);
                }
            }
            break;
        case ControlType::DropList:
            if (auto* cb = c->as<QComboBox>())
                cb->setCurrentIndex(int(v.toInt()) - 1);
            break;
        case ControlType::Spin:
            if (auto* s = c->as<QSpinBox>())
                s->setValue(int(v.toInt()));
            break;
        case ControlType::Progress:
            if (auto* p = c->as<QProgressBar>())
                p->setValue(int(v.toInt()));
            break;
        default:
            break;
    }
}

void GuiWindow::applyWindow(PROP p, int index, const Value& v) {
    switch (p) {
        case PROP::Text:
            top_->setWindowTitle(shownTitle(v.toText()));
            break;
        case PROP::Icon:
            top_->setWindowIcon(gui::icon(v.toText()));
            break;
        case PROP::Color:
            if (v.toInt() != -1) {
                QPalette pal = client_->palette();
                pal.setColor(QPalette::Window, gui::color(int(v.toInt())));
                client_->setPalette(pal);
                client_->setAutoFillBackground(true);
            }
            break;
        case PROP::Hide:
            top_->setVisible(v.toInt() == 0);
            break;
        case PROP::Disable:
            client_->setEnabled(v.toInt() == 0);
            break;
        case PROP::XPos:
        case PROP::YPos: {
            QPoint pos = top_->pos();
            if (p == PROP::XPos)
                pos.setX(px(int(v.toInt())));
            else
                pos.setY(py(int(v.toInt())));
            top_->move(pos);
            break;
        }
        case PROP::Width:
        case PROP::Height: {
            const QSize extra = top_->size() - client_->size();
            QSize s = client_->size();
            if (p == PROP::Width)
                s.setWidth(px(int(v.toInt())));
            else
                s.setHeight(py(int(v.toInt())));
            top_->resize(s + extra);
            break;
        }
        case PROP::Maximize:
            if (v.toInt())
                top_->showMaximized();
            else
                top_->showNormal();
            break;
        case PROP::Iconize:
            if (v.toInt())
                top_->showMinimized();
            else
                top_->showNormal();
            break;
        case PROP::StatusText:
            // The first zone's text is also what a control without a status
            // message of its own shows while it has the focus.
            if (index <= 1)
                statusText_ = v.toText();
            if (index >= 1 && index <= int(zones_.size()))
                zones_[size_t(index - 1)]->setText(v.toText());
            else if (index == 0 && !zones_.empty())
                zones_[0]->setText(v.toText());
            break;
        case PROP::FontSize:
        case PROP::FontName:
        case PROP::FontStyle:
            break;
        default:
            break;
    }
}

void GuiWindow::apply(int n, PROP p, int index, const Value& v) {
    if (n == 0) {
        applyWindow(p, index, v);
        return;
    }
    if (n < 0) {
        QAction* a = menuItem(n);
        if (!a)
            return;
        if (p == PROP::Text)
            a->setText(v.toText());
        else if (p == PROP::Disable)
            a->setEnabled(v.toInt() == 0);
        else if (p == PROP::Hide)
            a->setVisible(v.toInt() == 0);
        return;
    }
    GuiControl* c = control(n);
    if (!c)
        return;
    c->props[{int(p), index}] = v;
    if (c->onProperty && c->onProperty(p, index, v))
        return;
    const ControlType t = c->decl().type;
    QWidget* w = c->widget();
    if (t == ControlType::Tab) {
        GuiControl* sheet = control(c->decl().parent);
        auto* tw = sheet ? sheet->as<QTabWidget>() : nullptr;
        const int pos = decl_->position(n) - 1;
        if (!tw)
            return;
        if (p == PROP::Text)
            tw->setTabText(pos, v.toText());
        else if (p == PROP::Hide) {
            c->hidden = v.toInt() != 0;
            refreshVisibility();
        } else if (p == PROP::Disable)
            tw->setTabEnabled(pos, v.toInt() == 0);
        return;
    }
    if (!w)
        return;
    const QSignalBlocker block(w);
    switch (p) {
        case PROP::Text:
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                b->setText(v.toText());
            else if (auto* g = qobject_cast<QGroupBox*>(w))
                g->setTitle(v.toText());
            else if (auto* l = qobject_cast<QLabel*>(w))
                l->setText(v.toText());
            else if (auto* e = qobject_cast<QLineEdit*>(w)) {
                c->lastShown = v.toText();
                e->setText(v.toText());
            } else if (auto* te = qobject_cast<QTextEdit*>(w))
                te->setPlainText(v.toText());
            else if (auto* cb = qobject_cast<QComboBox*>(w); cb && cb->isEditable())
                cb->setEditText(v.toText());
            break;
        case PROP::Hide:
            c->hidden = v.toInt() != 0;
            refreshVisibility();
            break;
        case PROP::Disable:
            w->setEnabled(v.toInt() == 0);
            break;
        case PROP::ReadOnly:
            if (auto* e = qobject_cast<QLineEdit*>(w))
                e->setReadOnly(v.toInt() != 0);
            else if (auto* te = qobject_cast<QTextEdit*>(w))
                te->setReadOnly(v.toInt() != 0);
            else if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
                s->setReadOnly(v.toInt() != 0);
            else if (auto* cb = qobject_cast<QComboBox*>(w); cb && cb->lineEdit())
                cb->lineEdit()->setReadOnly(v.toInt() != 0);
            break;
        case PROP::FontName:
        case PROP::FontSize:
        case PROP::FontStyle:
            applyFont(*c, p, v);
            break;
        case PROP::FontColor:
            c->fontColor = int(v.toInt());
            applyColors(*c);
            break;
        case PROP::Color:
            c->color = int(v.toInt());
            applyColors(*c);
            break;
        case PROP::SelectedColor:
            c->selColor = int(v.toInt());
            applyColors(*c);
            break;
        case PROP::SelectedFillColor:
            c->selFill = int(v.toInt());
            applyColors(*c);
            break;
        case PROP::Tip:
            w->setToolTip(v.toText().replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
            break;
        case PROP::LineHeight:
            if (auto* tv = qobject_cast<QTableView*>(w)) {
                tv->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
                tv->verticalHeader()->setDefaultSectionSize(int(v.toInt()));
            }
            break;
        case PROP::XPos:
        case PROP::YPos:
        case PROP::Width:
        case PROP::Height:
            placeControl(*c);
            break;
        case PROP::Icon:
            if (auto* b = qobject_cast<QAbstractButton*>(w))
                b->setIcon(gui::icon(v.toText()));
            break;
        case PROP::From:
            if (auto* cb = qobject_cast<QComboBox*>(w)) {
                cb->clear();
                cb->addItems(v.toText().split(u'|'));
                cb->setCurrentIndex(-1);
            }
            break;
        case PROP::Choice:
            if (auto* tw = qobject_cast<QTabWidget*>(w)) {
                tw->setCurrentIndex(int(v.toInt()) - 1);
                refreshVisibility();
            } else {
                screen(n, v);
            }
            break;
        case PROP::RangeLow:
        case PROP::RangeHigh:
            if (auto* s = qobject_cast<QSpinBox*>(w)) {
                if (p == PROP::RangeLow)
                    s->setMinimum(int(v.toInt()));
                else
                    s->setMaximum(int(v.toInt()));
            } else if (auto* pb = qobject_cast<QProgressBar*>(w)) {
                if (p == PROP::RangeLow)
                    pb->setMinimum(int(v.toInt()));
                else
                    pb->setMaximum(int(v.toInt()));
            }
            break;
        case PROP::Step:
            if (auto* s = qobject_cast<QSpinBox*>(w))
                s->setSingleStep(int(v.toInt()));
            break;
        case PROP::Progress:
            if (auto* pb = qobject_cast<QProgressBar*>(w))
                pb->setValue(int(v.toInt()));
            break;
        case PROP::Default:
            if (v.toInt())
                defaultButton_ = n;
            else if (defaultButton_ == n)
                defaultButton_ = 0;
            break;
        case PROP::Picture:
            if (auto* e = qobject_cast<QLineEdit*>(w)) {
                const Picture& pic = Picture::of(v.toText());
                e->setAlignment(
                    (pic.valid() && pic.rightAligned() ? Qt::AlignRight : Qt::AlignLeft) |
                    Qt::AlignVCenter);
                e->setMaxLength(pic.valid() && pic.type() == Picture::Type::Text ? pic.width()
                                                                                 : 32767);
            }
            break;
        default:
            break;
    }
}

void GuiWindow::refuse(int n) {
    GuiControl* c = control(n);
    if (!c || !c->widget())
        return;
    c->widget()->activateWindow();
    c->widget()->setFocus(Qt::OtherFocusReason);
    if (auto* e = c->as<QLineEdit>())
        e->selectAll();
}

void GuiWindow::select(int n) {
    GuiControl* c = control(n);
    if (!c || !c->widget())
        return;
    QWidget* w = c->widget();
    // A prompt takes no input: selecting it selects the control it names (a
    // form's first field is often the prompt of its first entry).
    if (auto* l = c->as<QLabel>(); l && c->decl().type == ControlType::Prompt && l->buddy())
        w = l->buddy();
    w->setFocus(Qt::OtherFocusReason);
}

void GuiWindow::focusChanged(int n) {
    focused_ = n;
    if (control(n))
        showStatus(statusTextOf(n));
}

QString GuiWindow::statusTextOf(int n) const {
    const GuiControl* c = control(n);
    if (!c)
        return statusText_;
    if (!c->decl().msg.isEmpty())
        return c->decl().msg;
    if (c->decl().type == ControlType::Button && !c->decl().tip.isEmpty())
        return QString(c->decl().tip)
            .replace(QStringLiteral("\r\n"), QStringLiteral(" "))
            .simplified();
    return statusText_;
}

void GuiWindow::showStatus(const QString& text) {
    if (!zones_.empty()) {
        zones_[0]->setText(text);
        return;
    }
    // A child of the frame (or a form without a status bar of its own) speaks
    // through the frame's status bar.
    if (gHost && gHost->frameId != 0 && gHost->frameId != id_) {
        if (GuiWindow* f = gui::window(gHost->frameId))
            f->showStatus(text);
    }
}

void GuiWindow::completeEntry() {
    GuiControl* c = control(focused_);
    if (!c)
        return;
    QLineEdit* le = nullptr;
    if (c->decl().type == ControlType::Entry)
        le = c->as<QLineEdit>();
    else if (auto* cb = c->as<QComboBox>())
        le = cb->lineEdit();
    if (le && !le->isReadOnly() && le->text() != c->lastShown)
        c->post(EVENT::Accepted, le->text());
}

void GuiWindow::requestClose() {
    // The close box and the close actions take no focus: text typed into the
    // entry that has it would not reach its variable, and a cancel would not
    // know the record was changed. It is completed first, in every window
    // when the frame goes.
    if (decl_->frame && gHost) {
        for (auto& [id, w] : gHost->windows)
            w->completeEntry();
    } else {
        completeEntry();
    }
    post(EVENT::CloseWindow, 0, {}, 0, false);
}

void GuiWindow::comeBack() {
    if (blocked_ || closing_ || !top_ || !top_->isVisible())
        return;
    // The window that opened the form or dialog comes back to the front,
    // its control with the focus again: not whichever window the toolkit
    // would give the keyboard next.
    if (sub_) {
        if (QMdiArea* area = sub_->mdiArea()) {
            area->window()->activateWindow();
            area->setActiveSubWindow(sub_);
        }
    } else {
        top_->raise();
        top_->activateWindow();
    }
    GuiControl* c = control(comeBackTo_ != 0 ? comeBackTo_ : focused_);
    QWidget* w = c ? c->widget() : nullptr;
    if (w && w->isVisible() && w->isEnabled())
        w->setFocus(Qt::OtherFocusReason);
}

void GuiWindow::setPlacement(const WindowPlacement& p) {
    if (p.width <= 0 || p.height <= 0)
        return;
    if (top_->isMaximized())
        top_->showNormal();
    top_->setGeometry(p.x, p.y, p.width, p.height);
    if (p.maximized)
        top_->showMaximized();
}

WindowPlacement GuiWindow::placement() const {
    WindowPlacement p;
    const QRect g = top_->isMaximized() ? top_->normalGeometry() : top_->geometry();
    p.x = g.x();
    p.y = g.y();
    p.width = g.width();
    p.height = g.height();
    p.maximized = top_->isMaximized();
    return p;
}

void GuiWindow::setBlocked(bool blocked) {
    const bool was = blocked_;
    blocked_ = blocked;
    // What had the keyboard: the toolkit may hand it to the window's first
    // control when the frame is activated again before the window comes back.
    if (blocked && !was)
        comeBackTo_ = focused_;
    if (decl_->frame) {
        // The frame's MDI area holds other threads' windows: only its own bars
        // stop taking input.
        if (menuBar_)
            menuBar_->setEnabled(!blocked);
        if (toolBar_)
            toolBar_->setEnabled(!blocked);
        return;
    }
    shell_->setEnabled(!blocked);
    // Once the form or dialog is gone from the screen.
    if (was && !blocked && shown_ && !closing_)
        QTimer::singleShot(0, this, [this] { comeBack(); });
}

void GuiWindow::applyTipDuration(int ms) {
    for (auto& c : controls_) {
        if (c->widget())
            c->widget()->setToolTipDuration(ms);
    }
}

void GuiWindow::showWindow(const detail::OpenRequest& r) {
    const WindowDecl& d = *decl_;
    for (const auto& [key, v] : r.props) {
        const auto& [n, p, index] = key;
        apply(n, PROP(p), index, v);
    }
    for (const auto& [n, v] : r.screen)
        screen(n, v);
    alerts_ = r.alerts;
    if (gHost && gHost->tipMs >= 0)
        applyTipDuration(gHost->tipMs);
    if (sub_) {
        sub_->resize(sub_->sizeHint());
        if (d.x != kDefault && d.y != kDefault)
            sub_->move(px(d.x), py(d.y));
    } else if (!d.frame) {
        shell_->resize(shell_->sizeHint());
        QWidget* parent = shell_->parentWidget();
        if (d.x != kDefault && d.y != kDefault) {
            const QPoint origin = parent ? parent->geometry().topLeft() : QPoint(0, 0);
            shell_->move(origin + QPoint(px(d.x), py(d.y)));
        } else {
            const QRect area =
                parent ? parent->geometry() : QApplication::primaryScreen()->availableGeometry();
            QRect g(QPoint(0, 0), shell_->size());
            g.moveCenter(area.center());
            shell_->move(g.topLeft());
        }
    }
    if (r.hasPlacement)
        setPlacement(r.placement);
    offsetFromTwins();
    if (d.maximized)
        top_->showMaximized();
    else
        top_->show();
    if (sub_)
        shell_->show();
    top_->activateWindow();
    top_->raise();
    shown_ = true;
    lastSize_ = client_->size();
}

void GuiWindow::offsetFromTwins() {
    QMdiArea* area = sub_ ? sub_->mdiArea() : nullptr;
    if (!area)
        return;
    // A second window of a kind opens where the first was left: it steps
    // aside as cascaded windows do, so that neither hides the other.
    const int step =
        std::max(8, sub_->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub_));
    for (int i = 0; i < 64; ++i) {
        bool taken = false;
        for (QMdiSubWindow* s : area->subWindowList()) {
            taken = taken || (s != sub_ && s->isVisible() && !s->isMaximized() &&
                              !s->isMinimized() && s->pos() == sub_->pos());
        }
        if (!taken)
            return;
        sub_->move(sub_->pos() + QPoint(step, step));
    }
}

void GuiWindow::reportGeometry() {
    const WindowPlacement p = placement();
    const int wdu = int(client_->width() / unitX_ + 0.5);
    const int hdu = int(client_->height() / unitY_ + 0.5);
    detail::Item item;
    item.ev.window = id_;
    item.apply = [p, wdu, hdu](Window& w) {
        detail::notePlacement(w, p);
        detail::noteControlSize(w, 0, wdu, hdu);
    };
    detail::push(*ctx_, std::move(item));
}

bool GuiWindow::eventFilter(QObject* o, QEvent* e) {
    if (o == client_) {
        // The client's own resize, whoever caused it (the user, Tile,
        // maximising, restoring): its new size is final only here, after the
        // window's layout placed it.
        if (e->type() == QEvent::Resize && shown_ && !closing_ && client_->size() != lastSize_) {
            lastSize_ = client_->size();
            reportGeometry();
            post(EVENT::Sized, 0, {}, 0, false);
        }
        return false;
    }
    if (o != top_)
        return false;
    switch (e->type()) {
        case QEvent::Close:
            if (closing_)
                return false;
            // The close box asks the window's thread to close it; a window
            // waiting for another of its thread's windows takes no such request.
            e->ignore();
            if (shell_->isEnabled() || decl_->frame)
                requestClose();
            return true;
        case QEvent::Resize:
        case QEvent::Move:
            if (shown_ && !closing_)
                reportGeometry();
            return false;
        case QEvent::WindowStateChange:
            // An MDI child hides itself while it is maximised or restored, and
            // the toolkit hands the keyboard on meanwhile: that is not the
            // user's move, and the control that had it gets it back.
            if (sub_ && shown_ && !closing_ && holdFocus_ == 0) {
                holdFocus_ = focused_;
                QTimer::singleShot(0, this, [this] {
                    const int keep = holdFocus_;
                    holdFocus_ = 0;
                    keepFocus(keep);
                });
            }
            return false;
        default:
            return false;
    }
}

void GuiWindow::keepFocus(int n) {
    GuiControl* c = control(n);
    QWidget* w = c ? c->widget() : nullptr;
    if (!w || blocked_ || closing_ || !sub_->mdiArea() ||
        sub_->mdiArea()->activeSubWindow() != sub_)
        return;
    QWidget* f = QApplication::focusWidget();
    if (f != w && !w->isAncestorOf(f) && w->isVisible() && w->isEnabled())
        w->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------

namespace detail {

void startGui() {
    gHost = new GuiHostFilter;
    qApp->installEventFilter(gHost);
}

void stopGui() {
    if (!gHost)
        return;
    qApp->removeEventFilter(gHost);
    std::map<quint64, GuiWindow*> all;
    all.swap(gHost->windows);
    for (auto& [id, w] : all)
        delete w;
    for (DialogEntry& d : gHost->dialogs) {
        if (d.widget)
            d.widget->deleteLater();
    }
    gHost->dialogs.clear();
    if (gHost->frame)
        delete gHost->frame;
    delete gHost;
    gHost = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void guiOpen(const OpenRequest& r, OpenResult* result) {
    if (!gHost)
        return;
    auto* w = new GuiWindow(r, r.decl->frame ? nullptr : gHost->frame.data());
    gHost->windows[r.id] = w;
    gHost->order[r.ctx->number].push_back(r.id);
    if (r.decl->frame && !gHost->frame) {
        gHost->frame = qobject_cast<QMainWindow*>(w->top());
        gHost->frameId = r.id;
    }
    w->showWindow(r);
    gHost->refreshBlocked(r.ctx->number);
    result->sizes = w->defaultSizes();
    result->placement = w->placement();
    result->ok = true;
}

void guiClose(quint64 id) {
    if (!gHost)
        return;
    auto it = gHost->windows.find(id);
    if (it == gHost->windows.end())
        return;
    GuiWindow* w = it->second;
    gHost->windows.erase(it);
    const int t = w->thread();
    std::erase(gHost->order[t], id);
    if (gHost->frameId == id) {
        gHost->frameId = 0;
        // MDI children of other threads outlive the frame only as long as the
        // program does; their threads are told to close them.
        gHost->frame = nullptr;
    }
    w->closing();
    delete w;
    gHost->refreshBlocked(t);
}

void guiApply(quint64 id, int control, PROP p, int index, const Value& v) {
    if (GuiWindow* w = gui::window(id))
        w->apply(control, p, index, v);
}

void guiScreen(quint64 id, const std::vector<std::pair<int, Value>>& values) {
    if (GuiWindow* w = gui::window(id)) {
        for (const auto& [n, v] : values)
            w->screen(n, v);
    }
}

void guiAlerts(quint64 id, const std::set<int>& alerts) {
    if (GuiWindow* w = gui::window(id))
        w->setAlerts(alerts);
}

void guiRefuse(quint64 id, int control) {
    if (GuiWindow* w = gui::window(id))
        w->refuse(control);
}

void guiSelect(quint64 id, int control) {
    if (GuiWindow* w = gui::window(id))
        w->select(control);
}

void guiPlacement(quint64 id, const WindowPlacement& p) {
    if (GuiWindow* w = gui::window(id))
        w->setPlacement(p);
}

void guiSystem(PROP p, const Value& v) {
    if (!gHost)
        return;
    switch (p) {
        case PROP::NoTips:
            gHost->noTips = v.toInt() != 0;
            break;
        case PROP::TipDisplay:
            gHost->tipMs = int(v.toInt());
            for (auto& [id, w] : gHost->windows)
                w->applyTipDuration(gHost->tipMs);
            break;
        case PROP::Icon:
            QApplication::setWindowIcon(gui::icon(v.toText()));
            break;
        default:
            break;  // CharSet: every text is Unicode already
    }
}

void guiWithControl(quint64 id, int control, const std::function<void(GuiControl&)>& fn) {
    if (GuiWindow* w = gui::window(id)) {
        if (GuiControl* c = w->control(control))
            fn(*c);
    }
}

void guiWithWindow(quint64 id, const std::function<void(GuiWindow&)>& fn) {
    if (GuiWindow* w = gui::window(id))
        fn(*w);
}

}  // namespace detail

}  // namespace rt
