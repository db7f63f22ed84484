#pragma once
// Numbers the program and the runtime agree on: events, key codes, message-box
// buttons and icons, standard actions, font styles and colours.

#include <QString>

// Events. Those below 0x200 concern a control (FIELD() names it); those from
// 0x200 on concern the window. Programs number their own events from User on.
// EVENT() is the calling thread's current event: `switch (EVENT())`,
// `if (EVENT() == EVENT::Accepted)`.
struct EVENT {
    enum : int {
        Accepted = 1,      // a control completed: button pressed, entry left, choice made
        NewSelection = 2,  // the current item of a list, sheet, spin or drop list moved
        ScrollUp = 3,
        ScrollDown = 4,
        PageUp = 5,
        PageDown = 6,
        ScrollTop = 7,
        ScrollBottom = 8,
        ScrollDrag = 9,
        Locate = 10,
        MouseDown = 11,
        MouseUp = 12,
        HeaderPressed = 13,  // a column header of a list was clicked
        ColumnResize = 14,
        Selected = 0x101,  // a control received the focus
        Rejected = 0x102,  // text refused by the control's picture
        TabChanging = 0x103,
        AlertKey = 0x104,  // an alerted key or mouse button (KEYCODE())
        DroppingDown = 0x105,
        DroppedDown = 0x106,
        CloseWindow = 0x201,
        CloseDown = 0x202,
        OpenWindow = 0x203,
        OpenFailed = 0x204,
        LoseFocus = 0x205,
        GainFocus = 0x206,
        Timer = 0x20B,
        Sized = 0x20C,
        Moved = 0x20D,
        Maximized = 0x20E,
        Iconized = 0x20F,
        Restored = 0x210,
        Completed = 0x211,
        DoResize = 0x212,
        User = 0x400,
    };
    operator int() const;  // NOLINT: the current event's number
};

// Key codes: the key's code plus Shift, Ctrl and Alt; mouse buttons count as keys.
namespace Key {
enum : int {
    MouseLeft = 1,
    MouseRight = 2,
    MouseCenter = 4,
    Backspace = 8,
    Tab = 9,
    Enter = 13,
    Esc = 27,
    Space = 32,
    PgUp = 33,
    PgDn = 34,
    End = 35,
    Home = 36,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Insert = 45,
    Delete = 46,
    F1 = 112,  // F2 .. F12 follow
    Shift = 256,
    Ctrl = 512,
    Alt = 1024,
};
// The code of a letter or digit key: letter('H') is 72, so Ctrl+H is Key::Ctrl + 72.
constexpr int letter(char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}
}  // namespace Key

// Buttons of a message box; MESSAGE returns the one pressed.
namespace BUTTON {
enum : int {
    Ok = 1,
    Yes = 2,
    No = 4,
    Abort = 8,
    Retry = 16,
    Ignore = 32,
    Cancel = 64,
    Help = 128,
};
}

// Icons of a message box.
namespace ICON {
inline const QString None;
inline const QString Exclamation = QStringLiteral("exclamation");
inline const QString Question = QStringLiteral("question");
inline const QString Hand = QStringLiteral("hand");
inline const QString Asterisk = QStringLiteral("asterisk");
}  // namespace ICON

// Standard actions of buttons and menu items, carried out by the runtime alone.
namespace STD {
enum : int {
    WindowList = 1,
    TileWindow = 2,
    CascadeWindow = 3,
    ArrangeIcons = 4,
    HelpIndex = 5,
    HelpOnHelp = 6,
    HelpSearch = 7,
    Cut = 10,
    Copy = 11,
    Paste = 12,
    Close = 15,
    PrintSetup = 16,
};
}

// Font styles: a weight plus flags.
namespace FONT {
enum : int {
    Thin = 100,
    Regular = 400,
    Bold = 700,
    Weight = 0xFFF,  // mask of the weight
    Italic = 0x1000,
    Underline = 0x2000,
    Strikeout = 0x4000,
};
}

// Colours are 0xBBGGRR; None leaves the platform's colour.
namespace COLOR {
enum : int {
    None = -1,
    Black = 0x000000,
    White = 0xFFFFFF,
    Silver = 0xC0C0C0,
    Gray = 0x808080,
    Red = 0x0000FF,
    Green = 0x008000,
    Blue = 0xFF0000,
};
}

// Character sets (SYSTEM[PROP::CharSet]).
namespace CHARSET {
enum : int {
    Ansi = 0,
    Cyrillic = 204,
};
}

// Flags of FILEDIALOG.
namespace FILEDLG {
enum : int {
    Save = 1,        // a file to write
    KeepDir = 2,     // the process's current folder stays as it was
    NoError = 4,     // no message for a file that does not exist
    Multi = 8,       // several files, separated by '|'
    LongName = 16,   // always: names are never shortened
    Directory = 32,  // choose a folder
};
}

// Properties of windows, controls and the SYSTEM. Those with an index take it
// after the property: win[BROWSE_1](PROP::IconList, 1).
enum class PROP : int {
    Text = 1,  // title, caption, label; the text shown by an entry or text control
    Hide,      // 1 hidden
    Disable,   // 1 disabled
    ReadOnly,  // 1 typing refused
    FontName,
    FontSize,   // points
    FontColor,  // 0xBBGGRR
    FontStyle,  // FONT:: weight and flags
    Color,      // background
    SelectedColor,
    SelectedFillColor,
    Tip,
    LineHeight,  // pixels per row of a list or drop list
    XPos,        // dialog units
    YPos,
    Width,
    Height,
    Icon,
    IconList,  // indexed: icon n of a list
    Picture,
    Format,  // list format string
    From,    // entries of a drop list or combo, '|' between them
    Choice,  // 1-based current item of a sheet, option box, drop list
    RangeLow,
    RangeHigh,
    Step,
    Progress,    // value of a progress bar
    StatusText,  // indexed: zone of the window's status bar
    Timer,       // hundredths of a second between timer events; 0 none
    Default,     // 1 the window's default button
    Std,         // standard action
    Type,        // read only: the control's kind name
    Visible,     // read only: shown on the screen (not hidden, nor its tab)
    Enabled,     // read only
    ScreenText,  // read only: the text the control shows after DISPLAY
    Equate,      // read only: the declared name ("?BROWSE:1")
    Maximize,
    Iconize,
    Active,      // 1 the window is the active one
    CharSet,     // SYSTEM
    TipDisplay,  // SYSTEM: milliseconds a tip stays shown
    TipDelay,    // SYSTEM
    NoTips,      // SYSTEM: 1 no tips in any window
};
