#pragma once
// Window declarations read from the resource modules (schema in docs/RESOURCES.md).
// A declaration is parsed once per opening and shared, read-only, by the
// procedure thread and the GUI thread.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "core/values.h"

namespace rt {

enum class ControlType {
    Entry,
    Prompt,
    String,
    Button,
    Check,
    Option,
    Radio,
    DropList,
    Combo,
    Sheet,
    Tab,
    Spin,
    Group,
    Progress,
    Image,
    Text,  // multi-line text; rich text when declared so
    List,
    Toolbar,  // a bar along the top of the window holding its child controls
    Custom,   // a kind registered by a higher layer (rt::registerControlType)
};

struct FontDecl {
    QString name;    // as declared ("Arial CYR"); empty keeps the window's face
    int size = 0;    // points; 0 keeps the window's size
    int color = -1;  // 0xBBGGRR; -1 keeps the default
    int style = 0;   // FONT:: weight and flags; 0 keeps the default
};

// A dimension declared "default" is computed from the text when the window opens.
constexpr int kDefault = -1;

struct ControlDecl {
    int number = 0;  // 1-based, in declaration order
    ControlType type = ControlType::String;
    QString kind;    // the declared type name
    QString equate;  // "?BROWSE:1"
    int parent = 0;  // enclosing sheet, tab, group or option box; 0 the window
    int x = 0, y = 0, width = kDefault, height = kDefault;  // dialog units
    QString text;
    QString picture;
    QString tip;
    QString msg;  // status-bar text while the control has the focus
    QString icon;
    QString format;
    QStringList from;        // entries of a drop list or combo
    QStringList fromValues;  // their values ("#value" after an entry), empty when none
    FontDecl font;
    int color = -1, selectedColor = -1, selectedFill = -1;
    bool hidden = false, disabled = false, readOnly = false, transparent = false;
    bool isDefault = false, rich = false, vscroll = false, flat = false;
    Qt::Alignment align = {};
    int std = 0;
    int rangeLow = 0, rangeHigh = 0, step = 1;
    bool hasRange = false;
    Value value;  // radio: the value it puts into the option's variable
    bool hasValue = false;
    Value trueValue = 1, falseValue = 0;  // check box
    int lineHeight = 0;
    QJsonObject raw;  // the whole declaration, for kinds registered by other layers
};

struct MenuDecl {
    int number = 0;  // negative: -1 the menu bar, then menus and items in order
    QString equate;
    QString text;
    QString msg;
    int std = 0;
    int parent = 0;  // 0 for the menu bar itself
    bool isMenu = false;
    bool separator = false;
};

struct WindowDecl {
    QString module;
    QString label;
    QString title;
    QString icon;
    QString help;
    int x = kDefault, y = kDefault, width = 200, height = 100;  // dialog units
    FontDecl font;
    int color = -1;
    bool frame = false;  // the application frame: a main window with an MDI area
    bool mdi = false;    // a child of the frame's MDI area
    bool resizable = true;
    bool maximized = false;
    bool center = false;
    int timer = 0;
    std::vector<int> statusZones;       // widths in dialog units; -1 takes the rest
    std::vector<ControlDecl> controls;  // controls[n - 1] is control n
    std::vector<MenuDecl> menus;        // menus[-n - 1] is menu item n
    QJsonObject raw;

    const ControlDecl* control(int n) const {
        return n >= 1 && n <= int(controls.size()) ? &controls[size_t(n - 1)] : nullptr;
    }
    const MenuDecl* menu(int n) const {
        return n <= -1 && -n <= int(menus.size()) ? &menus[size_t(-n - 1)] : nullptr;
    }
    // Number of a control or menu item by its equate ("?BROWSE:1"); 0 when none.
    int number(QStringView equate) const;
    // The children of a container of one kind (the tabs of a sheet, the radio
    // buttons of an option box), in order; position p is children(...)[p - 1].
    std::vector<int> children(int container, ControlType type) const;
    // 1-based position of a tab in its sheet or a radio in its option box; 0 none.
    int position(int control) const;
};

// Parses a declaration; on a fault returns null and says what in *error.
std::shared_ptr<const WindowDecl> parseWindow(const QJsonObject& decl, QString* error = nullptr);
// Reads "windows"/label of a resource module and parses it.
std::shared_ptr<const WindowDecl> loadWindow(QStringView module, QStringView label,
                                             QString* error = nullptr);

// Colours in declarations may be numbers or texts ("0xC08000").
int colorValue(const QJsonValue& v, int fallback = -1);

}  // namespace rt
