#pragma once
// The SQLite side of the table driver: connections, the column encoding of field
// values, error mapping, ordered reading from a position, and transactions. Not for
// use outside platform/table.
// (Which file holds what: docs/ARCHITECTURE.md, "Tables".)

#include <sqlite3.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "share.h"
#include "table.h"

namespace tbl {

// The page size of every table file, encrypted or not.
constexpr int kPageSize = 4096;

// A value as SQLite holds it.
struct Arg {
    enum Type : std::uint8_t { Null, Int, Real, Text, Blob };
    Type type = Null;
    std::int64_t i = 0;
    double r = 0;
    QString s;
    QByteArray b;

    static Arg integer(std::int64_t v) {
        Arg a;
        a.type = Int;
        a.i = v;
        return a;
    }
    static Arg text(const QString& v) {
        Arg a;
        a.type = Text;
        a.s = v;
        return a;
    }
    static Arg blob(const QByteArray& v) {
        Arg a;
        a.type = Blob;
        a.b = v;
        return a;
    }
};
using Args = std::vector<Arg>;

void bind(sqlite3_stmt* st, int index, const Arg& a);
// The column value of a field's current contents.
Arg fieldArg(const FieldRef& f);
// The column value that `v` has once stored in a field like `proto`.
Arg valueArg(const FieldRef& proto, const Value& v);
// Reads a column into a field.
void readField(sqlite3_stmt* st, int column, const FieldRef& f);
// Reads a column of a field like `proto` as a Value.
Value readValue(sqlite3_stmt* st, int column, const FieldRef& proto);
// The literal a column of this kind holds for "blank or zero".
QString zeroLiteral(Kind kind);
// The condition a record meets to be in an optional key.
QString optionalCondition(const TableFile& decl, const TableFile::Key& k);
QString quoted(const QString& identifier);

// Text compared without case is kept beside its field in a column of its own (see
// foldedColumn) that holds a sort key: plain binary order of the key is Russian
// alphabetical order without case. The file then needs nothing but SQLite itself to
// be read, also through its indexes.
QString foldKey(QStringView text);
// True when field `field` of `decl` has such a column.
bool folded(const TableFile& decl, int field);
QString foldedColumn(const QString& fieldName);
// The column that orders part `part` of key `key`, quoted.
QString keyColumn(const TableFile& decl, int key, int part);
// A key part's value as positions hold it (the sort key of a folded text).
Value keyValue(const TableFile& decl, int key, int part, const Value& fieldValue);
// The argument compared with the part's column for a value as positions hold it.
Arg keyArg(const TableFile& decl, int key, int part, const Value& v);

// The SQL of a view's condition on field `f` (ViewClass::Compare as `op`) with
// its arguments appended to *args.
QString conditionSql(const TableFile::Field& f, int op, const Value& value, bool noCase,
                     Args* args);
// The functions that conditionSql uses, on a new connection; false when SQLite
// refused them (out of memory).
bool registerFunctions(sqlite3* db);

// The runtime's error code for an SQLite result.
int errorCode(int sqliteCode, bool encrypted);

// What a connection is opened for.
struct OpenRequest {
    QString path;
    QString table;
    QString password;
    const TableFile* decl = nullptr;  // null: any layout of `table`
    bool create = false;
    // A further connection of the thread to a file its own connection opened:
    // neither journals completed nor reservations given back (that connection's
    // open did both).
    bool secondary = false;
    int busyMs = 10000;
};

// One connection of one thread to one table file.
class Connection {
  public:
    // Opens (and when allowed and missing, creates) the file of `decl` at `path`.
    // On failure returns null and sets *code and *detail.
    static std::unique_ptr<Connection> open(const QString& path, const TableFile& decl, int* code,
                                            QString* detail);
    ~Connection();

    sqlite3* db() const { return db_; }
    const QString& path() const { return path_; }
    const QString& tableName() const { return table_; }

    // A prepared statement from the connection's cache, reset and unbound. For
    // statements stepped while other code may run on the connection, use lease().
    sqlite3_stmt* statement(const QString& sql);
    // A statement taken out of the cache until the lease ends.
    class Lease {
      public:
        Lease(Connection* c, const QString& sql);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        sqlite3_stmt* get() const { return st_; }
        operator sqlite3_stmt*() const { return st_; }  // NOLINT

