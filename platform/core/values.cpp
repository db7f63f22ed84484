#include "values.h"

#include <QDate>
#include <QTime>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace rt {

void assignFixed(char16_t* dst, int n, QStringView src) {
    int len = int(src.size());
    if (len > n) {
        len = n;
        // Never leave the first half of a surrogate pair at the end.
        if (QChar::isHighSurrogate(src[len - 1].unicode()))
            --len;
    }
    const QChar* s = src.data();
    for (int i = 0; i < len; ++i)
        dst[i] = s[i].unicode();
    for (int i = len; i < n; ++i)
        dst[i] = u' ';
}

void assignZeroTerminated(char16_t* dst, int n, QStringView src) {
    int len = int(src.size());
    // Text after an embedded NUL would be invisible to every reader of the field.
    for (int i = 0; i < len; ++i) {
        if (src[i].unicode() == 0) {
            len = i;
            break;
        }
    }
    if (len > n - 1) {
        len = n - 1;
        if (len > 0 && QChar::isHighSurrogate(src[len - 1].unicode()))
            --len;
    }
    const QChar* s = src.data();
    for (int i = 0; i < len; ++i)
        dst[i] = s[i].unicode();
    for (int i = len; i < n; ++i)
        dst[i] = 0;
}

int clippedLength(QStringView s) {
    int n = int(s.size());
    while (n > 0 && s[n - 1] == u' ')
        --n;
    return n;
}

int compareText(QStringView a, QStringView b) {
    const int la = clippedLength(a);
    const int lb = clippedLength(b);
    const int n = la < lb ? la : lb;
    for (int i = 0; i < n; ++i) {
        const char16_t ca = a[i].unicode();
        const char16_t cb = b[i].unicode();
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

double textToNumber(QStringView text) {
    const int n = int(text.size());
    int i = 0;
    while (i < n && text[i] == u' ')
        ++i;
    std::string buf;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        if (text[i] == u'-')
            buf.push_back('-');
        ++i;
    }
    auto digit = [&](int k) { return k < n && text[k] >= u'0' && text[k] <= u'9'; };
    bool any = false;
    while (digit(i)) {
        buf.push_back(char(text[i].unicode()));
        ++i;
        any = true;
    }
    if (i < n && (text[i] == u'.' || text[i] == u',')) {
        const int save = i;
        ++i;
        bool frac = false;
        std::string f = ".";
        while (digit(i)) {
            f.push_back(char(text[i].unicode()));
            ++i;
            frac = true;
        }
        if (frac || any) {
            buf += f;
            any = any || frac;
        } else {
            i = save;
        }
    }
    if (!any)
        return 0.0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        int k = i + 1;
        std::string e = "e";
        if (k < n && (text[k] == u'-' || text[k] == u'+')) {
            e.push_back(char(text[k].unicode()));
            ++k;
        }
        if (digit(k)) {
            while (digit(k)) {
                e.push_back(char(text[k].unicode()));
                ++k;
            }
            buf += e;
        }
    }
    double v = 0;
    // strtod, not from_chars: the latter rejects a trailing ".".
    v = std::strtod(buf.c_str(), nullptr);
    if (!std::isfinite(v))
        return 0.0;
    return v;
}

// Julian day of 31 December 1800, the day before day 1. A constant rather than a
// static QDate, so that day numbers work during static initialisation too.
constexpr qint64 kEpochJulianDay = 2378861;

LONG dayNumber(int year, int month, int day) {
    if (year < 1801 || year > 9999)
        return 0;
    const QDate d(year, month, day);
    if (!d.isValid())
        return 0;
    return LONG(d.toJulianDay() - kEpochJulianDay);
}

QString isoDate(LONG day) {
    int y, m, d;
    if (!rt::calendarDate(day, &y, &m, &d))
        return {};
    return QStringLiteral("%1-%2-%3")
        .arg(y, 4, 10, QLatin1Char('0'))
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(d, 2, 10, QLatin1Char('0'));
}

