#include "resources.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QStringList>
#include <mutex>

namespace rt {

namespace {
// The extra folders, newest first. Read only through folderList(): the list
// is shared by every thread (procedure threads load declarations, the GUI
// thread looks up icons), and a copy taken under the lock stays whole while
// another thread adds a folder. The copy has storage of its own: shared
// storage, once the reader has let it go, is changed in place by the next
// folder added, without anything that orders it after the reader's last look.
std::mutex gFolderLock;
QStringList& folders() {
    static QStringList f;
    return f;
}
QStringList folderList() {
    std::lock_guard<std::mutex> l(gFolderLock);
    return QStringList(folders().cbegin(), folders().cend());
}

std::mutex gCacheLock;
std::mutex gIconLock;
QHash<QString, QString>& iconIndex() {  // lower-case name -> path
    static QHash<QString, QString> index;
    return index;
}
QHash<QString, QJsonObject>& cache() {
    static QHash<QString, QJsonObject> c;
    return c;
}

bool loadModule(const QString& module, QJsonObject* out, QString* error) {
    {
        std::lock_guard<std::mutex> l(gCacheLock);
        auto it = cache().constFind(module);
        if (it != cache().constEnd()) {
            *out = *it;
            return true;
        }
    }
    QStringList candidates;
    const QStringList dirs = folderList();
    for (const QString& f : dirs)
        candidates << f + u'/' + module + QStringLiteral(".json");
    candidates << QStringLiteral(":/resources/") + module + QStringLiteral(".json");
    for (const QString& path : candidates) {
        QFile file(path);
        if (!file.exists())
            continue;
        if (!file.open(QIODevice::ReadOnly)) {
            if (error)
                *error = QStringLiteral("cannot read %1").arg(path);
            return false;
        }
        QJsonParseError pe;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &pe);
        if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
            if (error) {
                *error = QStringLiteral("%1: %2 at offset %3")
                             .arg(path, pe.errorString())
                             .arg(pe.offset);
            }
            return false;
        }
        *out = doc.object();
        std::lock_guard<std::mutex> l(gCacheLock);
        cache().insert(module, *out);
        return true;
    }
    if (error)
        *error = QStringLiteral("no resource module \"%1\"").arg(module);
    return false;
}
}  // namespace

QString moduleName(QStringView name) {
    const qsizetype d = name.lastIndexOf(u'$');
    return (d < 0 ? name : name.mid(d + 1)).toString().toLower();
}

QJsonObject declaration(QStringView module, QStringView section, QStringView label,
                        QString* error) {
    QJsonObject m;
    const QString mod = moduleName(module);
    if (!loadModule(mod, &m, error))
        return {};
    const QJsonObject sec = m.value(section.toString()).toObject();
    // Labels are matched without regard to case, as the declarations name them.
    for (auto it = sec.begin(); it != sec.end(); ++it) {
        if (it.key().compare(label.toString(), Qt::CaseInsensitive) == 0)
            return it.value().toObject();
    }
    if (error) {
        *error = QStringLiteral("module \"%1\" has no %2 \"%3\"")
                     .arg(mod, section.toString(), label.toString());
    }
    return {};
}

void addResourceFolder(const QString& folder) {
    {
        // A folder added again moves to the front rather than being searched twice.
        std::lock_guard<std::mutex> l(gFolderLock);
        folders().removeAll(folder);
        folders().prepend(folder);
    }
    {
        std::lock_guard<std::mutex> l(gCacheLock);
        cache().clear();
    }
    std::lock_guard<std::mutex> l(gIconLock);
    iconIndex().clear();
}

QString iconPath(QStringView name) {
    QString n = name.toString().trimmed();
    if (n.startsWith(u'~'))
        n.remove(0, 1);
    if (n.isEmpty())
        return {};
    std::lock_guard<std::mutex> l(gIconLock);
    QHash<QString, QString>& index = iconIndex();
    if (index.isEmpty()) {
        QStringList dirs = folderList();
        for (QString& d : dirs)
            d += QStringLiteral("/icons");
        dirs << QStringLiteral(":/icons");
        for (const QString& d : dirs) {
            for (const QString& e : QDir(d).entryList(QDir::Files)) {
                const QString key = e.toLower();
                if (!index.contains(key))
                    index.insert(key, d + u'/' + e);
            }
        }
    }
    const QString key = n.toLower();
    if (auto it = index.constFind(key); it != index.constEnd())
        return *it;
    // An icon may be carried as .png or .svg under the name the program uses.
    const QString stem = key.section(u'.', 0, -2).isEmpty() ? key : key.section(u'.', 0, -2);
    for (const char* ext : {".svg", ".png"}) {
        if (auto it = index.constFind(stem + QLatin1String(ext)); it != index.constEnd())
            return *it;
    }
    return {};
}

}  // namespace rt