      private:
        Connection* c_;
        QString sql_;
        sqlite3_stmt* st_ = nullptr;
    };
    // Runs a statement that changes the file. Returns false and sets the thread's
    // error code on failure; *changes gets the number of rows changed.
    bool write(const QString& sql, const Args& args, int* changes = nullptr);
    // Runs SQL without parameters (pragmas, transaction control).
    bool run(const char* sql);
    // Sets the thread's error from the connection's last result.
    void setError(int sqliteCode);

    void setBusyTimeout(int ms);
    int busyTimeout() const { return busyMs_; }
    bool encrypted() const { return encrypted_; }
    // Opened for reading only (see openConnection); writes are refused.
    bool readOnly() const { return readOnly_; }
    FolderKind folderKind() const { return kind_; }
    bool inTransaction() const { return txDepth_ > 0; }

    // Transaction control used by the coordinator.
    bool beginImmediate();
    bool commit();
    void rollback();

    // Completes the transactions of several files that were committed here but
    // whose other files a crash kept from committing, into the journal partners
    // of `decl`, the declaration of this file. What it cannot complete stays in
    // the journal and is told by takeJournalNotices().
    void recover(const TableFile& decl);
    std::vector<QString> takeJournalNotices() { return std::move(journalNotices_); }
    // The identity of the file (kept in the file, made at its first transaction
    // over several files): what a journal names its writes' files by. Empty when
    // the file has none yet, or it cannot be read.
    QString fileId();
    bool ensureFileId();
    // Counts the write transactions begun on the connection.
    std::uint64_t transactionSerial() const { return txSerial_; }
    // Gives back the numbers that dead processes of this machine had reserved.
    void dropDeadReservations();

  private:
    friend std::unique_ptr<Connection> openConnection(const OpenRequest& rq, int* code,
                                                      QString* detail);
    Connection() = default;
    // The journal and the pragmas: WAL on this machine's disks, the rollback journal
    // on a share and in every file once opened from one (`markedRollback`: the
    // file's mark says so). On failure sets *code and *detail.
    bool configure(bool markedRollback, int* code, QString* detail);

    sqlite3* db_ = nullptr;
    QString path_;
    QString table_;
    bool encrypted_ = false;
    bool readOnly_ = false;
    FolderKind kind_ = FolderKind::Local;
    int busyMs_ = 10000;
    int txDepth_ = 0;
    std::uint64_t txSerial_ = 0;
    QString fileId_;
    std::vector<QString> journalNotices_;
    std::map<QString, sqlite3_stmt*> cache_;
};

std::unique_ptr<Connection> openConnection(const OpenRequest& rq, int* code, QString* detail);

// The layout signature of a declaration: what a file must have been made for.
QString layoutOf(const TableFile& decl);
// The SQL that makes a new file for a declaration.
QStringList schemaOf(const TableFile& decl);
// The writes of one record of the table declared as `decl`, by statements made
// from the declaration alone: the buffer's writes and the completion of a journal
// are the same statements. `fieldValues` are the column values of its fields in
// declaration order; a text compared without case gets its sort key beside it.
// False with the error set; *changes (when given) is the rows written.
bool insertRow(Connection* c, const TableFile& decl, RecordPointer ptr, const Args& fieldValues);
bool updateRow(Connection* c, const TableFile& decl, RecordPointer ptr, const Args& fieldValues,
               int* changes);
bool deleteRow(Connection* c, const TableFile& decl, RecordPointer ptr, int* changes);
// Body `body` of the record: stored, or removed when empty (an empty body is not
// stored).
bool storeBody(Connection* c, const TableFile& decl, int body, RecordPointer ptr,
               const QByteArray& data);
// Makes a new file for rq.decl at rq.path; on failure sets *code and *detail.
bool createFile(const OpenRequest& rq, FolderKind kind, int* code, QString* detail);

// For the steps of an open: sets *code, and *detail to the path and why.
void fail(int* code, QString* detail, int c, const QString& path, const QString& why);
// SQLite's message for the connection's last failure.
QString sqliteMessage(sqlite3* db);
// One value of a one-row pragma or query; false when it cannot be read.
bool queryText(sqlite3* db, const char* sql, QByteArray* out);

// True the first time in the process that `what` is asked about: for what is told
// the user once rather than at every open, by every thread.
bool firstTelling(const QString& what);

// Opens a further connection to the existing file of `decl` at `path` (the
// completion of an interrupted transaction, the parts of a split pass): with the
// declaration's password and layout, nothing created, no journal of its own
// completed and no reservations given back.
std::unique_ptr<Connection> openSecondary(const QString& path, const TableFile& decl, int* code,
                                          QString* detail);

// ---------------------------------------------------------------------------
// Ordered reading. A position is the order's key values and the record pointer;
// rows are read after, or from, a position, forward or backward, in the order of a
// key (file order when there is none), with the record pointer breaking ties.

using Position = ViewPosition;

class Seeker {
  public:
    explicit Seeker(TableFile& file) : file_(file) {}
    // The key whose order is read; -1 is file order.
    void setOrder(int keyIndex);
    int order() const { return key_; }
    // The fields read into the buffer for each row; empty reads all fields.
    void setFields(std::vector<int> fields);
    // A condition every row meets, in SQL over the columns, with its arguments.
    void addCondition(const QString& sql, const Args& args);
    void clearConditions();