LONG dayOfIso(QStringView s) {
    auto num = [s](int from, int len) {
        int v = 0;
        for (int i = from; i < from + len; ++i) {
            if (s[i] < u'0' || s[i] > u'9')
                return -1;
            v = v * 10 + (s[i].unicode() - u'0');
        }
        return v;
    };
    if (s.size() != 10 || s[4] != u'-' || s[7] != u'-')
        return 0;
    // The day number by arithmetic: this runs for every date of every row read.
    const int y = num(0, 4), m = num(5, 2), d = num(8, 2);
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1801 || y > 9999 || m < 1 || m > 12 || d < 1 ||
        d > days[m - 1] + (m == 2 && leap ? 1 : 0))
        return 0;
    const int yy = m <= 2 ? y - 1 : y;
    const int era = yy / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    // Days from 1970-01-01, then from 1800-12-31 (day 0 of the runtime).
    return LONG(era * 146097 + doe - 719468 + 61727);
}

bool calendarDate(LONG n, int* year, int* month, int* day) {
    if (n <= 0 || n > DATE::kMaxDay)
        return false;
    const QDate d = QDate::fromJulianDay(kEpochJulianDay + n);
    *year = d.year();
    *month = d.month();
    *day = d.day();
    return true;
}

}  // namespace rt

bool DATE::valid() const {
    return day_ > 0 && day_ <= kMaxDay;
}

LONG TODAY() {
    return LONG(QDate::currentDate().toJulianDay() - rt::kEpochJulianDay);
}

LONG CLOCK() {
    return LONG(QTime::currentTime().msecsSinceStartOfDay() / 10 + 1);
}

QString CLIP(QStringView s) {
    return s.left(rt::clippedLength(s)).toString();
}
QString UPPER(QStringView s) {
    return s.toString().toUpper();
}
QString LOWER(QStringView s) {
    return s.toString().toLower();
}

// ---------------------------------------------------------------------------

std::int64_t Value::toInt() const {
    switch (type_) {
        case Type::Integer:
            return i_;
        case Type::Real:
            return std::isfinite(r_) ? std::int64_t(r_) : 0;
        case Type::Text: {
            const double d = rt::textToNumber(s_);
            return std::int64_t(d);
        }
    }
    return 0;
}

double Value::toReal() const {
    switch (type_) {
        case Type::Integer:
            return double(i_);
        case Type::Real:
            return r_;
        case Type::Text:
            return rt::textToNumber(s_);
    }
    return 0;
}

QString Value::toText() const {
    switch (type_) {
        case Type::Integer:
            return QString::number(i_);
        case Type::Real: {
            if (r_ == std::floor(r_) && std::fabs(r_) < 1e15)
                return QString::number(std::int64_t(r_));
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, r_);
            return QString::fromLatin1(buf, int(res.ptr - buf));
        }
        case Type::Text:
            return s_;
    }
    return {};
}

bool Value::isZeroOrBlank() const {
    switch (type_) {
        case Type::Integer:
            return i_ == 0;
        case Type::Real:
            return r_ == 0.0;
        case Type::Text:
            return rt::clippedLength(s_) == 0;
    }
    return true;
}

static bool readsAsNumber(const QString& s) {
    // The whole text (blanks aside) must be a number for a mixed comparison to be
    // numeric; "12-ФЗ" against 12 compares as text.
    bool ok = false;
    s.trimmed().replace(u',', u'.').toDouble(&ok);
    return ok;
}

int compare(const Value& a, const Value& b) {
    if (a.isText() && b.isText())
        return rt::compareText(a.s_, b.s_);
    if (a.isText() != b.isText()) {
        const Value& t = a.isText() ? a : b;
        if (!readsAsNumber(t.s_)) {
            return rt::compareText(a.toText(), b.toText());
        }
    }
    if (a.type_ == Value::Type::Integer && b.type_ == Value::Type::Integer) {
        return a.i_ < b.i_ ? -1 : (a.i_ > b.i_ ? 1 : 0);
    }
    const double x = a.toReal();
    const double y = b.toReal();
    return x < y ? -1 : (x > y ? 1 : 0);
}

// ---------------------------------------------------------------------------

