// Opening a table file: finding it (and making it when it may be made), what its
// place allows (the journal, reading only, locks), and refusing what is not a
// whole table of this program made for the declaration.

#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QUrl>

#include "driver.h"
#include "encryption.h"
#include "share.h"

namespace tbl {

namespace {

const QByteArray kPlainHeader("SQLite format 3", 16);  // with its NUL

// How a file is opened, from what its place allows; the first reads may find
// that it allows less.
struct OpenMode {
    struct stat st {};  // the file as it was found
    FolderKind kind = FolderKind::Local;
    bool folderOpen = false;  // the folder may be written
    bool readOnly = false;
    bool noLocks = false;
    bool still = false;  // read as it is on disk (immutable)
};

// The first page of the file, read through the connection's own descriptor: a
// descriptor of our own would, once closed, drop every lock this process holds on
// the file (POSIX locks belong to the process), those of other threads'
// connections included.
QByteArray readFirstPage(sqlite3* db) {
    sqlite3_file* f = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &f) != SQLITE_OK || !f ||
        !f->pMethods)
        return {};
    QByteArray page(kPageSize, '\0');
    const int rc = f->pMethods->xRead(f, page.data(), int(page.size()), 0);
    return rc == SQLITE_OK || rc == SQLITE_IOERR_SHORT_READ ? page : QByteArray();
}

// The name SQLite opens a file under: the plain path, or for reading only a URI
// that says so (and, on a share without locks, that takes none).
QByteArray openName(const QString& path, bool readOnly, bool noLocks, bool immutable) {
    if (!readOnly)
        return QFile::encodeName(path);
    QByteArray uri = "file:" + QUrl::toPercentEncoding(path, "/") + "?mode=ro";
    if (noLocks)
        uri += "&nolock=1";
    if (immutable)
        uri += "&immutable=1";
    return uri;
}

// What the file says of itself: one read of _kaldor_meta serves the whole open.
struct Meta {
    QString table;
    QString layout;
    QString journal;  // "rollback" once opened from a share
    QString id;       // see Connection::fileId
};

// Reads the file's table, layout, journal mark and identity; SQLITE_OK or the
// failure.
int readMeta(sqlite3* db, Meta* meta) {
    *meta = {};
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name, value FROM _kaldor_meta", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const QString n =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            const QString v =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            if (n == u"table")
                meta->table = v;
            else if (n == u"layout")
                meta->layout = v;
            else if (n == u"journal")
                meta->journal = v;
            else if (n == u"id")
                meta->id = v;
        }
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    return rc;
}

// Finds the file, making it when it is missing and may be made, and what its
// place allows. On failure sets *code and *detail.
bool locate(const OpenRequest& rq, OpenMode* m, int* code, QString* detail) {
    const QByteArray native = QFile::encodeName(rq.path);
    const QString folder = QFileInfo(rq.path).path();
    if (!QFileInfo(folder).isDir()) {
        fail(code, detail, ErrCode::PathNotFound, rq.path, QStringLiteral("no such folder"));
        return false;
    }
    m->kind = folderKind(folder);
    m->folderOpen = writable(folder);
    bool exists = ::stat(native.constData(), &m->st) == 0;
    if (exists && !S_ISREG(m->st.st_mode)) {
        fail(code, detail, ErrCode::InvalidFile, rq.path, QStringLiteral("not a file"));
        return false;
    }
    if ((!exists || m->st.st_size == 0) && rq.create && rq.decl) {
        // Nothing is made or replaced where the program may not write: a read-only
        // folder is not a missing file, and an empty read-only file stays.
        if (!m->folderOpen || (exists && !writable(rq.path))) {
            fail(code, detail, ErrCode::ReadOnly, rq.path,
                 exists ? QStringLiteral("an empty read-only file: left as it is")
                        : QStringLiteral("the folder is read-only: the file cannot be made"));
            return false;
        }
        if (!createFile(rq, m->kind, code, detail))
            return false;
        exists = ::stat(native.constData(), &m->st) == 0;
    }
    if (!exists) {
        fail(code, detail, ErrCode::NoFile, rq.path, QStringLiteral("no such file"));
        return false;
    }
    if (::access(native.constData(), R_OK) != 0) {
        fail(code, detail, ErrCode::AccessDenied, rq.path,
             QStringLiteral("the file is not readable"));
        return false;
    }
    // A file the program may not write, or whose folder it may not write (where the
    // journal goes), is opened for reading: the lists and reports work, a write is
    // refused. So is every file of a share whose locks do not reach the server.
    m->noLocks = m->kind == FolderKind::NetworkNoLocks;
    m->readOnly = !m->folderOpen || !writable(rq.path) || m->noLocks;
    // A file in a read-only folder of this machine that no program is writing
    // through a log (a CD) is read as it is on disk: SQLite would otherwise want to
    // make the log's index beside it. Elsewhere that is a later try, for a file in
    // WAL whose index cannot be made.
    m->still = m->kind == FolderKind::Local && !m->folderOpen &&
               !QFileInfo::exists(rq.path + QStringLiteral("-wal")) &&
               !QFileInfo::exists(rq.path + QStringLiteral("-journal"));
    return true;
}

