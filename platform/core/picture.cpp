#include "picture.h"

#include <QDate>
#include <QHash>
#include <QLocale>
#include <QTime>
#include <cmath>
#include <memory>
#include <mutex>

namespace {

QString msgNotNumber() {
    return QStringLiteral("Введите число");
}
QString msgTooWide(int w) {
    return QStringLiteral("Число не помещается в %1 знаков").arg(w);
}
QString msgBadDate() {
    return QStringLiteral("Неверная дата");
}
QString msgBadTime() {
    return QStringLiteral("Неверное время");
}

// Reads a run of decimal digits starting at *i.
int readInt(QStringView s, int* i) {
    int v = 0;
    while (*i < s.size() && s[*i].isDigit() && s[*i].unicode() < 128) {
        v = v * 10 + (s[*i].unicode() - u'0');
        if (v > 100000)
            v = 100000;  // a width that large is nonsense; keep it bounded
        ++*i;
    }
    return v;
}

QString shortDateFormat() {
    // Qt's short format sometimes has two-digit years; the register and the lists
    // show four so that a date is never ambiguous.
    QString f = rt::programLocale().dateFormat(QLocale::ShortFormat);
    if (!f.contains(QStringLiteral("yyyy")))
        f.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return f;
}

}  // namespace

namespace rt {
QLocale programLocale() {
    return QLocale(QLocale::Russian, QLocale::Russia);
}
}  // namespace rt

Picture::Picture(QStringView text) : text_(text.toString()) {
    QStringView s = text;
    if (s.size() < 2 || s[0] != u'@')
        return;
    const QChar t = s[1].toLower();
    int i = 2;
    if (t == u's') {
        if (i >= s.size() || !s[i].isDigit())
            return;
        width_ = readInt(s, &i);
        if (i != s.size() || width_ <= 0)
            return;
        type_ = Type::Text;
        return;
    }
    if (t == u'n') {
        if (i < s.size() && s[i] == u'-') {
            leadingSign_ = true;
            ++i;
        }
        if (i < s.size() && s[i] == u'_') {
            grouping_ = true;
            groupChar_ = u' ';
            ++i;
        }
        if (i >= s.size() || !s[i].isDigit())
            return;
        width_ = readInt(s, &i);
        if (i < s.size() && (s[i] == u'.' || s[i] == u'`')) {
            ++i;
            if (i >= s.size() || !s[i].isDigit())
                return;
            places_ = readInt(s, &i);
            if (places_ > 15)
                return;
        }
        if (i < s.size() && (s[i] == u'b' || s[i] == u'B')) {
            blankZero_ = true;
            ++i;
        }
        if (i != s.size() || width_ <= 0 || width_ > 40)
            return;
        type_ = Type::Number;
        return;
    }
    if (t == u'd') {
        if (i >= s.size() || !s[i].isDigit())
            return;
        form_ = readInt(s, &i);
        switch (form_) {
            case 1:
            case 2:
            case 5:
            case 6:
            case 10:
                dateSep_ = u'/';
                break;
            case 17:
            case 18:
                break;
            default:
                return;
        }
        if (i < s.size() && (s[i] == u'.' || s[i] == u'-' || s[i] == u'_' || s[i] == u' ' ||
                             s[i] == u'\'' || s[i] == u'`')) {
            const QChar m = s[i];
            dateSep_ = m == u'_' ? u' ' : (m == u'\'' || m == u'`' ? u',' : m);
            ++i;
        }
        if (i < s.size() && (s[i] == u'b' || s[i] == u'B')) {
            blankZero_ = true;
            ++i;
        }
        if (i != s.size())
            return;
        switch (form_) {
            case 1:
            case 5:
                width_ = 8;
                break;
            case 17:
                width_ = int(shortDateFormat().size());
                break;
            case 18:
                width_ = 30;
                break;
            default:
                width_ = 10;
        }
        type_ = Type::Date;
        return;
    }
    if (t == u't') {
        if (i >= s.size() || !s[i].isDigit())
            return;
        form_ = readInt(s, &i);
        if (form_ != 1 && form_ != 4 && form_ != 7 && form_ != 8)
            return;
        if (i < s.size() && (s[i] == u'b' || s[i] == u'B')) {
            blankZero_ = true;
            ++i;
        }
        if (i != s.size())
            return;
        width_ = form_ == 4 || form_ == 8 ? 8 : 5;
        type_ = Type::Time;
        return;
    }
    if (t == u'p') {
        // @p<pattern>p : the last "p" closes the pattern.
        const int close = int(s.size()) - 1;
        if (close <= i || s[close].toLower() != u'p')
            return;
        pattern_ = s.mid(i, close - i).toString();
        width_ = int(pattern_.size());
        if (pattern_.isEmpty())
            return;
        type_ = Type::Pattern;
        return;
    }
}

