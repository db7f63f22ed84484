#pragma once
// The format string of a list control: its columns, how each shows its queue
// field, and the column groups with their headers.
//
//   337L(2)|_M*J~Краткое наименование~L(73)@s120@
//   [240R(5)|_M@s60@240R(5)|_M@s60@]|M~Полное наименование документа~
//
// A column is: its width in dialog units; the alignment of its data (L left,
// R right, C centre, D decimal point, which sits at the right) with an optional
// indent in dialog units "(2)"; then, in any order, attributes and the header;
// then its picture between two "@"; then, optionally, more attributes.
//   |  a border at the right of the column     _  a line under each cell
//   M  the user may resize the column          F  the column has a fixed width
//   J  an icon before the text (queue field)   I  the same, drawn transparent
//   Y  a list style per cell (queue field)     *  colours per row (four queue
//      fields: text, background, selected text, selected background; -1 none)
//   ?  the column a locator searches
//   ~text~ the header, optionally followed by its own alignment and indent.
// A group "[ columns ]" may be followed by its own attributes and the header
// shown above its columns.
//
// Each column takes the next queue field for its value, then, in this order,
// the four colour fields (*), the icon field (J, I) and the style field (Y).

#include <QString>
#include <QStringView>
#include <vector>

namespace lst {

enum class Align { Left, Right, Center, Decimal };

struct Column {
    int width = 0;  // dialog units
    Align align = Align::Left;
    int indent = 0;  // dialog units
    QString header;
    Align headerAlign = Align::Left;
    int headerIndent = 0;
    QString picture;  // "@s60"
    bool rightBorder = false;
    bool underline = false;
    bool resizable = false;
    bool fixed = false;
    bool icon = false;
    bool transparentIcon = false;
    bool style = false;
    bool colors = false;
    bool locator = false;
    int group = -1;  // index into Format::groups
    // Queue fields (0-based); -1 when the column has none of that kind.
    int field = 0;
    int colorField = -1;
    int iconField = -1;
    int styleField = -1;
};

struct Group {
    QString header;
    Align headerAlign = Align::Center;
    int headerIndent = 0;
    bool rightBorder = false;
    bool underline = false;
    bool resizable = false;
    int first = 0;  // its columns, first..last (0-based)
    int last = 0;
};

struct Format {
    std::vector<Column> columns;
    std::vector<Group> groups;
    int fields = 0;  // queue fields the columns use
    bool hasGroups() const { return !groups.empty(); }
};

// Reads a format string. On a fault returns false and *error says what and
// where (a character position counted from 1).
bool parseFormat(QStringView text, Format* out, QString* error);

}  // namespace lst
