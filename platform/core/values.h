#pragma once
// The value types of the runtime: fixed-width blank-padded text, zero-terminated
// text, packed decimals, day-number dates, and the generic Value that carries any
// of them between tables, queues, pictures and windows.
//
// Text is held as UTF-16 code units and sized in characters, never in bytes:
// Russian text is the common case and a STRING<60> holds sixty Cyrillic letters.

#include <QString>
#include <QStringView>
#include <compare>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <type_traits>

using BYTE = std::uint8_t;
using SHORT = std::int16_t;
using LONG = std::int32_t;
using REAL = double;

namespace rt {

// Blank-pads or cuts `src` into exactly `n` code units at `dst`. A cut never leaves
// half of a surrogate pair behind.
void assignFixed(char16_t* dst, int n, QStringView src);
// Copies at most n-1 code units and fills the rest with NULs.
void assignZeroTerminated(char16_t* dst, int n, QStringView src);
// Length of `s` without its trailing blanks.
int clippedLength(QStringView s);
// Compares two texts as the runtime does: trailing blanks are ignored, case counts.
int compareText(QStringView a, QStringView b);

// The runtime's reading of text as a number: leading blanks skipped, an optional
// sign, digits with an optional decimal point (or comma) and exponent, up to the
// first other character. Text that does not begin so reads as 0.
double textToNumber(QStringView text);

}  // namespace rt

// Removes trailing blanks.
QString CLIP(QStringView s);
// Unicode upper case ("закон" becomes "ЗАКОН").
QString UPPER(QStringView s);
// Unicode lower case.
QString LOWER(QStringView s);

// ---------------------------------------------------------------------------
// STRING<N>: exactly N characters, blank-padded on assignment, cut at N.
template <int N>
class STRING {
    static_assert(N > 0, "a STRING holds at least one character");

  public:
    STRING() { clear(); }
    STRING(QStringView s) { rt::assignFixed(d_, N, s); }  // NOLINT: implicit on purpose
    STRING(const QString& s) { rt::assignFixed(d_, N, s); }
    STRING(const char16_t* s) { rt::assignFixed(d_, N, QStringView(s)); }
    STRING(const char* utf8) { rt::assignFixed(d_, N, QString::fromUtf8(utf8)); }
    template <int M>
    STRING(const STRING<M>& o) {
        rt::assignFixed(d_, N, o.view());
    }

    STRING& operator=(QStringView s) {
        rt::assignFixed(d_, N, s);
        return *this;
    }
    STRING& operator=(const QString& s) { return *this = QStringView(s); }
    STRING& operator=(const char16_t* s) { return *this = QStringView(s); }
    STRING& operator=(const char* utf8) { return *this = QString::fromUtf8(utf8); }
    template <int M>
    STRING& operator=(const STRING<M>& o) {
        if (static_cast<const void*>(&o) != static_cast<const void*>(this)) {
            rt::assignFixed(d_, N, o.view());
        }
        return *this;
    }

    void clear() {
        for (char16_t& c : d_)
            c = u' ';
    }
    static constexpr int size() { return N; }
    // All N characters, trailing blanks included.
    QStringView view() const { return QStringView(d_, N); }
    QString str() const { return view().toString(); }
    // The text without trailing blanks.
    QString clip() const {
        return QString(reinterpret_cast<const QChar*>(d_), rt::clippedLength(view()));
    }
    bool blank() const { return rt::clippedLength(view()) == 0; }
    operator QString() const { return str(); }  // NOLINT: implicit on purpose

    char16_t* data() { return d_; }
    const char16_t* data() const { return d_; }

    friend bool operator==(const STRING& a, QStringView b) {
        return rt::compareText(a.view(), b) == 0;
    }
    friend bool operator==(const STRING& a, const QString& b) { return a == QStringView(b); }
    friend bool operator==(const STRING& a, const char16_t* b) { return a == QStringView(b); }
    template <int M>
    friend bool operator==(const STRING& a, const STRING<M>& b) {
        return rt::compareText(a.view(), b.view()) == 0;
    }
    template <int M>
    friend std::strong_ordering operator<=>(const STRING& a, const STRING<M>& b) {
        return rt::compareText(a.view(), b.view()) <=> 0;
    }

