#include "equates.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include "ui/declaration.h"

namespace equates {

namespace {

struct Name {
    QString name;
    QString equate;
    int number;
};

bool isIdentifier(const QString& s) {
    if (s.isEmpty() || s.front().isDigit())
        return false;
    for (QChar c : s) {
        if (!(c == u'_' || (c.unicode() < 128 && c.isLetterOrNumber())))
            return false;
    }
    return true;
}

// The names of a window's controls and menu items, numbered as the runtime
// numbers them (the runtime's own parser reads the declaration).
bool namesOf(const QString& label, const QJsonObject& decl, std::vector<Name>* names,
             QString* error) {
    QString fault;
    const auto w = rt::parseWindow(decl, &fault);
    if (!w) {
        *error = QStringLiteral("window %1: %2").arg(label, fault);
        return false;
    }
    // Equates match without regard to case: two that differ only in case are
    // one control to the runtime, and one name cannot stand for both.
    QHash<QString, QString> seen;
    const auto add = [&](const QString& equate, int number) {
        if (equate.isEmpty())
            return true;
        const QString name = identifier(equate);
        if (name.isEmpty()) {
            *error = QStringLiteral("window %1: equate \"%2\" of %3 makes no C++ name")
                         .arg(label, equate)
                         .arg(number);
            return false;
        }
        const QString key = name.toUpper();
        if (seen.contains(key)) {
            *error = QStringLiteral("window %1: \"%2\" and \"%3\" are the same name %4")
                         .arg(label, seen.value(key), equate, name);
            return false;
        }
        seen.insert(key, equate);
        names->push_back({name, equate, number});
        return true;
    };
    for (const rt::ControlDecl& c : w->controls) {
        if (!add(c.equate, c.number))
            return false;
    }
    for (const rt::MenuDecl& m : w->menus) {
        if (!m.separator && !add(m.equate, m.number))
            return false;
    }
    return true;
}

QString enumOf(const std::vector<Name>& names) {
    QString out = QStringLiteral("enum : int {\n");
    for (const Name& n : names)
        out += QStringLiteral("    %1 = %2,  // %3\n").arg(n.name).arg(n.number).arg(n.equate);
    return out + QStringLiteral("};\n");
}

}  // namespace

QString identifier(QStringView equate) {
    QString s = (equate.startsWith(u'?') ? equate.mid(1) : equate).toString();
    s.replace(u':', u'_').replace(u'$', u'_');
    return isIdentifier(s) ? s : QString();
}

bool controlHeader(QStringView module, const QByteArray& json, QString* header, QString* error) {
    const QString space = identifier(module);
    if (space.isEmpty() || space != module) {
        *error = QStringLiteral("module \"%1\" makes no C++ namespace").arg(module);
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("%1 at offset %2").arg(pe.errorString()).arg(pe.offset);
        return false;
    }
    const QJsonObject windows = doc.object().value(QLatin1String("windows")).toObject();
    // One window's names stand in the module's namespace; several windows may
    // each have an ?OK of their own, so each has a namespace.
    const bool nested = windows.size() > 1;
    QString body;
    QStringList spaces;
    for (auto it = windows.begin(); it != windows.end(); ++it) {
        std::vector<Name> names;
        if (!namesOf(it.key(), it.value().toObject(), &names, error))
            return false;
        if (!nested) {
            body += QStringLiteral("\n// Window %1\n").arg(it.key()) + enumOf(names);
            continue;
        }
        const QString inner = identifier(it.key());
        if (inner.isEmpty() || spaces.contains(inner, Qt::CaseInsensitive)) {
            *error = QStringLiteral("window %1 makes no namespace of its own").arg(it.key());
            return false;
        }
        spaces << inner;
        body += QStringLiteral("\n// Window %1\nnamespace %2 {\n").arg(it.key(), inner) +
                enumOf(names) + QStringLiteral("}  // namespace %1\n").arg(inner);
    }
    *header = QStringLiteral(
                  "// The control numbers of module %1, made from %1.json when the program is\n"
                  "// built: change the declaration, never this file.\n"
                  "#pragma once\n\nnamespace %1 {\n")
                  .arg(space) +
              body + QStringLiteral("\n}  // namespace %1\n").arg(space);
    return true;
}

}  // namespace equates