const Picture& Picture::of(QStringView text) {
    // Every cell of every list row is formatted through a picture: a per-thread
    // cache keeps the common case free of locks.
    thread_local QHash<QString, const Picture*> local;
    const QString key = text.toString();
    if (auto it = local.constFind(key); it != local.constEnd())
        return **it;

    static std::mutex lock;
    static QHash<QString, std::shared_ptr<const Picture>> shared;
    const Picture* p;
    {
        std::lock_guard<std::mutex> l(lock);
        auto& slot = shared[key];
        if (!slot)
            slot = std::make_shared<const Picture>(text);
        p = slot.get();
    }
    local.insert(key, p);
    return *p;
}

QString Picture::format(const Value& v) const {
    return format(v, false);
}

QString Picture::formatWhole(const Value& v) const {
    return format(v, true);
}

QString Picture::format(const Value& v, bool whole) const {
    switch (type_) {
        case Type::Invalid:
            return v.toText();
        case Type::Text: {
            QString t = v.toText();
            if (t.size() > width_)
                t.truncate(width_);
            t.truncate(rt::clippedLength(t));
            return t;
        }
        case Type::Number: {
            const double d = v.toReal();
            const double scale = std::pow(10.0, places_);
            const double r = std::round(d * scale) / scale;
            if (r == 0.0 && blankZero_)
                return {};
            const bool neg = r < 0;
            const double mag = std::fabs(r);
            QString digits = QString::number(mag, 'f', places_);
            QString intPart = digits;
            QString frac;
            if (places_ > 0) {
                const int dot = int(digits.indexOf(u'.'));
                intPart = digits.left(dot);
                frac = digits.mid(dot + 1);
            }
            if (grouping_ && intPart.size() > 3) {
                QString g;
                const int n = int(intPart.size());
                for (int k = 0; k < n; ++k) {
                    if (k > 0 && (n - k) % 3 == 0)
                        g += groupChar_;
                    g += intPart[k];
                }
                intPart = g;
            }
            QString out = (neg ? QStringLiteral("-") : QString()) + intPart;
            if (places_ > 0)
                out += pointChar_ + frac;
            if (out.size() > width_ && !whole)
                return QString(width_, u'#');
            return out;
        }
        case Type::Date: {
            const LONG day = LONG(v.toInt());
            int y, m, dd;
            if (!rt::calendarDate(day, &y, &m, &dd))
                return {};
            // Built by hand: dates fill two columns of every document list row.
            char16_t buf[10];
            auto put2 = [](char16_t* o, int n) {
                o[0] = char16_t(u'0' + n / 10 % 10);
                o[1] = char16_t(u'0' + n % 10);
            };
            auto put4 = [](char16_t* o, int n) {
                o[0] = char16_t(u'0' + n / 1000 % 10);
                o[1] = char16_t(u'0' + n / 100 % 10);
                o[2] = char16_t(u'0' + n / 10 % 10);
                o[3] = char16_t(u'0' + n % 10);
            };
            const char16_t sep = dateSep_.unicode();
            switch (form_) {
                case 1:
                case 5:
                    put2(buf, form_ == 1 ? m : dd);
                    buf[2] = sep;
                    put2(buf + 3, form_ == 1 ? dd : m);
                    buf[5] = sep;
                    put2(buf + 6, y % 100);
                    return QString(reinterpret_cast<const QChar*>(buf), 8);
                case 2:
                case 6:
                    put2(buf, form_ == 2 ? m : dd);
                    buf[2] = sep;
                    put2(buf + 3, form_ == 2 ? dd : m);
                    buf[5] = sep;
                    put4(buf + 6, y);
                    return QString(reinterpret_cast<const QChar*>(buf), 10);
                case 10:
                    put4(buf, y);
                    buf[4] = sep;
                    put2(buf + 5, m);
                    buf[7] = sep;
                    put2(buf + 8, dd);
                    return QString(reinterpret_cast<const QChar*>(buf), 10);
                case 17:
                    return rt::programLocale().toString(QDate(y, m, dd), shortDateFormat());
                case 18:
                    return rt::programLocale().toString(QDate(y, m, dd), QLocale::LongFormat);
            }
            return {};
        }
        case Type::Time: {
            const std::int64_t t = v.toInt();
            if (t <= 0 || t > 8640000)
                return {};
            const QTime tm = QTime(0, 0).addMSecs(int((t - 1) * 10));
            switch (form_) {
                case 1:
                    return tm.toString(QStringLiteral("HH:mm"));
                case 4:
                    return tm.toString(QStringLiteral("HH:mm:ss"));
                case 7:
                    return rt::programLocale().toString(tm, QLocale::ShortFormat);
                case 8:
                    return rt::programLocale().toString(tm, QLocale::LongFormat);
            }
            return {};
        }
        case Type::Pattern: {
            std::int64_t n = v.toInt();
            const bool neg = n < 0;
            if (neg)
                n = -n;
            QString digits = QString::number(n);
            int digitPlaces = 0;
            for (QChar c : pattern_) {
                if (c == u'<' || c == u'#')
                    ++digitPlaces;
            }
            // Digits beyond the picture's places go whole before the first place.
            QString surplus;
            if (digits.size() > digitPlaces) {
                if (!whole)
                    return QString(width_, u'#');
                surplus = digits.left(digits.size() - digitPlaces);
                digits = digits.right(digitPlaces);
            }
            // Fill digit places from the right.
            QString out = pattern_;
            int di = int(digits.size()) - 1;
            for (int k = int(out.size()) - 1; k >= 0; --k) {
                const QChar c = out[k];
                if (c != u'<' && c != u'#')
                    continue;
                if (di >= 0) {
                    out[k] = digits[di--];
                } else {
                    out[k] = c == u'#' ? QChar(u'0') : QChar(u' ');
                }
            }
            // Separators inside a suppressed run go blank with it.
            bool seenDigit = false;
            for (int k = 0; k < out.size(); ++k) {
                const QChar pc = pattern_[k];
                if (pc == u'<' || pc == u'#') {
                    if (out[k] != u' ')
                        seenDigit = true;
                } else if (!seenDigit && k + 1 < out.size() && out[k + 1] == u' ') {
                    out[k] = u' ';
                }
            }
            if (!surplus.isEmpty()) {
                int first = 0;
                while (first < pattern_.size() && pattern_[first] != u'<' &&
                       pattern_[first] != u'#')
                    ++first;
                out.insert(first, surplus);
            }
            if (neg)
                out = u'-' + out.trimmed();
            return out;
        }
    }
    return {};
}