  private:
    char16_t d_[N];
};

// ---------------------------------------------------------------------------
// CSTRING<N>: zero-terminated, at most N-1 characters; unused places hold NULs.
template <int N>
class CSTRING {
    static_assert(N > 1, "a CSTRING holds its terminator and at least one character");

  public:
    CSTRING() { clear(); }
    CSTRING(QStringView s) { rt::assignZeroTerminated(d_, N, s); }  // NOLINT
    CSTRING(const QString& s) { rt::assignZeroTerminated(d_, N, s); }
    CSTRING(const char16_t* s) { rt::assignZeroTerminated(d_, N, QStringView(s)); }
    CSTRING(const char* utf8) { rt::assignZeroTerminated(d_, N, QString::fromUtf8(utf8)); }

    CSTRING& operator=(QStringView s) {
        rt::assignZeroTerminated(d_, N, s);
        return *this;
    }
    CSTRING& operator=(const QString& s) { return *this = QStringView(s); }
    CSTRING& operator=(const char16_t* s) { return *this = QStringView(s); }
    CSTRING& operator=(const char* utf8) { return *this = QString::fromUtf8(utf8); }
    template <int M>
    CSTRING& operator=(const STRING<M>& o) {
        return *this = o.view();
    }

    void clear() { std::memset(d_, 0, sizeof d_); }
    static constexpr int capacity() { return N - 1; }
    int length() const {
        int n = 0;
        while (n < N && d_[n] != 0)
            ++n;
        return n;
    }
    QStringView view() const { return QStringView(d_, length()); }
    QString str() const { return view().toString(); }
    QString clip() const { return CLIP(view()); }
    bool empty() const { return d_[0] == 0; }
    operator QString() const { return str(); }  // NOLINT

    char16_t* data() { return d_; }
    const char16_t* data() const { return d_; }

    friend bool operator==(const CSTRING& a, QStringView b) {
        return rt::compareText(a.view(), b) == 0;
    }
    friend bool operator==(const CSTRING& a, const QString& b) { return a == QStringView(b); }
    friend bool operator==(const CSTRING& a, const char16_t* b) { return a == QStringView(b); }

  private:
    char16_t d_[N];
};

// ---------------------------------------------------------------------------
// DECIMAL<Bytes, Places>: a packed decimal of `Bytes` bytes, holding 2*Bytes-1
// digits of which `Places` follow the decimal point. Kept as a scaled integer.
template <int Bytes, int Places = 0>
class DECIMAL {
    static_assert(Bytes >= 1 && Bytes <= 9 && Places >= 0 && Places < 2 * Bytes - 1);

  public:
    static constexpr int digits = 2 * Bytes - 1;
    static constexpr int places = Places;
    static constexpr std::int64_t limit() {
        std::int64_t l = 1;
        for (int i = 0; i < digits; ++i)
            l *= 10;
        return l;  // exclusive bound of the scaled value's magnitude
    }
    static constexpr std::int64_t scale() {
        std::int64_t s = 1;
        for (int i = 0; i < Places; ++i)
            s *= 10;
        return s;
    }

    constexpr DECIMAL() = default;
    DECIMAL(double v) { set(v); }  // NOLINT
    DECIMAL(int v) { setScaled(std::int64_t(v) * scale()); }
    DECIMAL(std::int64_t v) { setScaled(v * scale()); }

    DECIMAL& operator=(double v) {
        set(v);
        return *this;
    }
    DECIMAL& operator=(int v) {
        setScaled(std::int64_t(v) * scale());
        return *this;
    }
    DECIMAL& operator=(std::int64_t v) {
        setScaled(v * scale());
        return *this;
    }

