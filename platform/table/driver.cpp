// A connection of a thread to a table file once it is open (see open.cpp): its
// journal and pragmas, its cache of prepared statements, writes and transactions,
// and the runtime's error codes for SQLite's results.

#include <signal.h>

#include <QSysInfo>
#include <cerrno>
#include <mutex>
#include <set>

#include "driver.h"
#include "share.h"

namespace tbl {

namespace {

// The page cache of each connection, in KiB: the pages of a large base that its
// lists and reports read again and again stay in memory.
constexpr int kPageCacheKiB = 256 * 1024;  // 256 MiB

}  // namespace

void fail(int* code, QString* detail, int c, const QString& path, const QString& why) {
    *code = c;
    *detail = path + QStringLiteral(": ") + why;
}

QString sqliteMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

// One value of a one-row pragma or query; false when it cannot be read.
bool queryText(sqlite3* db, const char* sql, QByteArray* out) {
    sqlite3_stmt* q = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql, -1, &q, nullptr) == SQLITE_OK;
    const int rc = ok ? sqlite3_step(q) : SQLITE_ERROR;
    ok = ok && (rc == SQLITE_ROW || rc == SQLITE_DONE);
    if (rc == SQLITE_ROW)
        *out = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
    sqlite3_finalize(q);
    return ok;
}

bool firstTelling(const QString& what) {
    static std::mutex m;
    static std::set<QString> told;
    std::lock_guard<std::mutex> l(m);
    return told.insert(what).second;
}

int errorCode(int rc, bool encrypted) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return ErrCode::None;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return ErrCode::Busy;
        case SQLITE_CONSTRAINT:
            return ErrCode::DuplicateKey;
        case SQLITE_NOTADB:
            return encrypted ? ErrCode::BadPassword : ErrCode::InvalidFile;
        case SQLITE_CORRUPT:
        case SQLITE_FORMAT:
        case SQLITE_SCHEMA:
        case SQLITE_TOOBIG:  // read: a length from a damaged page (writes: see write())
            return ErrCode::InvalidFile;
        case SQLITE_READONLY:
            return ErrCode::ReadOnly;
        case SQLITE_PERM:
        case SQLITE_AUTH:
            return ErrCode::AccessDenied;
        case SQLITE_CANTOPEN:
            return ErrCode::NoFile;
        default:
            return ErrCode::FileSystem;
    }
}

void Connection::dropDeadReservations() {
    // Numbers reserved by a process of this machine that has since died (a crash
    // in the middle of an insert) go back, so that they are not skipped.
    sqlite3_stmt* st =
        statement(QStringLiteral("SELECT DISTINCT pid FROM _kaldor_reserve WHERE host=?"));
    if (!st)
        return;
    const QString host = QSysInfo::machineHostName();
    bind(st, 1, Arg::text(host));
    std::vector<std::int64_t> dead;
    while (sqlite3_step(st) == SQLITE_ROW) {
        const auto pid = sqlite3_column_int64(st, 0);
        if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            dead.push_back(pid);
    }
    sqlite3_reset(st);
    for (const auto pid : dead) {
        // A failure (the file busy) leaves the numbers reserved: nothing is lost but
        // numbers, and the next open tries again. The open itself succeeded.
        if (!write(QStringLiteral("DELETE FROM _kaldor_reserve WHERE host=? AND pid=?"),
                   {Arg::text(host), Arg::integer(pid)}))
            break;
    }
    rt::clearError();
}

Connection::~Connection() {
    for (auto& [sql, st] : cache_)
        sqlite3_finalize(st);
    if (db_) {
        if (txDepth_ > 0)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
    }
}

