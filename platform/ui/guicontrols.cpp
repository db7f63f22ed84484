// The widget of each kind of control: how it is made, how the user's input on
// it reaches the owning thread, how it shows its bound variable (one entry per
// kind in ControlKinds::of); its place, colours and fonts; kinds registered by
// other layers.

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabWidget>
#include <QTableView>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <limits>
#include <mutex>

#include "core/fonts.h"
#include "core/picture.h"
#include "core/resources.h"
#include "gui.h"

namespace rt {

namespace {

// A button with an icon and a text needs this height (dialog units) for the
// icon to stand above the text.
constexpr int kStackedButtonHeight = 24;
// A button's icon leaves this much of the button around it (pixels), and is
// never smaller than kSmallestIcon.
constexpr int kButtonIconMargin = 8;
constexpr int kSmallestIcon = 8;
// The side of an image declared without a size (pixels).
constexpr int kImageSide = 32;
// A spin box declared without a range takes any whole number it can show.
constexpr int kWholeRange = std::numeric_limits<int>::max();

std::mutex gFactoryLock;
std::map<QString, ControlFactory>& factories() {
    static std::map<QString, ControlFactory> f;
    return f;
}

// A copy: the factory runs outside the lock (it may take long, or register a
// kind of its own).
ControlFactory registeredFactory(const QString& kind) {
    std::lock_guard<std::mutex> l(gFactoryLock);
    auto it = factories().find(kind.toLower());
    return it == factories().end() ? ControlFactory() : it->second;
}

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
        const int side =
            std::max(kSmallestIcon, std::min(r.width(), r.height() - textHeight - gap));
        const int top = r.top() + std::max(0, (r.height() - side - gap - textHeight) / 2);
        const QRect iconRect(r.center().x() - side / 2, top, side, side);
        icon().paint(&p, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
        p.drawItemText(QRect(r.left(), iconRect.bottom() + gap, r.width(), textHeight), flags,
                       palette(), isEnabled(), label, QPalette::ButtonText);
    }
};

QAbstractButton* checkableToolButton(const ControlDecl& d, QWidget* parent) {
    auto* t = new QToolButton(parent);
    t->setCheckable(true);
    t->setIcon(gui::icon(d.icon));
    return t;
}

}  // namespace

// What each kind of control does; a new kind is one entry in of().
struct ControlKinds {
    struct Kind {
        QWidget* (*make)(GuiWindow& w, GuiControl& c, QWidget* parent);
        void (*connect)(GuiWindow& w, GuiControl& c);  // the user's input as events
        void (*show)(GuiControl& c, const Value& v);   // the bound variable's value
    };
    static Kind of(ControlType t);

