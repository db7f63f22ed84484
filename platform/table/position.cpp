// A view's position as text (what a list keeps in its rows and a report between
// slices): the record pointer and the key values, as a JSON array.

#include <QJsonArray>
#include <QJsonDocument>

#include "table.h"

QString ViewPosition::toString() const {
    QJsonArray a;
    a.append(double(ptr));
    for (const Value& v : keys) {
        switch (v.type()) {
            case Value::Type::Text:
                a.append(v.toText());
                break;
            case Value::Type::Real:
                a.append(v.toReal());
                break;
            case Value::Type::Integer:
                a.append(double(v.toInt()));
                break;
        }
    }
    return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact));
}

ViewPosition ViewPosition::fromString(QStringView text) {
    ViewPosition p;
    const QJsonArray a = QJsonDocument::fromJson(text.toString().trimmed().toUtf8()).array();
    if (a.isEmpty())
        return p;
    p.ptr = std::int64_t(a.at(0).toDouble());
    for (int i = 1; i < a.size(); ++i) {
        const QJsonValue v = a.at(i);
        if (v.isString()) {
            p.keys.emplace_back(v.toString());
        } else {
            const double d = v.toDouble();
            if (d == double(std::int64_t(d)))
                p.keys.emplace_back(std::int64_t(d));
            else
                p.keys.emplace_back(d);
        }
    }
    return p;
}
