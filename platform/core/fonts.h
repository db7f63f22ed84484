#pragma once
// Font faces as the declarations name them. Names with the legacy " CYR" suffix
// ("Arial CYR", "Times New Roman Cyr") meant the Cyrillic variant of a face; every
// modern face carries Cyrillic, so they mean the base face, and fontconfig then
// picks the installed metric-compatible face (Liberation Sans for Arial, ...).

#include <QString>
#include <QStringView>

namespace rt {

// "Arial CYR" -> "Arial"; other names trimmed and kept.
QString fontFace(QStringView declared);

}  // namespace rt
