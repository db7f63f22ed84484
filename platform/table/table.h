#pragma once
// Table declarations, record buffers and the file statements of the runtime.
//
// A table is declared once per thread as a TableFile: its fields (each a FieldRef
// into the thread's record buffer), keys, BLOBs and attributes (driver, file name or
// the variable that holds it, password, create). Every file is one SQLite database
// (SQLCipher for a table with a password): a data table named after the table with
// one typed column per field, one index per key, one side table per BLOB keyed by
// the record pointer, and a few bookkeeping tables whose names start with
// "_kaldor_".
//
// On disk: STRING as TEXT without its trailing blanks, CSTRING as TEXT, BYTE/SHORT/
// LONG as INTEGER, DECIMAL as INTEGER scaled by 10^places, REAL as REAL, DATE as
// ISO text "YYYY-MM-DD" so that a person reading the file sees dates (0, "no date",
// is stored as the integer 0; a day number outside the calendar as that integer).
//
// Everything here is the calling thread's own: the record buffer, BLOB holders,
// open count, connection, current record and scan position. The file is opened at
// the thread's first use after OPEN (or FileManager::Open), under the name the bound
// variable holds at that moment.

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/errors.h"
#include "core/values.h"

class TableFile;
class ErrorClass;
namespace tbl {
class Connection;
class Cursor;
struct WatchedRecord;
}  // namespace tbl

// The record pointer: stable for the life of a record.
using RecordPointer = std::int64_t;

// A BLOB holder of a record buffer. After a record is read its contents are
// fetched from the file only when first asked for, so that reading cards never
// reads a document body nobody looks at.
class BLOB {
  public:
    BLOB() = default;
    BLOB(const BLOB&) = delete;
    BLOB& operator=(const BLOB&) = delete;

    // The contents; empty when they cannot be read (see fetch()).
    QByteArray data() const;
    qint64 size() const { return data().size(); }
    // Reads the contents from the file if they are not read yet. False, with the
    // error code set, when the read fails; a failed read is tried again next time.
    bool fetch() const;
    void setData(const QByteArray& bytes);
    void clear() { setData({}); }
    // True once the contents were set in the buffer since the record was read.
    bool changed() const { return changed_; }

  private:
    friend class TableFile;
    struct State {
        QByteArray data;
        bool loaded = true;
        bool changed = false;
        RecordPointer source = 0;
        std::uint64_t generation = 0;
    };
    State state() const;
    void setState(const State& s);
    void bind(TableFile* file, int index) {
        file_ = file;
        index_ = index;
    }
    void unload(RecordPointer source, std::uint64_t generation);

    mutable QByteArray data_;
    mutable bool loaded_ = true;
    bool changed_ = false;
    RecordPointer source_ = 0;
    std::uint64_t generation_ = 0;
    TableFile* file_ = nullptr;
    int index_ = 0;
};

// A place in an ordered reading of a table: the order's values of a record and its
// pointer. Storable as text of at most a few hundred characters (a list keeps it in
// a STRING(1024)).
struct ViewPosition {
    std::vector<Value> keys;
    RecordPointer ptr = 0;
    bool valid() const { return ptr != 0; }
    QString toString() const;
    // An empty or unreadable text gives an invalid position.
    static ViewPosition fromString(QStringView text);
};

// A key of a table, as code names it (KAL_K1): the table and the key's number.
struct KEY {
    TableFile* file = nullptr;
    int index = -1;
    bool valid() const { return file != nullptr && index >= 0; }
};

enum class Driver { DAT, TPS };

// Key attributes.
namespace KeyFlag {
enum : unsigned {
    Unique = 1,
    Primary = 2,
    NoCase = 4,    // text compares without case (and in Russian alphabetical order)
    Optional = 8,  // records whose key fields are all blank or zero are left out
};
}

// A copy of a record buffer (fields and BLOBs), for "has the record changed" and
// for putting fields back.
struct RecordImage {
    QByteArray fields;
    std::vector<QByteArray> blobs;
    std::vector<bool> blobsLoaded;
    std::vector<bool> blobsChanged;
    std::vector<RecordPointer> blobSources;
    std::vector<std::uint64_t> blobGenerations;
};

class TableFile {
  public:
    struct Field {
        QString name;
        FieldRef ref;
    };
    struct KeyPart {
        int field;  // index into fields()
        bool descending;
    };
    struct Key {
        QString name;  // "KAL:K1"
        QString description;
        std::vector<KeyPart> parts;
        unsigned flags = 0;
        bool has(unsigned f) const { return (flags & f) != 0; }
    };
    struct Blob {
        QString name;
        BLOB* holder;
        bool binary;
    };