    // Only the low-order digits that fit are kept, as a packed field keeps them.
    void setScaled(std::int64_t s) { scaled_ = s % limit(); }
    std::int64_t scaled() const { return scaled_; }
    double toDouble() const { return double(scaled_) / double(scale()); }
    std::int64_t toInt() const { return scaled_ / scale(); }
    operator double() const { return toDouble(); }  // NOLINT

    friend auto operator<=>(const DECIMAL&, const DECIMAL&) = default;

  private:
    void set(double v) {
        const double s = v * double(scale());
        setScaled(std::int64_t(s < 0 ? s - 0.5 : s + 0.5));
    }
    std::int64_t scaled_ = 0;
};

// ---------------------------------------------------------------------------
// DATE: a day number; 0 means "no date". Day 1 is 1 January 1801 and the last
// valid day is 31 December 9999.
class DATE {
  public:
    constexpr DATE() = default;
    constexpr DATE(LONG day) : day_(day) {}           // NOLINT
    constexpr operator LONG() const { return day_; }  // NOLINT
    constexpr LONG day() const { return day_; }
    bool valid() const;  // a day within the supported range

    static constexpr LONG kMaxDay = 2994623;  // 9999-12-31
  private:
    LONG day_ = 0;
};

namespace rt {
// Day number of a calendar date, or 0 when the date does not exist or lies
// outside 1801-01-01 .. 9999-12-31.
LONG dayNumber(int year, int month, int day);
// Calendar date of a day number; false for 0 and for days out of range.
bool calendarDate(LONG dayNumber, int* year, int* month, int* day);
// "yyyy-mm-dd" of a day number (how tables and saved queries keep dates);
// empty for 0 and for days out of range.
QString isoDate(LONG dayNumber);
// The day number of "yyyy-mm-dd"; 0 for any other text or a date that does
// not exist. Cheap enough to run for every date of every row read.
LONG dayOfIso(QStringView text);
}  // namespace rt

// Today's day number and the time of day (hundredths of a second since
// midnight, plus one, so that 0 can mean "no time").
LONG TODAY();
LONG CLOCK();

// ---------------------------------------------------------------------------
// Value: any runtime value, for the places where the type is known only at run
// time (queues, table fields by number, pictures, window USE variables).
class Value {
  public:
    enum class Type : std::uint8_t { Integer, Real, Text };

    Value() : type_(Type::Integer), i_(0) {}
    Value(int v) : type_(Type::Integer), i_(v) {}                         // NOLINT
    Value(std::int64_t v) : type_(Type::Integer), i_(v) {}                // NOLINT
    Value(unsigned v) : type_(Type::Integer), i_(v) {}                    // NOLINT
    Value(long long v) : type_(Type::Integer), i_(std::int64_t(v)) {}     // NOLINT
    Value(double v) : type_(Type::Real), r_(v) {}                         // NOLINT
    Value(const QString& s) : type_(Type::Text), i_(0), s_(s) {}          // NOLINT
    Value(QStringView s) : type_(Type::Text), i_(0), s_(s.toString()) {}  // NOLINT
    Value(const char16_t* s) : Value(QStringView(s)) {}                   // NOLINT
    Value(const char* utf8) : Value(QString::fromUtf8(utf8)) {}           // NOLINT
    template <int N>
    Value(const STRING<N>& s) : Value(s.view()) {}  // NOLINT
    template <int N>
    Value(const CSTRING<N>& s) : Value(s.view()) {}  // NOLINT
    template <int B, int P>
    Value(const DECIMAL<B, P>& d) {  // NOLINT
        if constexpr (P == 0) {
            type_ = Type::Integer;
            i_ = d.toInt();
        } else {
            type_ = Type::Real;
            r_ = d.toDouble();
        }
    }
    Value(DATE d) : type_(Type::Integer), i_(d.day()) {}  // NOLINT

    Type type() const { return type_; }
    bool isText() const { return type_ == Type::Text; }
    bool isNumber() const { return type_ != Type::Text; }

    // Numbers of text follow the runtime's reading rule (rt::textToNumber).
    std::int64_t toInt() const;
    double toReal() const;
    // Whole numbers are written without a decimal point; reals with the fewest
    // digits that give the value back.
    QString toText() const;
    // True for 0 and for blank text.
    bool isZeroOrBlank() const;

