// What a table file holds: the columns of fields and keys, the layout a file is
// made for, the SQL of its schema and of a record's writes; and the making of a
// new file.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include "collation.h"
#include "driver.h"
#include "encryption.h"
#include "share.h"

namespace tbl {

namespace {

void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

QString columnType(Kind k) {
    switch (k) {
        case Kind::Real:
            return QStringLiteral("REAL");
        case Kind::String:
        case Kind::CString:
            return QStringLiteral("TEXT");
        case Kind::Date:
            return QStringLiteral("DATE");
        default:
            return QStringLiteral("INTEGER");
    }
}

QString kindName(Kind k) {
    static const char* names[] = {"BYTE",    "SHORT",  "LONG",    "REAL",
                                  "DECIMAL", "STRING", "CSTRING", "DATE"};
    return QString::fromLatin1(names[int(k)]);
}

QString keyTag(const TableFile::Key& k) {
    const int colon = int(k.name.lastIndexOf(u':'));
    return colon >= 0 ? k.name.mid(colon + 1) : k.name;
}

}  // namespace

QString quoted(const QString& identifier) {
    QString s = identifier;
    s.replace(u'"', QStringLiteral("\"\""));
    return u'"' + s + u'"';
}

QString foldKey(QStringView text) {
    // Five hexadecimal digits a character: plain ASCII compares the same way in
    // any text encoding of a file.
    QString out;
    const int n = rt::clippedLength(text);
    out.reserve(5 * n);
    for (int i = 0; i < n; ++i)
        out += QStringLiteral("%1").arg(russianWeight(text[i].unicode()), 5, 16, QLatin1Char('0'));
    return out;
}

bool folded(const TableFile& decl, int field) {
    if (!decl.fields()[size_t(field)].ref.isText())
        return false;
    for (const auto& k : decl.keys()) {
        if (!k.has(KeyFlag::NoCase))
            continue;
        for (const auto& p : k.parts) {
            if (p.field == field)
                return true;
        }
    }
    return false;
}

QString foldedColumn(const QString& fieldName) {
    return QStringLiteral("_fold_") + fieldName;
}

QString keyColumn(const TableFile& decl, int key, int part) {
    const int f = decl.key(key).parts[size_t(part)].field;
    const QString& name = decl.fields()[size_t(f)].name;
    return quoted(folded(decl, f) ? foldedColumn(name) : name);
}

Arg keyArg(const TableFile& decl, int key, int part, const Value& v) {
    const int f = decl.key(key).parts[size_t(part)].field;
    if (folded(decl, f))
        return Arg::text(v.toText());
    return valueArg(decl.fields()[size_t(f)].ref, v);
}

Value keyValue(const TableFile& decl, int key, int part, const Value& fieldValue) {
    const int f = decl.key(key).parts[size_t(part)].field;
    return folded(decl, f) ? Value(foldKey(fieldValue.toText())) : fieldValue;
}

QString optionalCondition(const TableFile& decl, const TableFile::Key& k) {
    QStringList zero;
    for (const auto& p : k.parts) {
        const auto& f = decl.fields()[size_t(p.field)];
        zero << quoted(f.name) + u'=' + zeroLiteral(f.ref.kind);
    }
    if (zero.size() == 1)
        return quoted(decl.fields()[size_t(k.parts[0].field)].name) + QStringLiteral("<>") +
               zeroLiteral(decl.fields()[size_t(k.parts[0].field)].ref.kind);
    return QStringLiteral("NOT(") + zero.join(QStringLiteral(" AND ")) + u')';
}

QString zeroLiteral(Kind kind) {
    return kind == Kind::String || kind == Kind::CString ? QStringLiteral("''")
                                                         : QStringLiteral("0");
}

QString layoutOf(const TableFile& decl) {
    QStringList parts;
    parts << QStringLiteral("table ") + decl.name();
    for (const auto& f : decl.fields()) {
        parts << QStringLiteral("field %1 %2 %3 %4")
                     .arg(f.name, kindName(f.ref.kind))
                     .arg(f.ref.size)
                     .arg(f.ref.places);
    }
    for (const auto& k : decl.keys()) {
        QStringList cols;
        for (const auto& p : k.parts)
            cols << QString(p.descending ? u'-' : u'+') + decl.fields()[size_t(p.field)].name;
        parts << QStringLiteral("key %1 %2 %3").arg(k.name, cols.join(u',')).arg(k.flags);
    }
    for (const auto& b : decl.blobs())
        parts << QStringLiteral("blob %1 %2").arg(b.name).arg(b.binary ? 1 : 0);
    return parts.join(u';');
}

QStringList schemaOf(const TableFile& decl) {
    QStringList sql;
    const QString t = quoted(decl.name());
    sql << QStringLiteral("CREATE TABLE _kaldor_meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)");
    sql << QStringLiteral(
               "INSERT INTO _kaldor_meta VALUES('table', %1), ('layout', %2), "
               "('format', '1')")
               .arg(u'\'' + QString(decl.name()).replace(u'\'', QStringLiteral("''")) + u'\'',
                    u'\'' + layoutOf(decl).replace(u'\'', QStringLiteral("''")) + u'\'');
    QStringList cols{QStringLiteral("\"_ptr\" INTEGER PRIMARY KEY")};
    for (size_t i = 0; i < decl.fields().size(); ++i) {
        const auto& f = decl.fields()[i];
        cols << QStringLiteral("%1 %2 NOT NULL DEFAULT %3")
                    .arg(quoted(f.name), columnType(f.ref.kind), zeroLiteral(f.ref.kind));
        if (folded(decl, int(i)))
            cols << quoted(foldedColumn(f.name)) + QStringLiteral(" TEXT NOT NULL DEFAULT ''");
    }
    sql << QStringLiteral("CREATE TABLE %1(%2)").arg(t, cols.join(QStringLiteral(", ")));
    for (const auto& k : decl.keys()) {
        QStringList parts;
        const int keyIndex = int(&k - decl.keys().data());
        for (size_t i = 0; i < k.parts.size(); ++i) {
            parts << keyColumn(decl, keyIndex, int(i)) +
                         (k.parts[i].descending ? QStringLiteral(" DESC") : QString());
        }
        QString where;
        if (k.has(KeyFlag::Optional))
            where = QStringLiteral(" WHERE ") + optionalCondition(decl, k);
        sql << QStringLiteral("CREATE %1INDEX %2 ON %3(%4)%5")
                   .arg(k.has(KeyFlag::Unique) ? QStringLiteral("UNIQUE ") : QString(),
                        quoted(decl.name() + u'_' + keyTag(k)), t, parts.join(QStringLiteral(", ")),
                        where);
    }
    for (const auto& b : decl.blobs()) {
        const QString bt = quoted(decl.name() + u'_' + b.name);
        sql << QStringLiteral("CREATE TABLE %1(\"_ptr\" INTEGER PRIMARY KEY, data BLOB NOT NULL)")
                   .arg(bt);
        // A record's bodies go with it, whoever deletes it.
        sql << QStringLiteral(
                   "CREATE TRIGGER %1 AFTER DELETE ON %2 BEGIN DELETE FROM %3 WHERE "
                   "\"_ptr\" = old.\"_ptr\"; END")
                   .arg(quoted(QStringLiteral("_kaldor_drop_") + b.name), t, bt);
    }
    // The number of records, kept by SQLite itself so that counting never reads the
    // table and stays right whatever program writes the file.
    sql << QStringLiteral("CREATE TABLE _kaldor_count(n INTEGER NOT NULL)");
    sql << QStringLiteral("INSERT INTO _kaldor_count VALUES(0)");
    sql << QStringLiteral(
               "CREATE TRIGGER _kaldor_count_add AFTER INSERT ON %1 BEGIN UPDATE "
               "_kaldor_count SET n = n + 1; END")
               .arg(t);
    sql << QStringLiteral(
               "CREATE TRIGGER _kaldor_count_del AFTER DELETE ON %1 BEGIN UPDATE "
               "_kaldor_count SET n = n - 1; END")
               .arg(t);
    sql << QStringLiteral(
        "CREATE TABLE _kaldor_reserve(key TEXT NOT NULL, value INTEGER NOT NULL, host TEXT, "
        "pid INTEGER, PRIMARY KEY(key, value))");
    sql << QStringLiteral(
        "CREATE TABLE _kaldor_redo(txid INTEGER NOT NULL, seq INTEGER NOT NULL, path TEXT NOT "
        "NULL, tab TEXT NOT NULL, sql TEXT NOT NULL, args TEXT NOT NULL, PRIMARY KEY(txid, seq))");
    sql << QStringLiteral("CREATE TABLE _kaldor_applied(txid INTEGER PRIMARY KEY)");
    return sql;
}

namespace {
// The columns a write of a whole row sets, with their values appended to *args.
QStringList rowColumns(const TableFile& decl, const Args& fieldValues, Args* args) {
    QStringList c;
    for (size_t i = 0; i < decl.fields().size(); ++i) {
        const auto& f = decl.fields()[i];
        c << quoted(f.name);
        args->push_back(fieldValues[i]);
        if (folded(decl, int(i))) {
            c << quoted(foldedColumn(f.name));
            args->push_back(Arg::text(foldKey(fieldValues[i].s)));
        }
    }
    return c;
}
}  // namespace

bool insertRow(Connection* c, const TableFile& decl, RecordPointer ptr, const Args& fieldValues) {
    Args args{Arg::integer(ptr)};
    const QStringList columns = rowColumns(decl, fieldValues, &args);
    const QStringList marks(columns.size() + 1, QStringLiteral("?"));
    return c->write(QStringLiteral("INSERT INTO %1(\"_ptr\",%2) VALUES(%3)")
                        .arg(quoted(decl.name()), columns.join(u','), marks.join(u',')),
                    args);
}

bool updateRow(Connection* c, const TableFile& decl, RecordPointer ptr, const Args& fieldValues,
               int* changes) {
    Args args;
    QStringList sets = rowColumns(decl, fieldValues, &args);
    for (QString& s : sets)
        s += QStringLiteral("=?");
    args.push_back(Arg::integer(ptr));
    return c->write(QStringLiteral("UPDATE %1 SET %2 WHERE \"_ptr\"=?")
                        .arg(quoted(decl.name()), sets.join(u',')),
                    args, changes);
}

bool deleteRow(Connection* c, const TableFile& decl, RecordPointer ptr, int* changes) {
    return c->write(QStringLiteral("DELETE FROM %1 WHERE \"_ptr\"=?").arg(quoted(decl.name())),
                    {Arg::integer(ptr)}, changes);
}

bool storeBody(Connection* c, const TableFile& decl, int body, RecordPointer ptr,
               const QByteArray& data) {
    const QString t = quoted(decl.name() + u'_' + decl.blobs()[size_t(body)].name);
    return data.isEmpty()
               ? c->write(QStringLiteral("DELETE FROM %1 WHERE \"_ptr\"=?").arg(t),
                          {Arg::integer(ptr)})
               : c->write(
                     QStringLiteral("INSERT OR REPLACE INTO %1(\"_ptr\",data) VALUES(?,?)").arg(t),
                     {Arg::integer(ptr), Arg::blob(data)});
}

// Makes a new file beside `path` and puts it in place only if no other thread or
// process has made one meanwhile, so nobody ever sees half a file.
bool createFile(const OpenRequest& rq, FolderKind kind, int* code, QString* detail) {
    const QString tmp = rq.path + QStringLiteral(".new-%1-%2")
                                      .arg(::getpid())
                                      .arg(QRandomGenerator::global()->generate64(), 0, 16);
    const QByteArray tmpName = QFile::encodeName(tmp);
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(tmpName.constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    bool ok = rc == SQLITE_OK;
    if (ok && !rq.password.isEmpty()) {
        QByteArray salt(kSaltSize, '\0');
        if (!newSalt(&salt)) {
            // A salt that is not random would give every such file the same key.
            sqlite3_close(db);
            QFile::remove(tmp);
            fail(code, detail, ErrCode::FileSystem, rq.path,
                 QStringLiteral("no random numbers for the salt of a new encrypted file"));
            return false;
        }
        ok = keyConnection(db, derivedKey(rq.password, salt), salt);
    } else if (ok) {
        const QByteArray pageSize = "PRAGMA page_size = " + QByteArray::number(kPageSize);
        ok = sqlite3_exec(db, pageSize.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ok = ok &&
         sqlite3_exec(db, "PRAGMA encoding = 'UTF-16le'", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok) {
        const bool shared = kind != FolderKind::Local;
        QStringList sql{shared ? QStringLiteral("PRAGMA journal_mode = DELETE")
                               : QStringLiteral("PRAGMA journal_mode = WAL"),
                        QStringLiteral("BEGIN")};
        sql << schemaOf(*rq.decl);
        if (shared)
            sql << QStringLiteral("INSERT INTO _kaldor_meta VALUES('journal', 'rollback')");
        sql << QStringLiteral("COMMIT");
        for (const QString& s : sql) {
            rc = sqlite3_exec(db, s.toUtf8().constData(), nullptr, nullptr, nullptr);
            if (rc != SQLITE_OK) {
                ok = false;
                break;
            }
        }
    }
    const QString why = sqliteMessage(db);
    sqlite3_close(db);
    if (!ok) {
        QFile::remove(tmp);
        QFile::remove(tmp + QStringLiteral("-wal"));
        QFile::remove(tmp + QStringLiteral("-shm"));
        const bool noFolder = !QFileInfo(QFileInfo(rq.path).path()).isDir();
        fail(code, detail, noFolder ? int(ErrCode::PathNotFound) : errorCode(rc, false), rq.path,
             why);
        return false;
    }
    const QByteArray target = QFile::encodeName(rq.path);
    int r = ::link(tmpName.constData(), target.constData());
    if (r != 0 && errno == EEXIST) {
        struct stat st {};
        // An empty file holds nothing to lose: a creation that died half-way. One
        // marked read-only is somebody's on purpose and stays.
        if (::stat(target.constData(), &st) == 0 && st.st_size == 0 && writable(rq.path))
            r = ::rename(tmpName.constData(), target.constData());
        else
            r = 0;  // someone else made it first: use theirs
    }
    const int err = errno;
    ::unlink(tmpName.constData());
    if (r != 0) {
        fail(code, detail,
             err == EACCES || err == EPERM ? int(ErrCode::AccessDenied) : int(ErrCode::FileSystem),
             rq.path, QString::fromLocal8Bit(std::strerror(err)));
        return false;
    }
    syncFolder(QFileInfo(rq.path).path());
    return true;
}

}  // namespace tbl