    // `name` is the table's name (KALDOR), `prefix` its field prefix (KAL).
    TableFile(QString name, QString prefix, Driver driver);
    // `declare` adds the fields, keys, BLOBs and attributes.
    TableFile(QString name, QString prefix, Driver driver,
              const std::function<void(TableFile&)>& declare);
    ~TableFile();
    TableFile(const TableFile&) = delete;
    TableFile& operator=(const TableFile&) = delete;

    // ---- declaration (before the first open) --------------------------------
    // Fields are named as their columns ("NAME"); returns the field's number from 1.
    int addField(const QString& name, FieldRef ref);
    template <typename T>
    int addField(const QString& name, T& var) {
        return addField(name, ref(var));
    }
    // Key parts are fields of this table, by reference; `descending` marks the parts
    // that run from high to low (none when empty).
    KEY addKey(const QString& name, const QString& description,
               std::initializer_list<FieldRef> parts, unsigned flags,
               std::initializer_list<bool> descending = {});
    void addBlob(const QString& name, BLOB& holder, bool binary = false);
    void setFileName(const QString& programName);
    // The file name is read from `var` each time the file is opened.
    void bindFileName(FieldRef var);
    void setPassword(const QString& password);
    void setCreate(bool on) { create_ = on; }
    bool create() const { return create_; }

    const QString& name() const { return name_; }
    const QString& prefix() const { return prefix_; }
    Driver driver() const { return driver_; }
    const std::vector<Field>& fields() const { return fields_; }
    const std::vector<Key>& keys() const { return keys_; }
    const std::vector<Blob>& blobs() const { return blobs_; }
    const Key& key(int index) const { return keys_[size_t(index)]; }
    KEY keyHandle(int index) { return KEY{this, index}; }
    // The field whose buffer `r` refers to; -1 when it is not a field of this table.
    int fieldIndex(const FieldRef& r) const;
    bool encrypted() const { return !password_.isEmpty(); }
    const QString& password() const { return password_; }
    // The file name as the program gives it now (the bound variable's contents).
    QString fileName() const;
    // The native path of the open file (empty when not open).
    const QString& openPath() const { return path_; }

    // The label that names the table in messages, and where messages go; set by the
    // table's access object. When set, a failed open is reported there.
    void setErrors(ErrorClass* errors, const QString& label) {
        errors_ = errors;
        label_ = label;
    }
    // The label as messages show it: the bound file name's contents, else the label.
    QString messageLabel() const;

    // Seconds a statement waits for a lock held by another thread or process.
    void setLockWait(int seconds);
    int lockWait() const { return lockWait_; }

    // ---- state ----------------------------------------------------------------
    int openCount() const { return openCount_; }
    bool physicallyOpen() const { return conn_ != nullptr; }
    // Opens the file now if it is open by count but not yet on disk. Sets the error
    // code and returns false on failure.
    bool ensureOpen();
    // One more / one less open. The last close closes the file.
    void openOnce();
    void closeOnce();
    // Closes the file whatever the count, clears the buffer (thread end).
    void release();

    RecordPointer current() const { return current_; }
    // Clears the record buffer: fields blank or zero, BLOBs empty.
    void clearRecord();
    RecordImage saveRecord() const;
    void restoreRecord(const RecordImage& image);
    bool sameRecord(const RecordImage& image) const;

    // ---- operations used by the statements, views and managers ---------------
    tbl::Connection* connection() { return conn_.get(); }
    // Reads record `ptr` into the buffer (BLOBs fetched on demand).
    bool readRecord(RecordPointer ptr);
    // Reads the first record whose key fields equal the buffer's.
    bool readByKey(int keyIndex);
    bool addRecord();
    bool putRecord();
    bool deleteRecord();
    std::int64_t countRecords();
    // Loads the BLOB's contents for its holder (called by BLOB). False, with the
    // error code set, when they cannot be read.
    bool loadBlob(int index, RecordPointer source, std::uint64_t generation, QByteArray* out);
    std::uint64_t generation() const { return generation_; }
    // Fills the buffer from a statement row whose columns are fields, in
    // fields() order, starting at `column`; clears the current record's BLOBs.
    void fillFromRow(void* stmt, int column, RecordPointer ptr);
    void setCurrent(RecordPointer ptr) { current_ = ptr; }

