#include "collation.h"

namespace tbl {

int russianWeight(char16_t c) {
    const char16_t folded = QChar::toCaseFolded(c);
    if (folded == u'ё')
        return 2 * int(u'е') + 1;
    return 2 * int(folded);
}

int compareRussian(QStringView a, QStringView b, bool noCase) {
    const int la = rt::clippedLength(a);
    const int lb = rt::clippedLength(b);
    const int n = la < lb ? la : lb;
    for (int i = 0; i < n; ++i) {
        const int wa = russianWeight(a[i].unicode());
        const int wb = russianWeight(b[i].unicode());
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    if (la != lb)
        return la < lb ? -1 : 1;
    if (noCase)
        return 0;
    return rt::compareText(a, b);
}

int compareOrderValues(const Value& a, const Value& b, bool noCase) {
    if (a.isText() && b.isText())
        return compareRussian(a.toText(), b.toText(), noCase);
    if (a.isText() != b.isText())
        return a.isText() ? 1 : -1;
    return compare(a, b);
}

}  // namespace tbl
