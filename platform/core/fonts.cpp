#include "fonts.h"

namespace rt {

QString fontFace(QStringView declared) {
    QString f = declared.toString().trimmed();
    if (f.endsWith(QStringLiteral(" CYR"), Qt::CaseInsensitive))
        f.chop(4);
    return f.trimmed();
}

}  // namespace rt
