#include "uidriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <chrono>
#include <thread>

#include "core/resources.h"

namespace uitest {

namespace {

using Clock = std::chrono::steady_clock;

QWidget* target(int thread, int control) {
    rt::GuiWindow* w = rt::gui::topWindow(thread);
    if (!w)
        return nullptr;
    if (control == 0)
        return w->client();
    rt::GuiControl* c = w->control(control);
    return c ? c->widget() : nullptr;
}

// Mouse events of scroll areas go to their viewport.
QWidget* mouseTarget(QWidget* w) {
    if (auto* a = qobject_cast<QAbstractScrollArea*>(w))
        return a->viewport();
    return w;
}

void activate(QWidget* w) {
    QWidget* win = w->window();
    win->activateWindow();
    QApplication::setActiveWindow(win);
}

Qt::KeyboardModifiers modifiers(int code) {
    Qt::KeyboardModifiers m;
    if (code & Key::Shift)
        m |= Qt::ShiftModifier;
    if (code & Key::Ctrl)
        m |= Qt::ControlModifier;
    if (code & Key::Alt)
        m |= Qt::AltModifier;
    return m;
}

Qt::Key qtKey(int code) {
    const int k = code & 0xFF;
    if ((k >= 'A' && k <= 'Z') || (k >= '0' && k <= '9'))
        return Qt::Key(k);
    if (k >= Key::F1 && k < Key::F1 + 24)
        return Qt::Key(Qt::Key_F1 + (k - Key::F1));
    switch (k) {
        case Key::Backspace:
            return Qt::Key_Backspace;
        case Key::Tab:
            return Qt::Key_Tab;
        case Key::Enter:
            return Qt::Key_Return;
        case Key::Esc:
            return Qt::Key_Escape;
        case Key::Space:
            return Qt::Key_Space;
        case Key::PgUp:
            return Qt::Key_PageUp;
        case Key::PgDn:
            return Qt::Key_PageDown;
        case Key::End:
            return Qt::Key_End;
        case Key::Home:
            return Qt::Key_Home;
        case Key::Left:
            return Qt::Key_Left;
        case Key::Up:
            return Qt::Key_Up;
        case Key::Right:
            return Qt::Key_Right;
        case Key::Down:
            return Qt::Key_Down;
        case Key::Insert:
            return Qt::Key_Insert;
        case Key::Delete:
            return Qt::Key_Delete;
        default:
            return Qt::Key_unknown;
    }
}

QWidget* newestDialog(int thread) {
    const std::vector<QWidget*> d = rt::gui::dialogs(thread);
    return d.empty() ? nullptr : d.back();
}

}  // namespace

bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool waitIdle(int thread, int timeoutMs) {
    return waitFor(
        [thread] {
            if (!rt::threadAlive(thread))
                return true;
            std::uint64_t before = 0, after = 0;
            if (!rt::threadIdle(thread, &before))
                return false;
            // Whatever the thread asked of the GUI before it waited is done
            // once a call queued now has run.
            rt::gui::call([] {});
            return rt::threadIdle(thread, &after) && before == after;
        },
        timeoutMs);
}

bool waitWindow(int thread, int timeoutMs) {
    return waitFor(
               [thread] {
                   return onGui([thread] { return rt::gui::topWindow(thread) != nullptr; });
               },
               timeoutMs) &&
           waitIdle(thread, timeoutMs);
}

bool waitDialog(int thread, int timeoutMs) {
    return waitFor([thread] { return onGui([thread] { return newestDialog(thread) != nullptr; }); },
                   timeoutMs);
}

void click(int thread, int control, int timeoutMs) {
    onGui([&] {
        QWidget* w = target(thread, control);
        if (!w)
            return;
        activate(w);
        if (auto* g = qobject_cast<QGroupBox*>(w); g && !g->isCheckable())
            return;
        QTest::mouseClick(w, Qt::LeftButton);
    });
    waitIdle(thread, timeoutMs);
}

void chooseMenu(int thread, int item) {
    onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        if (QAction* a = w ? w->menuItem(item) : nullptr)
            a->trigger();
    });
    waitIdle(thread);
}

