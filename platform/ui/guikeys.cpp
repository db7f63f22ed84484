// The key map: Qt's keys and mouse buttons as the program's key codes.

#include <QKeyEvent>
#include <QMouseEvent>

#include "gui.h"

namespace rt::gui {

namespace {

struct KeyName {
    int qt;
    int code;
};

// Keys other than letters, digits and function keys.
const KeyName kKeys[] = {
    {Qt::Key_Backspace, Key::Backspace},
    {Qt::Key_Tab, Key::Tab},
    {Qt::Key_Backtab, Key::Tab},
    {Qt::Key_Return, Key::Enter},
    {Qt::Key_Enter, Key::Enter},
    {Qt::Key_Escape, Key::Esc},
    {Qt::Key_Space, Key::Space},
    {Qt::Key_PageUp, Key::PgUp},
    {Qt::Key_PageDown, Key::PgDn},
    {Qt::Key_End, Key::End},
    {Qt::Key_Home, Key::Home},
    {Qt::Key_Left, Key::Left},
    {Qt::Key_Up, Key::Up},
    {Qt::Key_Right, Key::Right},
    {Qt::Key_Down, Key::Down},
    {Qt::Key_Insert, Key::Insert},
    {Qt::Key_Delete, Key::Delete},
};

const KeyName kButtons[] = {
    {Qt::LeftButton, Key::MouseLeft},
    {Qt::RightButton, Key::MouseRight},
    {Qt::MiddleButton, Key::MouseCenter},
};

int withModifiers(int code, Qt::KeyboardModifiers m) {
    if (m & Qt::ShiftModifier)
        code += Key::Shift;
    if (m & Qt::ControlModifier)
        code += Key::Ctrl;
    if (m & Qt::AltModifier)
        code += Key::Alt;
    return code;
}

}  // namespace

int keyCode(const QKeyEvent* e) {
    const int key = e->key();
    int code = 0;
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        code = key;
    } else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        code = Key::F1 + (key - Qt::Key_F1);
    } else {
        for (const KeyName& k : kKeys) {
            if (k.qt == key)
                code = k.code;
        }
        if (code == 0)
            return 0;
    }
    // Shift+Tab arrives as a key of its own, without the Shift.
    Qt::KeyboardModifiers m = e->modifiers();
    if (key == Qt::Key_Backtab)
        m |= Qt::ShiftModifier;
    return withModifiers(code, m);
}

int mouseCode(const QMouseEvent* e) {
    for (const KeyName& b : kButtons) {
        if (b.qt == int(e->button()))
            return withModifiers(b.code, e->modifiers());
    }
    return 0;
}

}  // namespace rt::gui
