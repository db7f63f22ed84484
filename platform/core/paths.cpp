#include "paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace rt {

namespace {

QString dataHome() {
    const QByteArray xdg = qgetenv("XDG_DATA_HOME");
    if (!xdg.isEmpty())
        return QString::fromLocal8Bit(xdg);
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// Finds `name` inside `dir` whatever its case; returns the name as it is on
// disk, or `name` itself when nothing matches.
QString matchCase(const QString& dir, const QString& name) {
    if (name.isEmpty() || name == u"." || name == u"..")
        return name;
    const QString exact = dir.isEmpty() || dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
    if (QFileInfo::exists(exact))
        return name;
    QDir d(dir.isEmpty() ? QStringLiteral("/") : dir);
    if (!d.exists())
        return name;
    const QStringList entries =
        d.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return e;
    }
    // Case folding catches what a simple case-insensitive compare misses.
    const QString folded = name.toCaseFolded();
    for (const QString& e : entries) {
        if (e.toCaseFolded() == folded)
            return e;
    }
    return name;
}

// Rebuilds an absolute path part by part, each part in the case found on disk.
QString resolveCase(const QString& absolute) {
    if (QFileInfo::exists(absolute))
        return absolute;
    const bool trailing = absolute.endsWith(u'/') && absolute.size() > 1;
    const QStringList parts = absolute.split(u'/', Qt::SkipEmptyParts);
    QString out;
    bool onDisk = true;
    for (const QString& p : parts) {
        const QString found = onDisk ? matchCase(out.isEmpty() ? QStringLiteral("/") : out, p) : p;
        out += u'/' + found;
        if (onDisk && !QFileInfo::exists(out))
            onDisk = false;
    }
    if (out.isEmpty())
        out = QStringLiteral("/");
    if (trailing)
        out += u'/';
    return out;
}

}  // namespace

QString driveFolder(QChar letter) {
    const QChar up = letter.toUpper();
    const QByteArray var = QByteArray("KALDOR_DRIVE_") + char(up.toLatin1());
    const QByteArray over = qgetenv(var.constData());
    QString folder = over.isEmpty() ? dataHome() + QStringLiteral("/kaldor/drive_") + up.toLower()
                                    : QString::fromLocal8Bit(over);
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

QString nativePath(QStringView programName) {
    QString name = programName.toString();
    // Names come from fixed-width fields: trailing blanks are not part of them.
    while (name.endsWith(u' '))
        name.chop(1);
    if (name.isEmpty())
        return {};

    QString absolute;
    if (name.startsWith(u'/')) {
        absolute = name;
    } else {
        name.replace(u'\\', u'/');
        if (name.size() >= 2 && name[1] == u':' && name[0].isLetter() && name[0].unicode() < 128) {
            QString rest = name.mid(2);
            while (rest.startsWith(u'/'))
                rest.remove(0, 1);
            absolute = driveFolder(name[0]) + u'/' + rest;
        } else if (name.startsWith(QStringLiteral("//"))) {
            // A network name keeps its server and share as folders of their own.
            absolute = dataHome() + QStringLiteral("/kaldor/network") + name.mid(1);
        } else if (name.startsWith(u'/')) {
            absolute = driveFolder(u'C') + name;
        } else {
            absolute = QDir::currentPath() + u'/' + name;
        }
    }
    // Collapse "//" but keep a trailing separator, which says "a folder".
    const bool trailing = absolute.endsWith(u'/');
    QString clean = QDir::cleanPath(absolute);
    if (trailing && !clean.endsWith(u'/'))
        clean += u'/';
    return resolveCase(clean);
}

QString programFolder(QStringView nativeFolder) {
    QString f = nativeFolder.toString();
    if (!f.endsWith(u'/'))
        f += u'/';
    return f;
}

QString programPath(QStringView nativeName) {
    const QString path = nativeName.toString();
    if (!path.startsWith(u'/'))
        return path;
    const bool trailing = path.endsWith(u'/') && path.size() > 1;
    const QString clean = QDir::cleanPath(path);
    // The rest of `p` inside `folder`, or a null text when it is not inside.
    auto inside = [](const QString& p, const QString& folder) {
        if (folder.isEmpty())
            return QString();
        if (p == folder)
            return QStringLiteral("");
        const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
        return p.startsWith(prefix) ? p.mid(prefix.size()) : QString();
    };
    // The drive whose folder holds the path most closely (a drive may be mapped
    // inside another's folder); through links too, as the file dialog may
    // give the path by another way than the drive's folder names.
    const QString real = QFileInfo(clean).canonicalFilePath();
    QChar drive;
    QString rest;
    int depth = -1;
    for (char16_t l = u'a'; l <= u'z'; ++l) {
        const QString folder = QDir::cleanPath(driveFolder(QChar(l)));
        QString r = inside(clean, folder);
        if (r.isNull() && !real.isEmpty())
            r = inside(real, QFileInfo(folder).canonicalFilePath());
        if (!r.isNull() && int(folder.size()) > depth) {
            drive = QChar(l);
            rest = r;
            depth = int(folder.size());
        }
    }
    if (drive.isNull())
        return path;
    QString out = QString(drive) + QStringLiteral(":\\") + rest.replace(u'/', u'\\');
    if (trailing && !out.endsWith(u'\\'))
        out += u'\\';
    return out;
}

QString currentFolder() {
    return programFolder(QDir::currentPath());
}

bool setCurrentFolder(QStringView programName) {
    const QString p = nativePath(programName);
    if (p.isEmpty())
        return false;
    return QDir::setCurrent(p);
}

}  // namespace rt