    static QWidget* entry(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* prompt(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* string(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* button(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* check(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* box(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* radio(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* combo(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* sheet(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* tab(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* spin(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* progress(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* image(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* text(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* list(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* toolbar(GuiWindow& w, GuiControl& c, QWidget* parent);
    static QWidget* custom(GuiWindow& w, GuiControl& c, QWidget* parent);

    static void connectButton(GuiWindow& w, GuiControl& c);
    static void connectCheck(GuiWindow& w, GuiControl& c);
    static void connectOption(GuiWindow& w, GuiControl& c);
    static void connectCombo(GuiWindow& w, GuiControl& c);
    static void connectSheet(GuiWindow& w, GuiControl& c);
    static void connectSpin(GuiWindow& w, GuiControl& c);

    static void showEntry(GuiControl& c, const Value& v);
    static void showCombo(GuiControl& c, const Value& v);
    static void showLabel(GuiControl& c, const Value& v);
    static void showText(GuiControl& c, const Value& v);
    static void showCheck(GuiControl& c, const Value& v);
    static void showOption(GuiControl& c, const Value& v);
    static void showDropList(GuiControl& c, const Value& v);
    static void showSpin(GuiControl& c, const Value& v);
    static void showProgress(GuiControl& c, const Value& v);
};

ControlKinds::Kind ControlKinds::of(ControlType t) {
    switch (t) {
        case ControlType::Entry:
            return {entry, nullptr, showEntry};
        case ControlType::Prompt:
            return {prompt, nullptr, showLabel};
        case ControlType::String:
            return {string, nullptr, showLabel};
        case ControlType::Button:
            return {button, connectButton, nullptr};
        case ControlType::Check:
            return {check, connectCheck, showCheck};
        case ControlType::Option:
            return {box, connectOption, showOption};
        case ControlType::Group:
            return {box, nullptr, nullptr};
        case ControlType::Radio:
            return {radio, nullptr, nullptr};
        case ControlType::DropList:
            return {combo, connectCombo, showDropList};
        case ControlType::Combo:
            return {combo, connectCombo, showCombo};
        case ControlType::Sheet:
            return {sheet, connectSheet, nullptr};
        case ControlType::Tab:
            return {tab, nullptr, nullptr};
        case ControlType::Spin:
            return {spin, connectSpin, showSpin};
        case ControlType::Progress:
            return {progress, nullptr, showProgress};
        case ControlType::Image:
            return {image, nullptr, nullptr};
        case ControlType::Text:
            return {text, nullptr, showText};
        case ControlType::List:
            return {list, nullptr, nullptr};
        case ControlType::Toolbar:
            return {toolbar, nullptr, nullptr};
        case ControlType::Custom:
            break;
    }
    return {custom, nullptr, nullptr};
}

// ---- making ----------------------------------------------------------------

QWidget* ControlKinds::entry(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
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

QWidget* ControlKinds::prompt(GuiWindow&, GuiControl& c, QWidget* parent) {
    return new QLabel(c.decl().text, parent);
}

QWidget* ControlKinds::string(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setText(d.text);
    if (d.align)
        l->setAlignment(d.align | Qt::AlignVCenter);
    return l;
}

QWidget* ControlKinds::button(GuiWindow& w, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    const bool stacked = !d.icon.isEmpty() && !d.text.isEmpty() && d.height != kDefault &&
                         d.height >= kStackedButtonHeight;
    auto* b = stacked ? new StackedButton(d.text, parent) : new QPushButton(d.text, parent);
    b->setAutoDefault(false);
    if (!d.icon.isEmpty()) {
        b->setIcon(gui::icon(d.icon));
        if (!stacked && d.width != kDefault && d.height != kDefault) {
            const int side = std::max(kSmallestIcon,
                                      std::min(w.px(d.width), w.py(d.height)) - kButtonIconMargin);
            b->setIconSize(QSize(side, side));
        }
    }
    if (d.flat)
        b->setFlat(true);
    return b;
}

QWidget* ControlKinds::check(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    if (d.icon.isEmpty())
        return new QCheckBox(d.text, parent);
    QAbstractButton* t = checkableToolButton(d, parent);
    t->setText(d.text);
    return t;
}

// An option box or a group: a frame around its controls.
QWidget* ControlKinds::box(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
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

QWidget* ControlKinds::radio(GuiWindow& w, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    QAbstractButton* b =
        d.icon.isEmpty() ? new QRadioButton(d.text, parent) : checkableToolButton(d, parent);
    if (GuiControl* option = w.control(d.parent); option && option->group)
        option->group->addButton(b, w.decl().position(d.number));
    return b;
}

// A drop list or a combo (a drop list the user may type into).
QWidget* ControlKinds::combo(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* cb = new QComboBox(parent);
    cb->setEditable(d.type == ControlType::Combo);
    cb->addItems(d.from);
    cb->setCurrentIndex(-1);
    return cb;
}

QWidget* ControlKinds::sheet(GuiWindow& w, GuiControl& c, QWidget* parent) {
    auto* t = new QTabWidget(parent);
    for (int tab : w.decl().children(c.number(), ControlType::Tab)) {
        auto* page = new QWidget;
        page->setAutoFillBackground(false);
        t->addTab(page, w.decl().control(tab)->text);
    }
    return t;
}

// A tab is a page of its sheet, made with the sheet.
QWidget* ControlKinds::tab(GuiWindow&, GuiControl&, QWidget*) {
    return nullptr;
}

QWidget* ControlKinds::spin(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* s = new QSpinBox(parent);
    if (d.hasRange)
        s->setRange(d.rangeLow, d.rangeHigh);
    else
        s->setRange(-kWholeRange, kWholeRange);
    s->setSingleStep(std::max(1, d.step));
    const Picture& pic = Picture::of(d.picture);
    s->setAlignment(pic.valid() && pic.rightAligned() ? Qt::AlignRight : Qt::AlignLeft);
    return s;
}

QWidget* ControlKinds::progress(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* p = new QProgressBar(parent);
    p->setRange(d.rangeLow, d.rangeHigh);
    p->setValue(d.rangeLow);
    p->setTextVisible(false);
    return p;
}

QWidget* ControlKinds::image(GuiWindow& w, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* l = new QLabel(parent);
    const QIcon i = gui::icon(d.text.isEmpty() ? d.icon : d.text);
    if (!i.isNull()) {
        const QSize s(d.width == kDefault ? kImageSide : w.px(d.width),
                      d.height == kDefault ? kImageSide : w.py(d.height));
        l->setPixmap(i.pixmap(s));
    }
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QWidget* ControlKinds::text(GuiWindow&, GuiControl& c, QWidget* parent) {
    const ControlDecl& d = c.decl();
    auto* t = new QTextEdit(parent);
    t->setAcceptRichText(d.rich);
    t->setReadOnly(d.readOnly);
    if (!d.text.isEmpty())
        t->setPlainText(d.text);
    return t;
}

QWidget* ControlKinds::list(GuiWindow&, GuiControl& c, QWidget* parent) {
    auto* v = new QTableView(parent);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setSelectionMode(QAbstractItemView::SingleSelection);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->verticalHeader()->hide();
    v->setShowGrid(false);
    v->verticalHeader()->setMinimumSectionSize(1);
    if (c.decl().lineHeight > 0) {
        v->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        v->verticalHeader()->setDefaultSectionSize(c.decl().lineHeight);
    }
    return v;
}

// The bar along the top of the window; its child controls are made on it.
QWidget* ControlKinds::toolbar(GuiWindow& w, GuiControl&, QWidget*) {
    auto* t = new QToolBar(w.shell_);
    t->setMovable(false);
    if (auto* mw = qobject_cast<QMainWindow*>(w.shell_))
        mw->addToolBar(t);
    else if (auto* lay = qobject_cast<QVBoxLayout*>(w.shell_->layout()))
        lay->insertWidget(0, t);
    w.toolBar_ = t;
    return t;
}

// A kind no layer registered: its name stands in its place.
QWidget* ControlKinds::custom(GuiWindow&, GuiControl& c, QWidget* parent) {
    return new QLabel(QStringLiteral("[%1]").arg(c.decl().kind), parent);
}

// ---- input -----------------------------------------------------------------

void ControlKinds::connectButton(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    QObject::connect(c.as<QAbstractButton>(), &QAbstractButton::clicked, &w, [&w, cp] {
        const Value given = cp->property(PROP::Std);
        const int std = int(given.isZeroOrBlank() ? cp->decl().std : given.toInt());
        if (std != 0)
            w.standardAction(std);
        else
            cp->post(EVENT::Accepted);
    });
}

void ControlKinds::connectCheck(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    QObject::connect(c.as<QAbstractButton>(), &QAbstractButton::clicked, &w,
                     [cp](bool on) { cp->post(EVENT::Accepted, on ? 1 : 0); });
}

void ControlKinds::connectOption(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    if (c.group) {
        QObject::connect(c.group, &QButtonGroup::idClicked, &w,
                         [cp](int id) { cp->post(EVENT::Accepted, id); });
    }
}

void ControlKinds::connectCombo(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    QObject::connect(c.as<QComboBox>(), &QComboBox::activated, &w, [cp](int i) {
        auto* cb = cp->as<QComboBox>();
        if (cp->decl().type == ControlType::Combo) {
            cp->lastShown = cb->currentText();
            cp->post(EVENT::Accepted, cb->currentText());
        } else {
            cp->post(EVENT::Accepted, i + 1);
        }
    });
}

void ControlKinds::connectSheet(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    QObject::connect(c.as<QTabWidget>(), &QTabWidget::currentChanged, &w, [&w, cp](int i) {
        cp->props[{int(PROP::Choice), 0}] = i + 1;
        w.refreshVisibility();
        cp->post(EVENT::NewSelection, i + 1);
    });
}

void ControlKinds::connectSpin(GuiWindow& w, GuiControl& c) {
    GuiControl* cp = &c;
    auto* s = c.as<QSpinBox>();
    QObject::connect(s, &QSpinBox::valueChanged, &w,
                     [cp](int v) { cp->post(EVENT::NewSelection, v); });
    QObject::connect(s, &QSpinBox::editingFinished, &w,
                     [cp] { cp->post(EVENT::Accepted, cp->as<QSpinBox>()->value()); });
}

// ---- display ---------------------------------------------------------------

void ControlKinds::showEntry(GuiControl& c, const Value& v) {
    auto* e = c.as<QLineEdit>();
    if (!e)
        return;
    c.lastShown = v.toText();
    // The entry the user is typing in (its text taken by Esc or a question
    // that kept the form) keeps its cursor where it was.
    if (e->text() != c.lastShown)
        e->setText(c.lastShown);
    if (e->window()->focusWidget() != e)
        e->setCursorPosition(0);
}

void ControlKinds::showCombo(GuiControl& c, const Value& v) {
    if (auto* cb = c.as<QComboBox>()) {
        c.lastShown = v.toText();
        cb->setEditText(c.lastShown);
    }
}

void ControlKinds::showLabel(GuiControl& c, const Value& v) {
    if (auto* l = c.as<QLabel>())
        l->setText(v.toText());
}

void ControlKinds::showText(GuiControl& c, const Value& v) {
    if (auto* t = c.as<QTextEdit>())
        t->setPlainText(v.toText());
}

void ControlKinds::showCheck(GuiControl& c, const Value& v) {
    if (auto* b = c.as<QAbstractButton>())
        b->setChecked(v.toInt() != 0);
}

void ControlKinds::showOption(GuiControl& c, const Value& v) {
    if (!c.group)
        return;
    const QSignalBlocker gb(c.group);
    if (QAbstractButton* b = c.group->button(int(v.toInt()))) {
        b->setChecked(true);
    } else if (QAbstractButton* on = c.group->checkedButton()) {
        c.group->setExclusive(false);
        on->setChecked(false);
        c.group->setExclusive(true);
    }
}

void ControlKinds::showDropList(GuiControl& c, const Value& v) {
    if (auto* cb = c.as<QComboBox>())
        cb->setCurrentIndex(int(v.toInt()) - 1);
}

void ControlKinds::showSpin(GuiControl& c, const Value& v) {
    if (auto* s = c.as<QSpinBox>())
        s->setValue(int(v.toInt()));
}

void ControlKinds::showProgress(GuiControl& c, const Value& v) {
    if (auto* p = c.as<QProgressBar>())
        p->setValue(int(v.toInt()));
}

// ---- the window's side -----------------------------------------------------

QWidget* GuiWindow::makeControl(GuiControl& c) {
    const ControlDecl& d = c.decl();
    QWidget* parent = client_;
    if (const ControlDecl* p = decl_->control(d.parent); p && p->type == ControlType::Toolbar)
        parent = toolBar_;
    if (const ControlFactory factory = registeredFactory(d.kind))
        return factory(c, parent);
    return ControlKinds::of(d.type).make(*this, c, parent);
}

void GuiWindow::connectControl(GuiControl& c) {
    if (const auto connect = ControlKinds::of(c.decl().type).connect)
        connect(*this, c);
}

void GuiWindow::screen(int n, const Value& v) {
    GuiControl* c = control(n);
    if (!c || !c->widget())
        return;
    if (c->onScreen) {
        c->onScreen(v);
        return;
    }
    const QSignalBlocker block(c->widget());
    if (const auto show = ControlKinds::of(c->decl().type).show)
        show(*c, v);
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
    // Controls the user types or chooses in colour their base, others their
    // background.
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

// ---- controls as other layers see them --------------------------------------

void registerControlType(const QString& kind, ControlFactory factory) {
    std::lock_guard<std::mutex> l(gFactoryLock);
    factories()[kind.toLower()] = std::move(factory);
}

void GuiControl::post(int event, const Value& value, int keycode) const {
    window_->post(event, number(), value, keycode, true);
}

QLineEdit* GuiControl::typedLine() const {
    if (decl().type == ControlType::Entry)
        return as<QLineEdit>();
    auto* cb = as<QComboBox>();
    return cb ? cb->lineEdit() : nullptr;
}

void GuiControl::completeTyping() const {
    QLineEdit* le = typedLine();
    if (le && !le->isReadOnly() && le->text() != lastShown)
        post(EVENT::Accepted, le->text());
}

Value GuiControl::property(PROP p, int index) const {
    auto it = props.find({int(p), index});
    return it == props.end() ? Value() : it->second;
}

QIcon GuiControl::icon(int n) const {
    auto it = props.find({int(PROP::IconList), n});
    return it == props.end() ? QIcon() : gui::icon(it->second.toText());
}

namespace gui {

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

}  // namespace rt
