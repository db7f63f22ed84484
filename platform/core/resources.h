#pragma once
// Declarations of windows, menus and reports are resources: one JSON file per
// window module, embedded into the program (":/resources/<module>.json") and
// opened by module and label, e.g. module "kaldor$kaldo001", label "P1$APPFRAME".
//
// A module file:
//   { "module": "kaldo001",
//     "windows": { "<label>": { ...window declaration... } },
//     "reports": { "<label>": { ...report declaration... } } }
//
// Icons are resources too (":/icons/<name>"), found whatever the case of the name.

#include <QJsonObject>
#include <QString>
#include <QStringView>

namespace rt {

// The module part of "program$module" ("kaldor$kaldo001" -> "kaldo001"); a name
// without "$" is the module itself. Lower case.
QString moduleName(QStringView name);

// The declaration of `label` in `section` ("windows" or "reports") of a module.
// An empty object when the module or the label does not exist; *error then says
// which.
QJsonObject declaration(QStringView module, QStringView section, QStringView label,
                        QString* error = nullptr);

// Extra folders searched before the embedded resources (tests put their own
// declarations there), the last added first. Any thread may add one.
void addResourceFolder(const QString& folder);

// The resource path of an icon by its program name ("~adr1.ico", "OSGeo4W.ico");
// empty when there is no such icon. The leading "~" (icon carried in the
// program) is dropped.
QString iconPath(QStringView name);

}  // namespace rt