    // The scan of SET/NEXT/PREVIOUS.
    tbl::Cursor& cursor();

    // ---- writers that share the file ------------------------------------------
    // Takes the current record, as the buffer holds it now (every field) and as it
    // is stored (every BLOB the buffer has not changed), as the record its caller
    // read. Until unwatch(), a rewrite of that record (putRecord, PUT, the access
    // and relation objects' Update) is refused with RecordChanged and writes
    // nothing when the stored record is no longer that one: changed or deleted by
    // another thread or program. Without a current record nothing is watched;
    // false (with the error set) when a BLOB cannot be read.
    bool watch();
    void unwatch();
    // True unless a watched record is about to be rewritten and is no longer as
    // it was read (RecordChanged; a failed read sets its own error). Meaningful
    // inside a write transaction of the file, which keeps it true until the
    // transaction ends.
    bool stillAsWatched();

    // The files whose writes a transaction of this file may carry in its journal
    // (those of its relations and of its transactions; see LOGOUT), and back. A
    // journal never writes into any other file.
    void addJournalPartner(TableFile& other);
    const std::vector<TableFile*>& journalPartners() const { return partners_; }
    // Reports (through the error manager set with setErrors) what the last
    // completion of an interrupted transaction on this file's connection could
    // not carry out.
    void reportJournal();

  private:
    friend class BLOB;
    bool openPhysical();
    void reportOpenFailure();
    void reportReadOnlyShare();
    // Open, with a record read to rewrite or delete.
    bool haveCurrent();
    void resetBlobs(RecordPointer ptr);

    QString name_;
    QString prefix_;
    Driver driver_;
    QString fixedName_;
    FieldRef nameVar_;
    QString password_;
    bool create_ = false;
    int lockWait_ = 10;
    std::vector<Field> fields_;
    std::vector<Key> keys_;
    std::vector<Blob> blobs_;

    ErrorClass* errors_ = nullptr;
    QString label_;

    int openCount_ = 0;
    std::unique_ptr<tbl::Connection> conn_;
    std::unique_ptr<tbl::Cursor> cursor_;
    QString path_;
    RecordPointer current_ = 0;
    std::uint64_t generation_ = 0;
    std::unique_ptr<tbl::WatchedRecord> watched_;
    std::vector<TableFile*> partners_;
};

// ---------------------------------------------------------------------------
// File statements. Each sets ERRORCODE() (0 on success).

void OPEN(TableFile& file);
void CLOSE(TableFile& file);
void CLEAR(TableFile& file);
// File order from the first record.
void SET(TableFile& file);
// Key order from the first record of the key.
void SET(const KEY& key);
// Key order from the key value now in the record buffer (the first record at or
// after it).
void SET(const KEY& key, const KEY& fromBuffer);
// Reads the next (previous) record of the scan into the buffer; error 33 past the
// end.
void NEXT(TableFile& file);
void PREVIOUS(TableFile& file);
// True once the scan has read its last record (or found none). (The runtime's EOF;
// the C library keeps that name as a macro.)
bool Eof(TableFile& file);
// Reads a record by its pointer.
void GET(TableFile& file, RecordPointer pointer);
// Reads the first record whose key equals the key fields of the buffer.
void GET(TableFile& file, const KEY& key);
// Rewrites the record last read. (In namespace rt: the program has a variable of
// this name.)
namespace rt {
void PUT(TableFile& file);
}
// Adds the buffer as a new record (it becomes the current one); DELETE removes the
// current record.
void ADD(TableFile& file);
void DELETE(TableFile& file);
std::int64_t RECORDS(TableFile& file);
RecordPointer POINTER(TableFile& file);
// The scan's position as text, and a scan restarted at such a position (the
// record at the position is the next one NEXT reads).
QString POSITION(TableFile& file);
void RESET(TableFile& file, QStringView position);

// Transactions over one or more files of the calling thread. The first file is the
// one through which an interrupted commit is completed (the first encrypted one
// when the first is not encrypted and another is: a journal kept in a file
// without a password never writes into one with a password). The files become
// each other's journal partners.
void LOGOUT(int timeoutSeconds, std::initializer_list<TableFile*> files);
void LOGOUT(int timeoutSeconds, const std::vector<TableFile*>& files);
void COMMIT();
void ROLLBACK();
// True while the calling thread has a transaction open.
bool inTransaction();

// Copies between a BLOB of the record buffer and a file. 0 on success.
int BlobToFile(const BLOB& blob, QStringView fileName);
int FileToBlob(QStringView fileName, BLOB& blob);