    // Numbers compare as numbers; a number and a text compare as numbers when the
    // text reads as a number, otherwise as texts. Texts ignore trailing blanks.
    friend int compare(const Value& a, const Value& b);
    friend bool operator==(const Value& a, const Value& b) { return compare(a, b) == 0; }
    friend bool operator<(const Value& a, const Value& b) { return compare(a, b) < 0; }

  private:
    Type type_;
    union {
        std::int64_t i_;
        double r_;
    };
    QString s_;
};

// ---------------------------------------------------------------------------
// A typed reference to a variable or record field, so that generic code (the
// table driver, queues, window controls bound to variables) can read and write
// it as a Value. A reference to a process-wide variable carries the lock that
// guards it.
enum class Kind : std::uint8_t { Byte, Short, Long, Real, Decimal, String, CString, Date };

struct FieldRef {
    Kind kind = Kind::Long;
    void* ptr = nullptr;
    int size = 0;    // characters of a STRING / CSTRING (N), bytes of a DECIMAL
    int places = 0;  // decimal places of a DECIMAL
    std::mutex* guard = nullptr;

    bool valid() const { return ptr != nullptr; }
    Value get() const;
    void set(const Value& v) const;
    // Blank or zero: the value an optional key leaves out.
    bool isZeroOrBlank() const { return get().isZeroOrBlank(); }
    bool isText() const { return kind == Kind::String || kind == Kind::CString; }
    // Clears to blanks, NULs or zero.
    void clear() const;
    // Copies the raw value of another reference of the same kind and size.
    bool sameAs(const FieldRef& o) const { return ptr == o.ptr; }
};

inline FieldRef ref(BYTE& v) {
    return {Kind::Byte, &v, 1, 0, nullptr};
}
inline FieldRef ref(SHORT& v) {
    return {Kind::Short, &v, 2, 0, nullptr};
}
inline FieldRef ref(LONG& v) {
    return {Kind::Long, &v, 4, 0, nullptr};
}
inline FieldRef ref(REAL& v) {
    return {Kind::Real, &v, 8, 0, nullptr};
}
inline FieldRef ref(DATE& v) {
    return {Kind::Date, &v, 4, 0, nullptr};
}
template <int N>
FieldRef ref(STRING<N>& v) {
    return {Kind::String, &v, N, 0, nullptr};
}
template <int N>
FieldRef ref(CSTRING<N>& v) {
    return {Kind::CString, &v, N, 0, nullptr};
}
template <int B, int P>
FieldRef ref(DECIMAL<B, P>& v) {
    return {Kind::Decimal, &v, B, P, nullptr};
}

// ---------------------------------------------------------------------------
// Shared<T>: a process-wide variable. Every thread may read and write it; each
// access is whole (a lock makes it so) and the last writer wins, which is all the
// program expects of these variables.
template <typename T>
class Shared {
  public:
    Shared() = default;
    explicit Shared(const T& v) : v_(v) {}
    template <typename U>
    explicit Shared(const U& v) : v_(v) {}

    T get() const {
        std::lock_guard<std::mutex> l(m_);
        return v_;
    }
    operator T() const { return get(); }  // NOLINT
    template <typename U>
    void set(const U& v) {
        std::lock_guard<std::mutex> l(m_);
        v_ = v;
    }
    template <typename U>
    Shared& operator=(const U& v) {
        set(v);
        return *this;
    }
    // A reference for generic code; reads and writes through it take the lock.
    FieldRef fieldRef() {
        FieldRef r = ref(v_);
        r.guard = &m_;
        return r;
    }
    // Runs f on the value under the lock (a read-modify-write in one step).
    template <typename F>
    auto with(F f) {
        std::lock_guard<std::mutex> l(m_);
        return f(v_);
    }

  private:
    mutable std::mutex m_;
    T v_{};
};

template <typename T>
FieldRef ref(Shared<T>& v) {
    return v.fieldRef();
}