namespace {
struct MaybeLock {
    explicit MaybeLock(std::mutex* m) : m_(m) {
        if (m_)
            m_->lock();
    }
    ~MaybeLock() {
        if (m_)
            m_->unlock();
    }
    std::mutex* m_;
};

std::int64_t pow10(int n) {
    std::int64_t r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

std::int64_t roundToInt(double v) {
    return std::int64_t(v < 0 ? v - 0.5 : v + 0.5);
}
}  // namespace

// A DECIMAL<B,P> is laid out as one int64 scaled value whatever B and P are, so a
// reference can read and write it knowing only its size and places.
static_assert(sizeof(DECIMAL<2>) == sizeof(std::int64_t));
static_assert(sizeof(DECIMAL<9, 2>) == sizeof(std::int64_t));

Value FieldRef::get() const {
    MaybeLock l(guard);
    switch (kind) {
        case Kind::Byte:
            return Value(int(*static_cast<const BYTE*>(ptr)));
        case Kind::Short:
            return Value(int(*static_cast<const SHORT*>(ptr)));
        case Kind::Long:
            return Value(int(*static_cast<const LONG*>(ptr)));
        case Kind::Date:
            return Value(int(static_cast<const DATE*>(ptr)->day()));
        case Kind::Real:
            return Value(*static_cast<const REAL*>(ptr));
        case Kind::Decimal: {
            std::int64_t s;
            std::memcpy(&s, ptr, sizeof s);
            if (places == 0)
                return Value(s);
            return Value(double(s) / double(pow10(places)));
        }
        case Kind::String: {
            const auto* p = static_cast<const char16_t*>(ptr);
            return Value(QStringView(p, size));
        }
        case Kind::CString: {
            const auto* p = static_cast<const char16_t*>(ptr);
            int n = 0;
            while (n < size && p[n] != 0)
                ++n;
            return Value(QStringView(p, n));
        }
    }
    return {};
}

void FieldRef::set(const Value& v) const {
    MaybeLock l(guard);
    switch (kind) {
        case Kind::Byte:
            *static_cast<BYTE*>(ptr) = BYTE(v.isText() ? roundToInt(v.toReal()) : v.toInt());
            return;
        case Kind::Short:
            *static_cast<SHORT*>(ptr) = SHORT(v.isText() ? roundToInt(v.toReal()) : v.toInt());
            return;
        case Kind::Long:
            *static_cast<LONG*>(ptr) =
                LONG(v.type() == Value::Type::Integer ? v.toInt() : roundToInt(v.toReal()));
            return;
        case Kind::Date:
            *static_cast<DATE*>(ptr) =
                DATE(LONG(v.type() == Value::Type::Integer ? v.toInt() : roundToInt(v.toReal())));
            return;
        case Kind::Real:
            *static_cast<REAL*>(ptr) = v.toReal();
            return;
        case Kind::Decimal: {
            const std::int64_t lim = pow10(2 * size - 1);
            std::int64_t s = v.type() == Value::Type::Integer && places == 0
                                 ? v.toInt()
                                 : roundToInt(v.toReal() * double(pow10(places)));
            s %= lim;
            std::memcpy(ptr, &s, sizeof s);
            return;
        }
        case Kind::String:
            rt::assignFixed(static_cast<char16_t*>(ptr), size, v.toText());
            return;
        case Kind::CString:
            rt::assignZeroTerminated(static_cast<char16_t*>(ptr), size, v.toText());
            return;
    }
}

void FieldRef::clear() const {
    MaybeLock l(guard);
    switch (kind) {
        case Kind::String:
            for (int i = 0; i < size; ++i)
                static_cast<char16_t*>(ptr)[i] = u' ';
            return;
        case Kind::CString:
            std::memset(ptr, 0, size_t(size) * sizeof(char16_t));
            return;
        case Kind::Byte:
            *static_cast<BYTE*>(ptr) = 0;
            return;
        case Kind::Short:
            *static_cast<SHORT*>(ptr) = 0;
            return;
        case Kind::Long:
        case Kind::Date:
            *static_cast<LONG*>(ptr) = 0;
            return;
        case Kind::Real:
            *static_cast<REAL*>(ptr) = 0;
            return;
        case Kind::Decimal: {
            std::int64_t z = 0;
            std::memcpy(ptr, &z, sizeof z);
            return;
        }
    }
}
