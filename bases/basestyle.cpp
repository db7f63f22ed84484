#include "bases.h"
#include "listcontrol.h"
#include "ui/window.h"

void OffBaseStyle(Window& window, int list, const char16_t* face) {
    window[list](lst::PROPSTYLE::FontName, 1) = face;
    window[list](lst::PROPSTYLE::FontSize, 1) = 8;
    window[list](lst::PROPSTYLE::FontStyle, 1) = int(FONT::Bold);
    window[list](lst::PROPSTYLE::TextColor, 1) = 0xC0C0C0;
    window[list](lst::PROPSTYLE::BackColor, 1) = -1;
    window[list](lst::PROPSTYLE::TextSelected, 1) = 0xC0C0C0;
    window[list](lst::PROPSTYLE::BackSelected, 1) = -1;
}