bool Picture::parse(QStringView text, Value* out, QString* error) const {
    auto fail = [&](const QString& m) {
        if (error)
            *error = m;
        return false;
    };
    const QString t = text.toString().trimmed();
    switch (type_) {
        case Type::Invalid:
            *out = Value(t);
            return true;
        case Type::Text: {
            QString s = text.toString();
            s.truncate(rt::clippedLength(s));
            if (s.size() > width_) {
                return fail(QStringLiteral("Текст длиннее %1 знаков").arg(width_));
            }
            *out = Value(s);
            return true;
        }
        case Type::Number: {
            if (t.isEmpty()) {
                *out = Value(0);
                return true;
            }
            QString s;
            for (QChar c : t) {
                if (c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F) || c == u'\'')
                    continue;
                s += c == u',' ? QChar(u'.') : c;
            }
            // The user may type the sign at either end.
            bool neg = false;
            if (s.startsWith(u'-')) {
                neg = true;
                s.remove(0, 1);
            } else if (s.endsWith(u'-')) {
                neg = true;
                s.chop(1);
            } else if (s.startsWith(u'+')) {
                s.remove(0, 1);
            }
            if (s.isEmpty())
                return fail(msgNotNumber());
            int dots = 0;
            for (QChar c : s) {
                if (c == u'.') {
                    ++dots;
                } else if (!(c.unicode() >= u'0' && c.unicode() <= u'9')) {
                    return fail(msgNotNumber());
                }
            }
            if (dots > 1 || s == u".")
                return fail(msgNotNumber());
            const int dot = int(s.indexOf(u'.'));
            const QString intDigits = dot < 0 ? s : s.left(dot);
            QString frac = dot < 0 ? QString() : s.mid(dot + 1);
            if (frac.size() > places_) {
                return fail(places_ == 0
                                ? QStringLiteral("Введите целое число")
                                : QStringLiteral("Не более %1 знаков после запятой").arg(places_));
            }
            // The digits must fit the picture as it would show them.
            int shownInt = int(intDigits.size());
            QString stripped = intDigits;
            while (stripped.size() > 1 && stripped.startsWith(u'0'))
                stripped.remove(0, 1);
            shownInt = int(stripped.size());
            int shown = shownInt + (grouping_ ? (shownInt - 1) / 3 : 0) + (neg ? 1 : 0) +
                        (places_ > 0 ? places_ + 1 : 0);
            if (shown > width_)
                return fail(msgTooWide(width_));
            bool ok = false;
            const double d = s.toDouble(&ok);
            if (!ok)
                return fail(msgNotNumber());
            if (places_ == 0) {
                *out = Value(std::int64_t(neg ? -d : d));
            } else {
                *out = Value(neg ? -d : d);
            }
            return true;
        }
        case Type::Date: {
            if (t.isEmpty()) {
                *out = Value(0);
                return true;
            }
            QDate date;
            if (form_ == 17 || form_ == 18) {
                date = rt::programLocale().toDate(t, shortDateFormat());
                if (!date.isValid())
                    date = rt::programLocale().toDate(t, QLocale::ShortFormat);
                if (!date.isValid())
                    date = rt::programLocale().toDate(t, QLocale::LongFormat);
            }
            if (!date.isValid()) {
                // Three numbers split by any of . / - or blanks.
                QList<int> parts;
                QString cur;
                for (QChar c : t) {
                    if (c.isDigit() && c.unicode() < 128) {
                        cur += c;
                    } else if (c == u'.' || c == u'/' || c == u'-' || c == u' ' || c == u',') {
                        if (!cur.isEmpty()) {
                            if (cur.size() > 4)
                                return fail(msgBadDate());
                            parts << cur.toInt();
                            cur.clear();
                        }
                    } else {
                        return fail(msgBadDate());
                    }
                }
                if (!cur.isEmpty()) {
                    if (cur.size() > 4)
                        return fail(msgBadDate());
                    parts << cur.toInt();
                }
                if (parts.size() != 3)
                    return fail(msgBadDate());
                int y, m, d;
                switch (form_) {
                    case 1:
                    case 2:
                        m = parts[0], d = parts[1], y = parts[2];
                        break;
                    case 10:
                        y = parts[0], m = parts[1], d = parts[2];
                        break;
                    default:
                        d = parts[0], m = parts[1], y = parts[2];
                }
                if (y < 100) {
                    // Two-digit years: the nearest century that keeps the date
                    // no more than 20 years in the future.
                    const int now = QDate::currentDate().year();
                    const int century = now / 100 * 100;
                    y += century;
                    if (y > now + 20)
                        y -= 100;
                }
                date = QDate(y, m, d);
            }
            if (!date.isValid())
                return fail(msgBadDate());
            const LONG n = rt::dayNumber(date.year(), date.month(), date.day());
            if (n == 0)
                return fail(msgBadDate());
            *out = Value(int(n));
            return true;
        }
        case Type::Time: {
            if (t.isEmpty()) {
                *out = Value(0);
                return true;
            }
            QTime tm = rt::programLocale().toTime(t, QLocale::ShortFormat);
            if (!tm.isValid())
                tm = QTime::fromString(t, QStringLiteral("H:mm:ss"));
            if (!tm.isValid())
                tm = QTime::fromString(t, QStringLiteral("H:mm"));
            if (!tm.isValid())
                tm = QTime::fromString(t, QStringLiteral("H.mm"));
            if (!tm.isValid())
                return fail(msgBadTime());
            *out = Value(int(tm.msecsSinceStartOfDay() / 10 + 1));
            return true;
        }
        case Type::Pattern: {
            QString digits;
            for (QChar c : t) {
                if (c.isDigit() && c.unicode() < 128) {
                    digits += c;
                } else if (c != u' ' && !pattern_.contains(c)) {
                    return fail(msgNotNumber());
                }
            }
            if (digits.isEmpty()) {
                *out = Value(0);
                return true;
            }
            int digitPlaces = 0;
            for (QChar c : pattern_) {
                if (c == u'<' || c == u'#')
                    ++digitPlaces;
            }
            if (digits.size() > digitPlaces)
                return fail(msgTooWide(digitPlaces));
            *out = Value(digits.toLongLong());
            return true;
        }
    }
    return fail(QStringLiteral("Неверный шаблон"));
}

QString FORMAT(const Value& v, QStringView picture) {
    return Picture::of(picture).format(v);
}

Value DEFORMAT(QStringView text, QStringView picture, bool* ok) {
    Value out;
    const bool good = Picture::of(picture).parse(text, &out, nullptr);
    if (ok)
        *ok = good;
    return good ? out : Value(text);
}
