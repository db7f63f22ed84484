#pragma once
// The control numbers of a resource module as C++: one enum per window, made
// at build time (kaldor-equates, cmake/KaldorHelpers.cmake `kaldor_controls`)
// so that the procedures and their tests name controls by equate and never
// carry numbers of their own.

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace equates {

// The C++ name of an equate or a window label by the naming rule of the
// program: "?BROWSE:1" -> "BROWSE_1", "P1$QUICKWINDOW" -> "P1_QUICKWINDOW".
// Empty when the result is no identifier.
QString identifier(QStringView equate);

// The header of module `module` from the text of its declaration file: in
// namespace `module`, the enum of its window's controls and menu items (a
// module of several windows: one namespace per window, named after its
// label). False, with *error saying where, when the file is no declaration or
// an equate cannot become a name of its own.
bool controlHeader(QStringView module, const QByteArray& json, QString* header, QString* error);

}  // namespace equates
