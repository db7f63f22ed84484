// The user's input on the program's windows, turned into events of the
// threads that own them: alerted keys and mouse buttons, Esc, Enter, the focus
// moving, and the status texts of what the mouse is over.

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include "guihost.h"

namespace rt {

namespace {

// The window and control a widget belongs to.
GuiWindow* locate(QObject* o, int* control) {
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

// The window and control a key or mouse button went to.
GuiWindow* target(QObject* o, int* control) {
    return o->isWidgetType() ? locate(o, control) : nullptr;
}

// An alerted key or mouse button goes to the window's thread, and no further.
bool sendAlerted(GuiWindow& w, int control, int code) {
    if (code == 0 || !w.alerted(code))
        return false;
    w.post(EVENT::AlertKey, control, {}, code);
    return true;
}

}  // namespace

class GuiInput : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        switch (e->type()) {
            case QEvent::ToolTip:
                return detail::guiHost()->noTips;
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
        int control = 0;
        GuiWindow* w = target(o, &control);
        if (!w)
            return false;
        const int code = gui::keyCode(e);
        if (sendAlerted(*w, control, code))
            return true;
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
        if (QLineEdit* le = c->typedLine())
            w->post(EVENT::Accepted, control, le->text());
        // Enter presses the window's default button.
        if (GuiControl* b = w->control(w->defaultButton())) {
            if (auto* button = b->as<QAbstractButton>();
                button && button->isVisible() && button->isEnabled())
                button->click();
        }
        return true;
    }

    bool mousePress(QObject* o, QMouseEvent* e) {
        int control = 0;
        GuiWindow* w = target(o, &control);
        return w && sendAlerted(*w, control, gui::mouseCode(e));
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
        QLineEdit* le = c ? c->typedLine() : nullptr;
        // Leaving an entry whose text the user changed completes it. An editable
        // combo is the focus proxy of its line edit: the combo loses the focus.
        if (le && (o == le || o == c->widget()))
            c->completeTyping();
    }
};

QObject* detail::makeInputFilter(QObject* parent) {
    return new GuiInput(parent);
}

}  // namespace rt