void type(int thread, int control, const QString& text, bool complete) {
    onGui([&] {
        QWidget* w = target(thread, control);
        if (!w)
            return;
        activate(w);
        w->setFocus(Qt::MouseFocusReason);
        QWidget* editor = w;
        if (auto* cb = qobject_cast<QComboBox*>(w); cb && cb->lineEdit())
            editor = cb->lineEdit();
        if (auto* s = qobject_cast<QAbstractSpinBox*>(w))
            s->selectAll();
        if (auto* e = qobject_cast<QLineEdit*>(editor))
            e->selectAll();
        if (auto* t = qobject_cast<QTextEdit*>(editor))
            t->selectAll();
        for (QChar ch : text) {
            // Letters beyond ASCII (Cyrillic) go as text with no key code.
            if (ch.unicode() < 128)
                QTest::keyClick(editor, char(ch.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(ch),
                                    Qt::NoModifier);
        }
        if (complete)
            QTest::keyClick(editor, Qt::Key_Tab);
    });
    waitIdle(thread);
}

void pressKey(int thread, int control, int keycode) {
    onGui([&] {
        QWidget* w = target(thread, control);
        if (!w)
            return;
        activate(w);
        if (control != 0)
            w->setFocus(Qt::OtherFocusReason);
        QWidget* to = QApplication::focusWidget() && control != 0 ? QApplication::focusWidget() : w;
        QTest::keyClick(to, qtKey(keycode), modifiers(keycode));
    });
    waitIdle(thread);
}

void clickMouse(int thread, int control, int keycode) {
    onGui([&] {
        QWidget* w = target(thread, control);
        if (!w)
            return;
        activate(w);
        const int b = keycode & 0xFF;
        const Qt::MouseButton button = b == Key::MouseRight    ? Qt::RightButton
                                       : b == Key::MouseCenter ? Qt::MiddleButton
                                                               : Qt::LeftButton;
        QWidget* m = mouseTarget(w);
        // The window's background: a corner no control covers.
        const QPoint at = control == 0 ? QPoint(1, 1) : m->rect().center();
        QTest::mouseClick(m, button, modifiers(keycode), at);
    });
    waitIdle(thread);
}

void focus(int thread, int control) {
    onGui([&] {
        if (QWidget* w = target(thread, control)) {
            activate(w);
            w->setFocus(Qt::TabFocusReason);
        }
    });
    waitIdle(thread);
}

void selectTab(int thread, int sheet, int position) {
    onGui([&] {
        auto* tw = qobject_cast<QTabWidget*>(target(thread, sheet));
        if (!tw)
            return;
        activate(tw);
        QTabBar* bar = tw->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(position - 1).center());
    });
    waitIdle(thread);
}

void chooseEntry(int thread, int control, int position) {
    onGui([&] {
        auto* cb = qobject_cast<QComboBox*>(target(thread, control));
        if (!cb)
            return;
        activate(cb);
        cb->setFocus(Qt::MouseFocusReason);
        // As picking from the drop-down list does: the index changes, then
        // the choice is reported.
        cb->setCurrentIndex(position - 1);
        emit cb->activated(position - 1);
    });
    waitIdle(thread);
}

void spinTo(int thread, int control, int value) {
    onGui([&] {
        auto* s = qobject_cast<QSpinBox*>(target(thread, control));
        if (!s)
            return;
        activate(s);
        s->setFocus(Qt::MouseFocusReason);
        const int steps = (value - s->value()) / std::max(1, s->singleStep());
        for (int i = 0; i < std::abs(steps); ++i)
            QTest::keyClick(s, steps > 0 ? Qt::Key_Up : Qt::Key_Down);
    });
    waitIdle(thread);
}

void keystroke(int thread, int keycode) {
    onGui([&] {
        QWidget* to = QApplication::focusWidget();
        if (!to)
            to = QApplication::activeWindow();
        if (to)
            QTest::keyClick(to, qtKey(keycode), modifiers(keycode));
    });
    waitIdle(thread);
}

QString messageTitle(int thread) {
    return onGui([&] {
        QWidget* d = newestDialog(thread);
        return d ? d->windowTitle() : QString();
    });
}

bool messageTitleFits(int thread) {
    return onGui([&] {
        QWidget* d = newestDialog(thread);
        if (!d)
            return false;
        QFont bold = QApplication::font("QMdiSubWindowTitleBar");
        bold.setBold(true);
        // The title bar's icon and buttons take about three times its height.
        const int bar = 3 * d->style()->pixelMetric(QStyle::PM_TitleBarHeight);
        return d->width() >= QFontMetrics(bold).horizontalAdvance(d->windowTitle()) + bar;
    });
}

QString messageText(int thread) {
    return onGui([&] {
        QWidget* d = newestDialog(thread);
        if (auto* m = qobject_cast<QMessageBox*>(d))
            return m->text();
        return d ? d->windowTitle() : QString();
    });
}

QStringList messageButtons(int thread) {
    return onGui([&] {
        QStringList out;
        if (auto* m = qobject_cast<QMessageBox*>(newestDialog(thread))) {
            for (QAbstractButton* b : m->buttons())
                out << b->text();
        }
        return out;
    });
}

bool answerMessage(int thread, int button) {
    const bool done = onGui([&] {
        auto* m = qobject_cast<QMessageBox*>(newestDialog(thread));
        if (!m)
            return false;
        for (QAbstractButton* b : m->buttons()) {
            if (b->property("kaldorButton").toInt() == button ||
                (button == BUTTON::Ok && m->buttons().size() == 1)) {
                QTest::mouseClick(b, Qt::LeftButton);
                return true;
            }
        }
        return false;
    });
    waitIdle(thread);
    return done;
}

