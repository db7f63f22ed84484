#include "share.h"

#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace tbl {

namespace {

constexpr long kNfsMagic = 0x6969;
constexpr long kSmbMagic = 0x517B;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kFuseMagic = 0x65735546;

QString canonical(const QString& folder) {
    const QString c = QFileInfo(folder).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : c;
}

bool under(const QString& path, const QString& root) {
    if (root.isEmpty())
        return false;
    if (root == u"/")
        return true;
    return path == root || path.startsWith(root + u'/');
}

bool declared(const char* variable, const QString& path) {
    const QString list = QString::fromLocal8Bit(qgetenv(variable));
    for (const QString& entry : list.split(u':', Qt::SkipEmptyParts)) {
        if (under(path, canonical(entry)))
            return true;
    }
    return false;
}

// mountinfo writes blanks, tabs, newlines and backslashes of paths as octal.
QString unescape(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int v = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += char(v);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QFile::decodeName(out);
}

struct Mount {
    QString point;
    QString type;
    QStringList options;  // the mount's and the file system's
};

// The mount that holds `path`: the longest mount point above it.
Mount mountOf(const QString& path) {
    Mount best;
    QFile f(QStringLiteral("/proc/self/mountinfo"));
    if (!f.open(QIODevice::ReadOnly))
        return best;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = line.split(' ');
        const qsizetype dash = parts.indexOf(QByteArray("-"));
        if (dash < 6 || dash + 1 >= parts.size())
            continue;
        const QString point = unescape(parts[4]);
        if (!under(path, point) || point.size() < best.point.size())
            continue;
        best.point = point;
        best.type = QString::fromLatin1(parts[dash + 1]);
        best.options = QString::fromLatin1(parts[5]).split(u',');
        if (dash + 3 < parts.size())
            best.options += QString::fromLatin1(parts[dash + 3]).split(u',');
    }
    return best;
}

bool hasOption(const Mount& m, const char* option) {
    const QString o = QString::fromLatin1(option);
    for (const QString& x : m.options) {
        if (x == o || (o.endsWith(u'=') && x.startsWith(o)))
            return true;
    }
    return false;
}

// FUSE file systems of other machines. Those that pass byte-range locks to the
// server are the cluster file systems; the others keep locks on this machine.
bool fuseRemote(const QString& type, bool* locks) {
    static const char* const withLocks[] = {"fuse.glusterfs", "fuse.ceph",    "fuse.ceph-fuse",
                                            "fuse.lizardfs",  "fuse.moosefs", "fuse.beegfs"};
    static const char* const withoutLocks[] = {
        "fuse.sshfs", "fuse.rclone",   "fuse.s3fs",   "fuse.curlftpfs", "fuse.gvfsd-fuse",
        "fuse.davfs", "fuse.smbnetfs", "fuse.goofys", "fuse.gcsfuse",   "fuse.fuse-nfs"};
    for (const char* t : withLocks) {
        if (type == QLatin1String(t)) {
            *locks = true;
            return true;
        }
    }
    for (const char* t : withoutLocks) {
        if (type == QLatin1String(t)) {
            *locks = false;
            return true;
        }
    }
    return false;
}

}  // namespace

FolderKind folderKind(const QString& folder) {
    const QString path = canonical(folder);
    if (declared("KALDOR_NOLOCK_FOLDERS", path))
        return FolderKind::NetworkNoLocks;
    if (declared("KALDOR_NETWORK_FOLDERS", path))
        return FolderKind::Network;
    struct statfs fs {};
    if (::statfs(QFile::encodeName(path).constData(), &fs) != 0)
        return FolderKind::Local;
    const long type = long(fs.f_type);
    if (type == kNfsMagic) {
        // Locks kept on this machine only are no locks for the others.
        const Mount m = mountOf(path);
        return hasOption(m, "nolock") || hasOption(m, "local_lock=all") ||
                       hasOption(m, "local_lock=posix")
                   ? FolderKind::NetworkNoLocks
                   : FolderKind::Network;
    }
    if (type == kSmbMagic || type == kCifsMagic || type == kSmb2Magic)
        return hasOption(mountOf(path), "nobrl") ? FolderKind::NetworkNoLocks : FolderKind::Network;
    if (type == kFuseMagic) {
        bool locks = false;
        if (fuseRemote(mountOf(path).type, &locks))
            return locks ? FolderKind::Network : FolderKind::NetworkNoLocks;
    }
    return FolderKind::Local;
}

bool writable(const QString& path) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    return ::stat(native.constData(), &st) == 0 && (st.st_mode & S_IWUSR) != 0 &&
           ::access(native.constData(), W_OK) == 0;
}

}  // namespace tbl