// Opens SQLite on the file as `m` allows, keys it, and reads what the file says of
// itself into *meta, with the result of that read in *rc. A read whose locks fail
// on a share, or that cannot make the log's index in a read-only place, is tried
// again as the place then allows (`m` says how). On a file that is not ours, or
// cannot be opened at all, sets *code and *detail and returns false; `db` is then
// closed with its connection.
bool attach(const OpenRequest& rq, OpenMode* m, sqlite3*& db, Meta* meta, int* rc, int* code,
            QString* detail) {
    const bool encrypted = !rq.password.isEmpty();
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (db) {
            sqlite3_close(db);
            db = nullptr;
        }
        const int flags =
            (m->readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
            SQLITE_OPEN_NOMUTEX;
        *rc = sqlite3_open_v2(openName(rq.path, m->readOnly, m->noLocks, m->still).constData(), &db,
                              flags, nullptr);
        sqlite3_busy_timeout(db, rq.busyMs);
        if (*rc != SQLITE_OK) {
            fail(code, detail, errorCode(*rc, encrypted), rq.path, sqliteMessage(db));
            return false;
        }
        const QByteArray page = readFirstPage(db);
        const QByteArray header = page.left(16);
        if (header.size() < 16 || m->st.st_size < 512 || (header == kPlainHeader) == encrypted ||
            (encrypted && !looksEncrypted(page, m->st.st_size))) {
            fail(code, detail, ErrCode::InvalidFile, rq.path,
                 encrypted && header == kPlainHeader
                     ? QStringLiteral("the file is not encrypted: not a table of this program")
                     : QStringLiteral("not a table file of this program"));
            return false;
        }
        if (encrypted && !keyConnection(db, derivedKey(rq.password, header), {})) {
            fail(code, detail, ErrCode::BadPassword, rq.path, sqliteMessage(db));
            return false;
        }
        // Nothing writes to a file until it is known to be ours.
        *rc = readMeta(db, meta);
        const int base = *rc & 0xff;
        // A share whose locks fail (NFS without its lock service) is one without
        // locks: read only, and said so.
        const int ext = *rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(db);
        const bool lockFailed = ext == SQLITE_IOERR_LOCK || ext == SQLITE_IOERR_RDLOCK ||
                                ext == SQLITE_IOERR_CHECKRESERVEDLOCK;
        if (lockFailed && m->kind == FolderKind::Network) {
            m->kind = FolderKind::NetworkNoLocks;
            m->noLocks = m->readOnly = true;
        } else if (m->readOnly && !m->still && (base == SQLITE_CANTOPEN || base == SQLITE_IOERR)) {
            m->still = true;
        } else {
            break;
        }
    }
    return true;
}