bool answerFileDialog(int thread, const QString& path) {
    const bool done = onGui([&] {
        auto* d = qobject_cast<QDialog*>(newestDialog(thread));
        if (!d)
            return false;
        if (path.isEmpty()) {
            d->reject();
            return true;
        }
        if (auto* f = qobject_cast<QFileDialog*>(d)) {
            if (f->fileMode() == QFileDialog::Directory)
                f->setDirectory(path);  // with nothing typed, the folder shown is the choice
            else {
                f->selectFile(path);
                // A shown dialog whose name field has the focus keeps what
                // it holds: type the name there, as the user would.
                if (auto* name = f->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(path);
            }
        }
        d->accept();
        return true;
    });
    waitIdle(thread);
    return done;
}

QString text(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            return e->text();
        if (auto* l = qobject_cast<QLabel*>(w))
            return l->text();
        if (auto* s = qobject_cast<QSpinBox*>(w))
            return s->text();
        if (auto* cb = qobject_cast<QComboBox*>(w))
            return cb->currentText();
        if (auto* t = qobject_cast<QTextEdit*>(w))
            return t->toPlainText();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            if (b->isCheckable())
                return b->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
            return b->text();
        }
        if (auto* g = qobject_cast<QGroupBox*>(w))
            return g->title();
        if (auto* p = qobject_cast<QProgressBar*>(w))
            return QString::number(p->value());
        if (auto* tw = qobject_cast<QTabWidget*>(w))
            return tw->tabText(tw->currentIndex());
        return QString();
    });
}

QString title(int thread) {
    return onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        return w ? w->top()->windowTitle() : QString();
    });
}

QString tip(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w ? w->toolTip() : QString();
    });
}

bool visible(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w && w->isVisibleTo(w->window());
    });
}

bool enabled(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w && w->isEnabled();
    });
}

bool hasFocus(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w && (w->hasFocus() || (w->focusProxy() && w->focusProxy()->hasFocus()));
    });
}

QFont font(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w ? w->font() : QFont();
    });
}

QColor textColor(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w ? w->palette().color(QPalette::Active, w->foregroundRole()) : QColor();
    });
}

QColor background(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w ? w->palette().color(QPalette::Active, w->backgroundRole()) : QColor();
    });
}

QRect geometry(int thread, int control) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        return w ? w->geometry() : QRect();
    });
}

bool windowEnabled(int thread) {
    return onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        return w && w->client()->isEnabled();
    });
}

int activeThread() {
    return onGui([] {
        QWidget* w = QApplication::activeWindow();
        if (!w)
            return 0;
        if (auto* frame = rt::gui::frame(); frame && w == frame) {
            auto* area = qobject_cast<QMdiArea*>(frame->centralWidget());
            QMdiSubWindow* s = area ? area->activeSubWindow() : nullptr;
            w = s ? s->widget() : nullptr;
            if (!w)
                return 0;
        }
        const QVariant id = w->property("kaldorWindow");
        rt::GuiWindow* g = id.isValid() ? rt::gui::window(id.toULongLong()) : nullptr;
        return g ? g->thread() : 0;
    });
}

int focusedControl(int thread) {
    return onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        QWidget* f = QApplication::focusWidget();
        if (!w || !f)
            return 0;
        for (const rt::ControlDecl& c : w->decl().controls) {
            rt::GuiControl* gc = w->control(c.number);
            QWidget* cw = gc ? gc->widget() : nullptr;
            if (cw && (cw == f || cw->isAncestorOf(f)))
                return c.number;
        }
        return 0;
    });
}

bool fitsWhole(int thread, int control, const QString& text) {
    return onGui([&] {
        QWidget* w = target(thread, control);
        if (!w)
            return false;
        int room = w->contentsRect().width();
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            const QMargins m = e->textMargins();
            // A line edit keeps two pixels clear on each side of its text.
            room -= m.left() + m.right() + 4;
            if (e->hasFrame())
                room -= 2 * e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        }
        return QFontMetrics(w->font()).horizontalAdvance(text) <= room;
    });
}

QWidget* widget(int thread, int control) {
    return target(thread, control);
}

int controlOf(int thread, const QString& equate) {
    return onGui([&] {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        if (!w)
            return 0;
        for (const rt::ControlDecl& c : w->decl().controls) {
            if (c.equate == equate)
                return c.number;
        }
        return 0;
    });
}

int main(int argc, char** argv, const QStringList& resourceFolders) {
    ::testing::InitGoogleTest(&argc, argv);
    for (const QString& f : resourceFolders)
        rt::addResourceFolder(f);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rc = 0;
    const int run = rt::run(argc, argv, [&rc] { rc = RUN_ALL_TESTS(); });
    return rc != 0 ? rc : run;
}

}  // namespace uitest
