#pragma once
// Qt texts in tests: shown as text in GoogleTest's failure messages, and lists
// of them written as C strings.

#include <QString>
#include <QStringList>
#include <initializer_list>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

// The texts (UTF-8) as a list: strings({"Архив", "Трудовое право"}).
inline QStringList strings(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* s : texts)
        out << QString::fromUtf8(s);
    return out;
}