bool Connection::configure(bool markedRollback, int* code, QString* detail) {
    QByteArray mode;
    if (!queryText(db_, "PRAGMA journal_mode", &mode)) {
        fail(code, detail, errorCode(sqlite3_errcode(db_), encrypted_), path_, sqliteMessage(db_));
        return false;
    }
    const bool wal = qstricmp(mode.constData(), "wal") == 0;
    // A file once opened from a share keeps the rollback journal, also for the
    // program of the machine that holds it: the others may still have it open.
    const bool rollback = kind_ != FolderKind::Local || markedRollback;
    if (!readOnly_ && rollback) {
        // Leaving WAL takes the file whole: while another program has it open in
        // WAL (on another machine, whose index of the log we cannot see) the switch
        // is refused, and so is the open, rather than share the log over the network.
        const int wait = std::min(busyMs_, 2000);
        sqlite3_busy_timeout(db_, wait);
        QByteArray now = mode;
        const bool switched = !wal || (queryText(db_, "PRAGMA journal_mode = DELETE", &now) &&
                                       qstricmp(now.constData(), "delete") == 0);
        sqlite3_busy_timeout(db_, busyMs_);
        if (!switched) {
            fail(code, detail, ErrCode::FileInUse, path_,
                 QStringLiteral("another program has the file open in WAL mode, which does not "
                                "work over a network: close it there first"));
            return false;
        }
        if (!markedRollback &&
            !write(QStringLiteral("INSERT OR REPLACE INTO _kaldor_meta VALUES('journal', "
                                  "'rollback')"),
                   {})) {
            fail(code, detail, ERRORCODE(), path_, rt::errorDetail());
            return false;
        }
    } else if (!readOnly_ && !wal && !run("PRAGMA journal_mode = WAL")) {
        fail(code, detail, ERRORCODE(), path_, rt::errorDetail());
        return false;
    }
    // Every commit reaches the disk before it is reported: a card confirmed is a
    // card kept, also through a power failure.
    // A negative cache size is in KiB.
    const QByteArray pragmas = "PRAGMA synchronous = FULL; PRAGMA cache_size = -" +
                               QByteArray::number(kPageCacheKiB) + "; PRAGMA temp_store = MEMORY";
    if (!run(pragmas.constData())) {
        fail(code, detail, ERRORCODE(), path_, rt::errorDetail());
        return false;
    }
    return true;
}

void Connection::setBusyTimeout(int ms) {
    busyMs_ = ms;
    sqlite3_busy_timeout(db_, ms);
}

Connection::Lease::Lease(Connection* c, const QString& sql) : c_(c), sql_(sql) {
    auto it = c->cache_.find(sql);
    if (it != c->cache_.end()) {
        st_ = it->second;
        c->cache_.erase(it);
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
        return;
    }
    const int r = sqlite3_prepare16_v2(c->db_, sql.utf16(), int(sql.size() * 2), &st_, nullptr);
    if (r != SQLITE_OK) {
        c->setError(r);
        st_ = nullptr;
    }
}

Connection::Lease::~Lease() {
    if (!st_)
        return;
    sqlite3_reset(st_);
    if (c_->cache_.count(sql_))
        sqlite3_finalize(st_);
    else
        c_->cache_[sql_] = st_;
}

sqlite3_stmt* Connection::statement(const QString& sql) {
    auto it = cache_.find(sql);
    if (it != cache_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* st = nullptr;
    const int r = sqlite3_prepare16_v2(db_, sql.utf16(), int(sql.size() * 2), &st, nullptr);
    if (r != SQLITE_OK) {
        setError(r);
        return nullptr;
    }
    cache_[sql] = st;
    return st;
}

void Connection::setError(int rc) {
    rt::setError(errorCode(rc, encrypted_), path_,
                 path_ + QStringLiteral(": ") + sqliteMessage(db_));
}

bool Connection::write(const QString& sql, const Args& args, int* changes) {
    sqlite3_stmt* st = statement(sql);
    if (!st)
        return false;
    for (size_t i = 0; i < args.size(); ++i)
        bind(st, int(i + 1), args[i]);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        if ((sqlite3_extended_errcode(db_) & 0xff) == SQLITE_TOOBIG) {
            rt::setError(ErrCode::FileSystem, path_,
                         path_ + QStringLiteral(": a text too large for a table"));
            return false;
        }
        setError(sqlite3_extended_errcode(db_));
        return false;
    }
    if (changes)
        *changes = sqlite3_changes(db_);
    return true;
}

bool Connection::run(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        setError(rc);
        return false;
    }
    return true;
}

bool Connection::beginImmediate() {
    if (!run("BEGIN IMMEDIATE"))
        return false;
    ++txDepth_;
    ++txSerial_;
    return true;
}

bool Connection::commit() {
    if (!run("COMMIT"))
        return false;
    txDepth_ = 0;
    return true;
}

void Connection::rollback() {
    if (txDepth_ > 0)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    txDepth_ = 0;
}

}  // namespace tbl