    // A row being read: fill() puts its fields into the record buffer.
    struct Row {
        const Seeker* seeker;
        sqlite3_stmt* st;
        RecordPointer ptr;
        void fill() const;
        // The value of field number `field` (an index into fields()) when it is
        // among the fields read.
        Value value(int field) const;
    };
    using Sink = std::function<bool(const Position&, const Row&)>;
    // Reads up to `limit` rows (all when negative) from `from` (the start of the
    // order when null), forward or backward; `inclusive` includes the row at `from`.
    // `sink` gets each row and returns false to stop. Returns the number of rows
    // given to the sink, -1 on failure (error code set).
    int read(const Position* from, bool forward, bool inclusive, int limit, const Sink& sink);
    std::int64_t count();
    // The position of the record whose fields are in the buffer with pointer ptr.
    Position positionOfBuffer(RecordPointer ptr) const;

  private:
    friend struct Row;
    QString selectList() const;
    int fieldCount() const;
    std::vector<Value> keysOf(RecordPointer ptr);
    int readOne(const QString& sql, const Args& args, int limit, int* budget, const Sink& sink);
    QString whereBase() const;
    QString orderBy(bool forward, int fromPart) const;
    QString cmp(int part, bool forward, bool inclusive) const;

    TableFile& file_;
    int key_ = -1;
    std::vector<int> fields_;
    std::vector<QString> conditions_;
    Args conditionArgs_;
};

// The scan of SET/NEXT/PREVIOUS on a file.
struct Cursor {
    explicit Cursor(TableFile& file) : seeker(file) {}
    Seeker seeker;
    bool active = false;    // SET was given
    bool started = false;   // a row was read since SET
    bool hasStart = false;  // SET from a key value or RESET: start at `start`
    Position start;
    Position last;
    bool eof = false;
};

// Runs the writes of one change in one transaction of its own, unless the thread's
// transaction already holds the file.
class WriteScope {
  public:
    explicit WriteScope(Connection* c) : c_(c), own_(!c->inTransaction()) {
        ok_ = !own_ || c_->beginImmediate();
    }
    ~WriteScope() {
        if (own_ && c_->inTransaction())
            c_->rollback();
    }
    bool ok() const { return ok_; }
    bool commit() { return !own_ || c_->commit(); }

  private:
    Connection* c_;
    bool own_;
    bool ok_;
};

// ---------------------------------------------------------------------------
// Transactions of the calling thread.

// A record's write inside a transaction of several files, noted so that an
// interrupted commit can be completed: the record `ptr` now holds `fieldValues`
// and, for each index in `changedBodies`, the body in `bodies`; or it is gone.
// Nothing is noted for a file the thread's transaction does not hold.
void noteStore(const TableFile& file, RecordPointer ptr, const Args& fieldValues,
               const std::vector<QByteArray>& bodies, const std::vector<int>& changedBodies);
void noteDelete(const TableFile& file, RecordPointer ptr);

// The record a TableFile watches: its pointer in the file opened then, and the
// column values of its fields and bodies as read.
struct WatchedRecord {
    RecordPointer ptr = 0;
    std::uint64_t generation = 0;
    Args fields;
    std::vector<QByteArray> bodies;
    std::uint64_t verifiedIn = 0;  // the write transaction that found it unchanged
};

// For tests: where the salt of a new encrypted file comes from (false: no random
// numbers to be had). Null restores the system's generator.
void setSaltSource(std::function<bool(QByteArray* salt)> source);

// For the tests of interrupted commits: called with 1 just before a transaction of
// several files commits its first file, and with 2 just after.
void setCommitHook(std::function<void(int stage)> hook);

}  // namespace tbl
