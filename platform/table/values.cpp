// Field values as SQLite holds them: the column value of a field or of a value
// like it, binding it to a statement, and reading a column back into a field.

#include <QStringView>
#include <algorithm>
#include <cstring>

#include "driver.h"

namespace tbl {

namespace {

std::int64_t pow10(int n) {
    std::int64_t r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

Arg dateArg(LONG day) {
    if (day == 0)
        return Arg::integer(0);
    const QString iso = rt::isoDate(day);
    return iso.isEmpty() ? Arg::integer(day) : Arg::text(iso);
}

// Files keep their text in UTF-16 (see createFile), so that reading a row copies it
// into the buffer with no conversion. Russian text takes the same room as in UTF-8.
QStringView columnText(sqlite3_stmt* st, int c) {
    const auto* p = static_cast<const char16_t*>(sqlite3_column_blob(st, c));
    return p ? QStringView(p, sqlite3_column_bytes(st, c) / 2) : QStringView();
}

}  // namespace

void bind(sqlite3_stmt* st, int i, const Arg& a) {
    switch (a.type) {
        case Arg::Null:
            sqlite3_bind_null(st, i);
            break;
        case Arg::Int:
            sqlite3_bind_int64(st, i, a.i);
            break;
        case Arg::Real:
            sqlite3_bind_double(st, i, a.r);
            break;
        case Arg::Text:
            sqlite3_bind_text16(st, i, a.s.utf16(), int(a.s.size() * 2), SQLITE_TRANSIENT);
            break;
        case Arg::Blob:
            sqlite3_bind_blob(st, i, a.b.constData(), int(a.b.size()), SQLITE_TRANSIENT);
            break;
    }
}

Arg fieldArg(const FieldRef& f) {
    switch (f.kind) {
        case Kind::Byte:
        case Kind::Short:
        case Kind::Long:
            return Arg::integer(f.get().toInt());
        case Kind::Date:
            return dateArg(LONG(f.get().toInt()));
        case Kind::Decimal: {
            std::int64_t s;
            std::memcpy(&s, f.ptr, sizeof s);
            return Arg::integer(s);
        }
        case Kind::Real: {
            Arg a;
            a.type = Arg::Real;
            a.r = f.get().toReal();
            return a;
        }
        case Kind::String:
            return Arg::text(CLIP(f.get().toText()));
        case Kind::CString:
            return Arg::text(f.get().toText());
    }
    return {};
}

Arg valueArg(const FieldRef& proto, const Value& v) {
    switch (proto.kind) {
        case Kind::Byte:
        case Kind::Short:
        case Kind::Long:
            return Arg::integer(v.toInt());
        case Kind::Date:
            return dateArg(LONG(v.toInt()));
        case Kind::Decimal: {
            if (v.type() == Value::Type::Integer && proto.places == 0)
                return Arg::integer(v.toInt());
            const double s = v.toReal() * double(pow10(proto.places));
            return Arg::integer(std::int64_t(s < 0 ? s - 0.5 : s + 0.5));
        }
        case Kind::Real: {
            Arg a;
            a.type = Arg::Real;
            a.r = v.toReal();
            return a;
        }
        case Kind::String:
            return Arg::text(CLIP(v.toText().left(proto.size)));
        case Kind::CString:
            return Arg::text(v.toText().left(proto.size - 1));
    }
    return {};
}

void readField(sqlite3_stmt* st, int c, const FieldRef& f) {
    switch (f.kind) {
        case Kind::Byte:
            *static_cast<BYTE*>(f.ptr) = BYTE(sqlite3_column_int64(st, c));
            return;
        case Kind::Short:
            *static_cast<SHORT*>(f.ptr) = SHORT(sqlite3_column_int64(st, c));
            return;
        case Kind::Long:
            *static_cast<LONG*>(f.ptr) = LONG(sqlite3_column_int64(st, c));
            return;
        case Kind::Decimal: {
            const std::int64_t s = sqlite3_column_int64(st, c);
            std::memcpy(f.ptr, &s, sizeof s);
            return;
        }
        case Kind::Real:
            *static_cast<REAL*>(f.ptr) = sqlite3_column_double(st, c);
            return;
        case Kind::Date: {
            LONG day = 0;
            if (sqlite3_column_type(st, c) == SQLITE_TEXT) {
                day = rt::dayOfIso(columnText(st, c));
            } else {
                day = LONG(sqlite3_column_int64(st, c));
            }
            *static_cast<DATE*>(f.ptr) = DATE(day);
            return;
        }
        case Kind::String:
        case Kind::CString: {
            const QStringView text = columnText(st, c);
            if (f.kind == Kind::String) {
                // Stored without its padding: copied and padded here, the common case
                // of every row read.
                auto* dst = static_cast<char16_t*>(f.ptr);
                int n = int(std::min<qsizetype>(text.size(), f.size));
                if (n < text.size() && n > 0 && QChar::isHighSurrogate(text[n - 1].unicode()))
                    --n;
                if (n > 0)
                    std::memcpy(dst, text.data(), size_t(n) * sizeof(char16_t));
                std::fill(dst + n, dst + f.size, u' ');
            } else
                rt::assignZeroTerminated(static_cast<char16_t*>(f.ptr), f.size, text);
            return;
        }
    }
}

Value readValue(sqlite3_stmt* st, int c, const FieldRef& proto) {
    switch (proto.kind) {
        case Kind::String:
        case Kind::CString:
            return Value(columnText(st, c));  // copies
        case Kind::Real:
            return Value(sqlite3_column_double(st, c));
        case Kind::Date: {
            LONG day = 0;
            FieldRef f{Kind::Date, &day, 4, 0, nullptr};
            readField(st, c, f);
            return Value(int(day));
        }
        default:
            return Value(std::int64_t(sqlite3_column_int64(st, c)));
    }
}

}  // namespace tbl
