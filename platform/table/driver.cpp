#include "driver.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "collation.h"
#include "share.h"

namespace tbl {

namespace {

constexpr int kPageSize = 4096;
constexpr int kKdfIterations = 64000;  // what a passphrase gets from the sqlcipher tool
const QByteArray kPlainHeader("SQLite format 3", 16);  // with its NUL

std::int64_t pow10(int n) {
    std::int64_t r = 1;
    while (n-- > 0)
        r *= 10;
    return r;
}

Arg dateArg(LONG day) {
    if (day == 0)
        return Arg::integer(0);
    const QString iso = rt::isoDate(day);
    return iso.isEmpty() ? Arg::integer(day) : Arg::text(iso);
}

// The derived keys of encrypted files: the key derivation is slow on purpose and
// runs once per process for each file (salt) and password.
std::mutex gKeyLock;
std::map<QByteArray, QByteArray> gKeys;

QByteArray derivedKey(const QString& password, const QByteArray& salt) {
    const QByteArray pw = password.toUtf8();
    const QByteArray id = pw + '\0' + salt;
    {
        std::lock_guard<std::mutex> l(gKeyLock);
        auto it = gKeys.find(id);
        if (it != gKeys.end())
            return it->second;
    }
    QByteArray key(32, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(
        pw.constData(), pw.size(), reinterpret_cast<const unsigned char*>(salt.constData()),
        salt.size(), kKdfIterations, key.size(), reinterpret_cast<unsigned char*>(key.data()));
    std::lock_guard<std::mutex> l(gKeyLock);
    gKeys[id] = key;
    return key;
}

bool keyConnection(sqlite3* db, const QByteArray& key, const QByteArray& saltForNewFile) {
    const QByteArray sql = "PRAGMA key = \"x'" + key.toHex() + saltForNewFile.toHex() +
                           "'\"; PRAGMA cipher_page_size = " + QByteArray::number(kPageSize) + ";";
    return sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString sqliteMessage(sqlite3* db) {
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString();
}

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

// An encrypted file is whole pages of what looks like random bytes; a text, a
// picture or a file of zeros under the table's name is not a table with another
// password but no table at all.
bool looksEncrypted(const QByteArray& firstPage, std::int64_t fileSize) {
    if (fileSize % kPageSize != 0)
        return false;
    bool seen[256] = {};
    int distinct = 0;
    for (const char ch : firstPage) {
        bool& s = seen[static_cast<unsigned char>(ch)];
        distinct += s ? 0 : 1;
        s = true;
    }
    return distinct >= 200;  // random bytes: about 256 in a page of 4096
}

std::mutex gSaltLock;
std::function<bool(QByteArray*)> gSaltSource;

bool newSalt(QByteArray* salt) {
    {
        std::lock_guard<std::mutex> l(gSaltLock);
        if (gSaltSource)
            return gSaltSource(salt);
    }
    return RAND_bytes(reinterpret_cast<unsigned char*>(salt->data()), int(salt->size())) == 1;
}

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

void setSaltSource(std::function<bool(QByteArray*)> source) {
    std::lock_guard<std::mutex> l(gSaltLock);
    gSaltSource = std::move(source);
}

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

// ---------------------------------------------------------------------------
// Values

void bind(sqlite3_stmt* st, int i, const Arg& a) {
    switch (a.type) {
        case Arg::Null:
            sqlite3_bind_null(st, i);
            break;
        case Arg::Int:
            sqlite3_bind_int64(st, i, a.i);
            break;
        case Arg::Real:
            sqlite3_bind_double(st, i, a.r);
            break;
        case Arg::Text:
            sqlite3_bind_text16(st, i, a.s.utf16(), int(a.s.size() * 2), SQLITE_TRANSIENT);
            break;
        case Arg::Blob:
            sqlite3_bind_blob(st, i, a.b.constData(), int(a.b.size()), SQLITE_TRANSIENT);
            break;
    }
}

Arg fieldArg(const FieldRef& f) {
    switch (f.kind) {
        case Kind::Byte:
        case Kind::Short:
        case Kind::Long:
            return Arg::integer(f.get().toInt());
        case Kind::Date:
            return dateArg(LONG(f.get().toInt()));
        case Kind::Decimal: {
            std::int64_t s;
            std::memcpy(&s, f.ptr, sizeof s);
            return Arg::integer(s);
        }
        case Kind::Real: {
            Arg a;
            a.type = Arg::Real;
            a.r = f.get().toReal();
            return a;
        }
        case Kind::String:
            return Arg::text(CLIP(f.get().toText()));
        case Kind::CString:
            return Arg::text(f.get().toText());
    }
    return {};
}

Arg valueArg(const FieldRef& proto, const Value& v) {
    switch (proto.kind) {
        case Kind::Byte:
        case Kind::Short:
        case Kind::Long:
            return Arg::integer(v.toInt());
        case Kind::Date:
            return dateArg(LONG(v.toInt()));
        case Kind::Decimal: {
            if (v.type() == Value::Type::Integer && proto.places == 0)
                return Arg::integer(v.toInt());
            const double s = v.toReal() * double(pow10(proto.places));
            return Arg::integer(std::int64_t(s < 0 ? s - 0.5 : s + 0.5));
        }
        case Kind::Real: {
            Arg a;
            a.type = Arg::Real;
            a.r = v.toReal();
            return a;
        }
        case Kind::String:
            return Arg::text(CLIP(v.toText().left(proto.size)));
        case Kind::CString:
            return Arg::text(v.toText().left(proto.size - 1));
    }
    return {};
}

// ---------------------------------------------------------------------------
// Conditions of views

namespace {

QString argText(sqlite3_value* v) {
    const void* p = sqlite3_value_text16(v);
    const int bytes = sqlite3_value_bytes16(v);
    return p ? QString(reinterpret_cast<const QChar*>(p), bytes / 2) : QString();
}

// kaldor_upper(text): the text in upper case, Cyrillic included (SQLite's own
// upper() knows only ASCII), as QString::toUpper makes it. It runs once per row
// of a query, so the common letters are mapped one by one in place; a text
// with a letter whose upper case is longer (ß) takes the whole mapping.
bool simpleUpper(char16_t c) {
    return c < 0x500 && c != 0x00DF && c != 0x0149 && c != 0x01F0 && c != 0x0390 && c != 0x03B0;
}

void upperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* p = static_cast<const char16_t*>(sqlite3_value_text16(argv[0]));
    const int n = sqlite3_value_bytes16(argv[0]) / 2;
    auto* out = static_cast<char16_t*>(sqlite3_malloc64(sqlite3_uint64(n + 1) * 2));
    if (!out) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (!simpleUpper(p[i])) {
            sqlite3_free(out);
            const QString u = QString(reinterpret_cast<const QChar*>(p), n).toUpper();
            sqlite3_result_text16(ctx, u.utf16(), int(u.size() * 2), SQLITE_TRANSIENT);
            return;
        }
        out[i] = QChar::toUpper(p[i]);
    }
    sqlite3_result_text16(ctx, out, n * 2, sqlite3_free);
}

// kaldor_compare(a, b): -1, 0 or 1 as the runtime orders two texts (by code
// unit; the BINARY collation of a UTF-16 file compares bytes).
void compareFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_int(ctx, rt::compareText(argText(argv[0]), argText(argv[1])));
}

}  // namespace

bool registerFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF16 | SQLITE_DETERMINISTIC;
    return sqlite3_create_function_v2(db, "kaldor_upper", 1, flags, nullptr, upperFunction, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
           sqlite3_create_function_v2(db, "kaldor_compare", 2, flags, nullptr, compareFunction,
                                      nullptr, nullptr, nullptr) == SQLITE_OK;
}

QString conditionSql(const TableFile::Field& f, int op, const Value& value, bool noCase,
                     Args* args) {
    // Same order as ViewClass::Compare.
    enum { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Contains, BeginsWith };
    static const char* const ordering[] = {"=", "<>", "<", "<=", ">", ">="};
    if (!f.ref.isText()) {
        if (op >= Contains)
            return QStringLiteral("0");
        args->push_back(valueArg(f.ref, value));
        return quoted(f.name) + QString::fromLatin1(ordering[op]) + u'?';
    }
    const QString column =
        noCase ? QStringLiteral("kaldor_upper(%1)").arg(quoted(f.name)) : quoted(f.name);
    Arg a = valueArg(f.ref, value);
    if (noCase)
        a.s = a.s.toUpper();
    args->push_back(a);
    switch (op) {
        case Equal:
        case NotEqual:
            return column + QString::fromLatin1(ordering[op]) + u'?';
        case Contains:
            return QStringLiteral("instr(%1,?)>0").arg(column);
        case BeginsWith:
            return QStringLiteral("instr(%1,?)=1").arg(column);
        default:
            return QStringLiteral("kaldor_compare(%1,?)%2 0")
                .arg(column, QString::fromLatin1(ordering[op]));
    }
}

namespace {
// Files keep their text in UTF-16 (see createFile), so that reading a row copies it
// into the buffer with no conversion. Russian text takes the same room as in UTF-8.
QStringView columnText(sqlite3_stmt* st, int c) {
    const auto* p = static_cast<const char16_t*>(sqlite3_column_blob(st, c));
    return p ? QStringView(p, sqlite3_column_bytes(st, c) / 2) : QStringView();
}
}  // namespace

void readField(sqlite3_stmt* st, int c, const FieldRef& f) {
    switch (f.kind) {
        case Kind::Byte:
            *static_cast<BYTE*>(f.ptr) = BYTE(sqlite3_column_int64(st, c));
            return;
        case Kind::Short:
            *static_cast<SHORT*>(f.ptr) = SHORT(sqlite3_column_int64(st, c));
            return;
        case Kind::Long:
            *static_cast<LONG*>(f.ptr) = LONG(sqlite3_column_int64(st, c));
            return;
        case Kind::Decimal: {
            const std::int64_t s = sqlite3_column_int64(st, c);
            std::memcpy(f.ptr, &s, sizeof s);
            return;
        }
        case Kind::Real:
            *static_cast<REAL*>(f.ptr) = sqlite3_column_double(st, c);
            return;
        case Kind::Date: {
            LONG day = 0;
            if (sqlite3_column_type(st, c) == SQLITE_TEXT) {
                day = rt::dayOfIso(columnText(st, c));
            } else {
                day = LONG(sqlite3_column_int64(st, c));
            }
            *static_cast<DATE*>(f.ptr) = DATE(day);
            return;
        }
        case Kind::String:
        case Kind::CString: {
            const QStringView text = columnText(st, c);
            if (f.kind == Kind::String) {
                // Stored without its padding: copied and padded here, the common case
                // of every row read.
                auto* dst = static_cast<char16_t*>(f.ptr);
                int n = int(std::min<qsizetype>(text.size(), f.size));
                if (n < text.size() && n > 0 && QChar::isHighSurrogate(text[n - 1].unicode()))
                    --n;
                if (n > 0)
                    std::memcpy(dst, text.data(), size_t(n) * sizeof(char16_t));
                std::fill(dst + n, dst + f.size, u' ');
            } else
                rt::assignZeroTerminated(static_cast<char16_t*>(f.ptr), f.size, text);
            return;
        }
    }
}

Value readValue(sqlite3_stmt* st, int c, const FieldRef& proto) {
    switch (proto.kind) {
        case Kind::String:
        case Kind::CString:
            return Value(columnText(st, c));  // copies
        case Kind::Real:
            return Value(sqlite3_column_double(st, c));
        case Kind::Date: {
            LONG day = 0;
            FieldRef f{Kind::Date, &day, 4, 0, nullptr};
            readField(st, c, f);
            return Value(int(day));
        }
        default:
            return Value(std::int64_t(sqlite3_column_int64(st, c)));
    }
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

// ---------------------------------------------------------------------------
// Layout

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

// ---------------------------------------------------------------------------
// Connection

struct OpenRequest {
    QString path;
    QString table;
    QString password;
    const TableFile* decl = nullptr;  // null: any layout of `table`
    bool create = false;
    bool recovering = false;  // a file whose journal is not completed now
    int busyMs = 10000;
};

namespace {

void fail(int* code, QString* detail, int c, const QString& path, const QString& why) {
    *code = c;
    *detail = path + QStringLiteral(": ") + why;
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
        QByteArray salt(16, '\0');
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
        ok = sqlite3_exec(db, "PRAGMA page_size = 4096", nullptr, nullptr, nullptr) == SQLITE_OK;
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

}  // namespace

std::unique_ptr<Connection> Connection::open(const QString& path, const TableFile& decl, int* code,
                                             QString* detail) {
    OpenRequest rq;
    rq.path = path;
    rq.table = decl.name();
    rq.password = decl.password();
    rq.decl = &decl;
    rq.create = decl.create();
    rq.busyMs = decl.lockWait() * 1000;
    return openConnection(rq, code, detail);
}

std::unique_ptr<Connection> openForRecovery(const QString& path, const TableFile& decl, int* code,
                                            QString* detail) {
    OpenRequest rq;
    rq.path = path;
    rq.table = decl.name();
    rq.password = decl.password();
    rq.decl = &decl;
    rq.recovering = true;
    rq.busyMs = decl.lockWait() * 1000;
    return openConnection(rq, code, detail);
}

namespace {

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

// Reads the table's name and layout from the file; SQLITE_OK or the failure.
int readMeta(sqlite3* db, QString* table, QString* layout) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT name, value FROM _kaldor_meta", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const QString n =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            const QString v =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
            if (n == u"table")
                *table = v;
            else if (n == u"layout")
                *layout = v;
        }
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(st);
    return rc;
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

}  // namespace

std::unique_ptr<Connection> openConnection(const OpenRequest& rq, int* code, QString* detail) {
    const QByteArray native = QFile::encodeName(rq.path);
    struct stat st {};
    const QString folder = QFileInfo(rq.path).path();
    if (!QFileInfo(folder).isDir()) {
        fail(code, detail, ErrCode::PathNotFound, rq.path, QStringLiteral("no such folder"));
        return nullptr;
    }
    FolderKind kind = folderKind(folder);
    const bool folderOpen = writable(folder);
    bool exists = ::stat(native.constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        fail(code, detail, ErrCode::InvalidFile, rq.path, QStringLiteral("not a file"));
        return nullptr;
    }
    if ((!exists || st.st_size == 0) && rq.create && rq.decl) {
        // Nothing is made or replaced where the program may not write: a read-only
        // folder is not a missing file, and an empty read-only file stays.
        if (!folderOpen || (exists && !writable(rq.path))) {
            fail(code, detail, ErrCode::ReadOnly, rq.path,
                 exists ? QStringLiteral("an empty read-only file: left as it is")
                        : QStringLiteral("the folder is read-only: the file cannot be made"));
            return nullptr;
        }
        if (!createFile(rq, kind, code, detail))
            return nullptr;
        exists = ::stat(native.constData(), &st) == 0;
    }
    if (!exists) {
        fail(code, detail, ErrCode::NoFile, rq.path, QStringLiteral("no such file"));
        return nullptr;
    }
    if (::access(native.constData(), R_OK) != 0) {
        fail(code, detail, ErrCode::AccessDenied, rq.path,
             QStringLiteral("the file is not readable"));
        return nullptr;
    }
    // A file the program may not write, or whose folder it may not write (where the
    // journal goes), is opened for reading: the lists and reports work, a write is
    // refused. So is every file of a share whose locks do not reach the server.
    bool noLocks = kind == FolderKind::NetworkNoLocks;
    bool readOnly = !folderOpen || !writable(rq.path) || noLocks;
    const bool encrypted = !rq.password.isEmpty();

    std::unique_ptr<Connection> c(new Connection);
    c->path_ = rq.path;
    c->table_ = rq.table;
    c->encrypted_ = encrypted;
    QString table, layout;
    int rc = SQLITE_OK;
    // A file in a read-only folder of this machine that no program is writing
    // through a log (a CD) is read as it is on disk: SQLite would otherwise want to
    // make the log's index beside it. Elsewhere that is a later try, for a file in
    // WAL whose index cannot be made.
    bool still = kind == FolderKind::Local && !folderOpen &&
                 !QFileInfo::exists(rq.path + QStringLiteral("-wal")) &&
                 !QFileInfo::exists(rq.path + QStringLiteral("-journal"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (c->db_) {
            sqlite3_close(c->db_);
            c->db_ = nullptr;
        }
        const int flags =
            (readOnly ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE) |
            SQLITE_OPEN_NOMUTEX;
        rc = sqlite3_open_v2(openName(rq.path, readOnly, noLocks, still).constData(), &c->db_,
                             flags, nullptr);
        sqlite3_busy_timeout(c->db_, rq.busyMs);
        if (rc != SQLITE_OK) {
            fail(code, detail, errorCode(rc, encrypted), rq.path, sqliteMessage(c->db_));
            return nullptr;
        }
        const QByteArray page = readFirstPage(c->db_);
        const QByteArray header = page.left(16);
        if (header.size() < 16 || st.st_size < 512 || (header == kPlainHeader) == encrypted ||
            (encrypted && !looksEncrypted(page, st.st_size))) {
            fail(code, detail, ErrCode::InvalidFile, rq.path,
                 encrypted && header == kPlainHeader
                     ? QStringLiteral("the file is not encrypted: not a table of this program")
                     : QStringLiteral("not a table file of this program"));
            return nullptr;
        }
        if (encrypted && !keyConnection(c->db_, derivedKey(rq.password, header), {})) {
            fail(code, detail, ErrCode::BadPassword, rq.path, sqliteMessage(c->db_));
            return nullptr;
        }
        // Nothing writes to a file until it is known to be ours.
        rc = readMeta(c->db_, &table, &layout);
        const int base = rc & 0xff;
        // A share whose locks fail (NFS without its lock service) is one without
        // locks: read only, and said so.
        const int ext = rc == SQLITE_OK ? SQLITE_OK : sqlite3_extended_errcode(c->db_);
        const bool lockFailed = ext == SQLITE_IOERR_LOCK || ext == SQLITE_IOERR_RDLOCK ||
                                ext == SQLITE_IOERR_CHECKRESERVEDLOCK;
        if (lockFailed && kind == FolderKind::Network) {
            kind = FolderKind::NetworkNoLocks;
            noLocks = readOnly = true;
        } else if (readOnly && !still && (base == SQLITE_CANTOPEN || base == SQLITE_IOERR)) {
            still = true;
        } else {
            break;
        }
    }
    c->readOnly_ = readOnly;
    c->kind_ = kind;
    c->setBusyTimeout(rq.busyMs);
    // Without its functions a connection would fail at the first list that
    // compares without case: it fails here, where it is reported as an open.
    if (rc == SQLITE_OK && !registerFunctions(c->db_))
        rc = sqlite3_errcode(c->db_) != SQLITE_OK ? sqlite3_errcode(c->db_) : SQLITE_NOMEM;
    if (rc != SQLITE_OK) {
        const int base = rc & 0xff;
        const QString why = base == SQLITE_ERROR
                                ? QStringLiteral("not a table file of this program")
                                : (base == SQLITE_NOTADB && encrypted
                                       ? QStringLiteral("wrong password, or not a table file")
                                       : sqliteMessage(c->db_));
        fail(code, detail,
             base == SQLITE_ERROR ? int(ErrCode::InvalidFile) : errorCode(rc, encrypted), rq.path,
             why);
        return nullptr;
    }
    if (table != rq.table || (rq.decl && layout != layoutOf(*rq.decl))) {
        fail(code, detail, ErrCode::InvalidFile, rq.path,
             table != rq.table ? QStringLiteral("the file holds another table (%1)").arg(table)
                               : QStringLiteral("the file has another layout"));
        return nullptr;
    }
    // A file cut short (a copy that stopped half-way) is refused before anything
    // reads the missing pages. With frames in the write-ahead log the file may
    // rightly be shorter than the database. Its size is taken after the count:
    // with the rollback journal another program's commit grows the file itself,
    // and it may have grown since the file was first looked at.
    {
        QByteArray pages;
        if (!queryText(c->db_, "PRAGMA page_count", &pages)) {
            fail(code, detail, errorCode(sqlite3_errcode(c->db_), encrypted), rq.path,
                 sqliteMessage(c->db_));
            return nullptr;
        }
        struct stat wal {};
        const bool walFrames =
            ::stat(QFile::encodeName(rq.path + QStringLiteral("-wal")).constData(), &wal) == 0 &&
            wal.st_size > 0;
        if (::stat(native.constData(), &st) != 0)
            st.st_size = 0;
        if (!walFrames && pages.toLongLong() * kPageSize > std::int64_t(st.st_size)) {
            fail(code, detail, ErrCode::InvalidFile, rq.path,
                 QStringLiteral("the file is truncated"));
            return nullptr;
        }
    }
    if (!c->configure(code, detail))
        return nullptr;
    if (rq.decl && !readOnly && !rq.recovering) {
        c->recover(*rq.decl);
        c->dropDeadReservations();
    }
    return c;
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

bool Connection::configure(int* code, QString* detail) {
    QByteArray mode, marked;
    if (!queryText(db_, "PRAGMA journal_mode", &mode) ||
        !queryText(db_, "SELECT value FROM _kaldor_meta WHERE name = 'journal'", &marked)) {
        fail(code, detail, errorCode(sqlite3_errcode(db_), encrypted_), path_, sqliteMessage(db_));
        return false;
    }
    const bool wal = qstricmp(mode.constData(), "wal") == 0;
    // A file once opened from a share keeps the rollback journal, also for the
    // program of the machine that holds it: the others may still have it open.
    const bool rollback = kind_ != FolderKind::Local || marked == "rollback";
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
        if (marked != "rollback" &&
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
    if (!run("PRAGMA synchronous = FULL; PRAGMA cache_size = -262144; "
             "PRAGMA temp_store = MEMORY")) {
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

// ---------------------------------------------------------------------------
// Position

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
