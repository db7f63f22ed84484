// The SQL functions of a connection and the conditions of views that use them:
// upper case and comparison of texts as the runtime makes them, which SQLite's
// own functions and collations do not.

#include "driver.h"

namespace tbl {

namespace {

QString argText(sqlite3_value* v) {
    const void* p = sqlite3_value_text16(v);
    const int bytes = sqlite3_value_bytes16(v);
    return p ? QString(reinterpret_cast<const QChar*>(p), bytes / 2) : QString();
}

// kaldor_upper(text): the text in upper case, Cyrillic included (SQLite's own
// upper() knows only ASCII), as QString::toUpper makes it. It runs once per row
// of a query, so the common letters are mapped one by one in place; a text
// with a letter whose upper case is longer (ß) takes the whole mapping.
bool simpleUpper(char16_t c) {
    return c < 0x500 && c != 0x00DF && c != 0x0149 && c != 0x01F0 && c != 0x0390 && c != 0x03B0;
}

void upperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* p = static_cast<const char16_t*>(sqlite3_value_text16(argv[0]));
    const int n = sqlite3_value_bytes16(argv[0]) / 2;
    auto* out = static_cast<char16_t*>(sqlite3_malloc64(sqlite3_uint64(n + 1) * 2));
    if (!out) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (!simpleUpper(p[i])) {
            sqlite3_free(out);
            const QString u = QString(reinterpret_cast<const QChar*>(p), n).toUpper();
            sqlite3_result_text16(ctx, u.utf16(), int(u.size() * 2), SQLITE_TRANSIENT);
            return;
        }
        out[i] = QChar::toUpper(p[i]);
    }
    sqlite3_result_text16(ctx, out, n * 2, sqlite3_free);
}

// kaldor_compare(a, b): -1, 0 or 1 as the runtime orders two texts (by code
// unit; the BINARY collation of a UTF-16 file compares bytes).
void compareFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_int(ctx, rt::compareText(argText(argv[0]), argText(argv[1])));
}

}  // namespace

bool registerFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function_v2(db, "kaldor_upper", 1, flags, nullptr, upperFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "kaldor_compare", 2, flags, nullptr, compareFunction,
                                      nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString conditionSql(const TableFile::Field& f, int op, const Value& value, bool noCase,
                     Args* args) {
    // Same order as ViewClass::Compare.
    enum { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Contains, BeginsWith };
    static const char* const ordering[] = {"=", "<>", "<", "<=", ">", ">="};
    if (!f.ref.isText()) {
        if (op >= Contains)
            return QStringLiteral("0");
        args->push_back(valueArg(f.ref, value));
        return quoted(f.name) + QString::fromLatin1(ordering[op]) + u'?';
    }
    const QString column =
        noCase ? QStringLiteral("kaldor_upper(%1)").arg(quoted(f.name)) : quoted(f.name);
    Arg a = valueArg(f.ref, value);
    if (noCase)
        a.s = a.s.toUpper();
    args->push_back(a);
    switch (op) {
        case Equal:
        case NotEqual:
            return column + QString::fromLatin1(ordering[op]) + u'?';
        case Contains:
            return QStringLiteral("instr(%1,?)>0").arg(column);
        case BeginsWith:
            return QStringLiteral("instr(%1,?)=1").arg(column);
        default:
            return QStringLiteral("kaldor_compare(%1,?)%2 0")
                .arg(column, QString::fromLatin1(ordering[op]));
    }
}
}  // namespace tbl