// Refuses a file whose name and layout could not be read (`rc`), or that holds
// another table or another layout than the request's.
bool checkMeta(const OpenRequest& rq, sqlite3* db, int rc, const Meta& meta, int* code,
               QString* detail) {
    const QString& table = meta.table;
    const bool encrypted = !rq.password.isEmpty();
    if (rc != SQLITE_OK) {
        const int base = rc & 0xff;
        const QString why = base == SQLITE_ERROR
                                ? QStringLiteral("not a table file of this program")
                                : (base == SQLITE_NOTADB && encrypted
                                       ? QStringLiteral("wrong password, or not a table file")
                                       : sqliteMessage(db));
        fail(code, detail,
             base == SQLITE_ERROR ? int(ErrCode::InvalidFile) : errorCode(rc, encrypted), rq.path,
             why);
        return false;
    }
    if (table != rq.table || (rq.decl && meta.layout != layoutOf(*rq.decl))) {
        fail(code, detail, ErrCode::InvalidFile, rq.path,
             table != rq.table ? QStringLiteral("the file holds another table (%1)").arg(table)
                               : QStringLiteral("the file has another layout"));
        return false;
    }
    return true;
}

// A file cut short (a copy that stopped half-way) is refused before anything
// reads the missing pages. With frames in the write-ahead log the file may
// rightly be shorter than the database. Its size is taken after the count:
// with the rollback journal another program's commit grows the file itself,
// and it may have grown since the file was first looked at.
bool checkWhole(const OpenRequest& rq, sqlite3* db, int* code, QString* detail) {
    QByteArray pages;
    if (!queryText(db, "PRAGMA page_count", &pages)) {
        fail(code, detail, errorCode(sqlite3_errcode(db), !rq.password.isEmpty()), rq.path,
             sqliteMessage(db));
        return false;
    }
    struct stat wal {};
    const bool walFrames =
        ::stat(QFile::encodeName(rq.path + QStringLiteral("-wal")).constData(), &wal) == 0 &&
        wal.st_size > 0;
    struct stat st {};
    if (::stat(QFile::encodeName(rq.path).constData(), &st) != 0)
        st.st_size = 0;
    if (!walFrames && pages.toLongLong() * kPageSize > std::int64_t(st.st_size)) {
        fail(code, detail, ErrCode::InvalidFile, rq.path, QStringLiteral("the file is truncated"));
        return false;
    }
    return true;
}

// The request to open the file of `decl` at `path` under its password and layout.
OpenRequest requestFor(const QString& path, const TableFile& decl) {
    OpenRequest rq;
    rq.path = path;
    rq.table = decl.name();
    rq.password = decl.password();
    rq.decl = &decl;
    rq.busyMs = decl.lockWait() * 1000;
    return rq;
}

}  // namespace

std::unique_ptr<Connection> openConnection(const OpenRequest& rq, int* code, QString* detail) {
    OpenMode m;
    if (!locate(rq, &m, code, detail))
        return nullptr;
    std::unique_ptr<Connection> c(new Connection);
    c->path_ = rq.path;
    c->table_ = rq.table;
    c->encrypted_ = !rq.password.isEmpty();
    Meta meta;
    int rc = SQLITE_OK;
    if (!attach(rq, &m, c->db_, &meta, &rc, code, detail))
        return nullptr;
    c->readOnly_ = m.readOnly;
    c->kind_ = m.kind;
    c->setBusyTimeout(rq.busyMs);
    // Without its functions a connection would fail at the first list that
    // compares without case: it fails here, where it is reported as an open.
    if (rc == SQLITE_OK && !registerFunctions(c->db_))
        rc = sqlite3_errcode(c->db_) != SQLITE_OK ? sqlite3_errcode(c->db_) : SQLITE_NOMEM;
    if (!checkMeta(rq, c->db_, rc, meta, code, detail) || !checkWhole(rq, c->db_, code, detail) ||
        !c->configure(meta.journal == u"rollback", code, detail))
        return nullptr;
    c->fileId_ = meta.id;
    if (rq.decl && !m.readOnly && !rq.secondary) {
        c->recover(*rq.decl);
        c->dropDeadReservations();
    }
    return c;
}

std::unique_ptr<Connection> Connection::open(const QString& path, const TableFile& decl, int* code,
                                             QString* detail) {
    OpenRequest rq = requestFor(path, decl);
    rq.create = decl.create();
    return openConnection(rq, code, detail);
}

std::unique_ptr<Connection> openSecondary(const QString& path, const TableFile& decl, int* code,
                                          QString* detail) {
    OpenRequest rq = requestFor(path, decl);
    rq.secondary = true;
    return openConnection(rq, code, detail);
}

}  // namespace tbl
