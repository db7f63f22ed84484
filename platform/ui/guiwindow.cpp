// A window on the GUI thread: its shell (a top-level window, an MDI child or
// the frame), controls, menus, status bar; its standard actions, the focus it
// keeps and gives back, its place and size as the procedure side learns them.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "detail.h"
#include "dialogs.h"
#include "gui.h"
#include "guihost.h"

namespace rt {

namespace {

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

}  // namespace

GuiWindow::GuiWindow(const detail::OpenRequest& r, QMainWindow* frame)
    : id_(r.id), ctx_(r.ctx), decl_(r.decl) {
    detail::guiThreadOnly(Q_FUNC_INFO);
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

QMdiArea* GuiWindow::frameArea() const {
    if (mdi_)
        return mdi_;
    const detail::GuiHost* host = detail::guiHost();
    return host && host->frame ? qobject_cast<QMdiArea*>(host->frame->centralWidget()) : nullptr;
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
    applyWindow(PROP::Color, 0, Value(d.color));
    buildShell(frame);
    shell_->setProperty("kaldorWindow", QVariant::fromValue(id_));
    top_->installEventFilter(this);
    if (!d.frame)
        client_->installEventFilter(this);
    top_->setWindowTitle(detail::shownTitle(d.title));
    if (!d.icon.isEmpty())
        top_->setWindowIcon(gui::icon(d.icon));
    buildStatusZones();
    buildControls();
    buildMenus();
    refreshVisibility();
}

// The widget around the client: the frame's main window, or a window with
// its menu bar and status bar, an MDI child of the frame or a window of its own.
void GuiWindow::buildShell(QMainWindow* frame) {
    const WindowDecl& d = *decl_;
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
}

void GuiWindow::buildStatusZones() {
    const WindowDecl& d = *decl_;
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
}

void GuiWindow::buildControls() {
    const WindowDecl& d = *decl_;
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
    layerControls();
}

void GuiWindow::layerControls() {
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
                standardAction(std);
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
    QMdiArea* area = frameArea();
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

void GuiWindow::standardAction(int action) {
    QMdiArea* area = frameArea();
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
            return;
    }
}

void GuiWindow::refreshVisibility() {
    for (auto& c : controls_) {
        const ControlDecl& d = c->decl();
        bool vis = !c->hidden;
        for (int p = d.parent; vis && p != 0; p = decl_->control(p)->parent) {
            GuiControl* pc = control(p);
            vis = !pc->hidden;
            if (vis && pc->decl().type == ControlType::Tab) {
                GuiControl* sheet = control(pc->decl().parent);
                auto* tw = sheet ? sheet->as<QTabWidget>() : nullptr;
                vis = tw && tw->currentIndex() + 1 == decl_->position(p);
            }
        }
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
    const detail::GuiHost* host = detail::guiHost();
    if (host && host->frameId != 0 && host->frameId != id_) {
        if (GuiWindow* f = gui::window(host->frameId))
            f->showStatus(text);
    }
}

void GuiWindow::completeEntry() {
    if (GuiControl* c = control(focused_))
        c->completeTyping();
}

void GuiWindow::requestClose() {
    // The close box and the close actions take no focus: text typed into the
    // entry that has it would not reach its variable, and a cancel would not
    // know the record was changed. It is completed first, in every window
    // when the frame goes.
    if (decl_->frame && detail::guiHost()) {
        for (auto& [id, w] : detail::guiHost()->windows)
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
    focusControl(comeBackTo_ != 0 ? comeBackTo_ : focused_);
}

void GuiWindow::focusControl(int n) {
    GuiControl* c = control(n);
    QWidget* w = c ? c->widget() : nullptr;
    QWidget* f = QApplication::focusWidget();
    // Where the keyboard is already (an editable combo's line, say), it stays.
    if (w && f != w && !w->isAncestorOf(f) && w->isVisible() && w->isEnabled())
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
    if (const detail::GuiHost* host = detail::guiHost(); host && host->tipMs >= 0)
        applyTipDuration(host->tipMs);
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
    if (!blocked_ && !closing_ && sub_->mdiArea() && sub_->mdiArea()->activeSubWindow() == sub_)
        focusControl(n);
}

}  // namespace rt
