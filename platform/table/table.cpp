#include "table.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cstring>
#include <map>
#include <set>

#include "core/paths.h"
#include "driver.h"

using tbl::Arg;
using tbl::Args;
using tbl::quoted;

namespace {

int rawSize(const FieldRef& f) {
    switch (f.kind) {
        case Kind::String:
        case Kind::CString:
            return f.size * 2;
        case Kind::Decimal:
        case Kind::Real:
            return 8;
        case Kind::Byte:
            return 1;
        case Kind::Short:
            return 2;
        default:
            return 4;
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// BLOB

bool BLOB::fetch() const {
    if (loaded_)
        return true;
    QByteArray bytes;
    // A failed read is not kept: the next look reads again, and nobody takes
    // "could not read" for "empty".
    if (file_ && !file_->loadBlob(index_, source_, generation_, &bytes))
        return false;
    data_ = bytes;
    loaded_ = true;
    return true;
}

QByteArray BLOB::data() const {
    return fetch() ? data_ : QByteArray();
}

void BLOB::setData(const QByteArray& bytes) {
    data_ = bytes;
    loaded_ = true;
    changed_ = true;
}

void BLOB::unload(RecordPointer source, std::uint64_t generation) {
    data_.clear();
    loaded_ = false;
    changed_ = false;
    source_ = source;
    generation_ = generation;
}

BLOB::State BLOB::state() const {
    return State{data_, loaded_, changed_, source_, generation_};
}

void BLOB::setState(const State& s) {
    data_ = s.data;
    loaded_ = s.loaded;
    changed_ = s.changed;
    source_ = s.source;
    generation_ = s.generation;
}

// ---------------------------------------------------------------------------
// Declaration

TableFile::TableFile(QString name, QString prefix, Driver driver)
    : name_(std::move(name)), prefix_(std::move(prefix)), driver_(driver) {}

TableFile::TableFile(QString name, QString prefix, Driver driver,
                     const std::function<void(TableFile&)>& declare)
    : TableFile(std::move(name), std::move(prefix), driver) {
    declare(*this);
}

int TableFile::addField(const QString& name, FieldRef ref) {
    fields_.push_back({name, ref});
    return int(fields_.size());
}

KEY TableFile::addKey(const QString& name, const QString& description,
                      std::initializer_list<FieldRef> parts, unsigned flags,
                      std::initializer_list<bool> descending) {
    Key k;
    k.name = name;
    k.description = description;
    k.flags = flags;
    auto d = descending.begin();
    for (const FieldRef& r : parts) {
        const bool desc = d != descending.end() ? *d++ : false;
        k.parts.push_back({fieldIndex(r), desc});
    }
    keys_.push_back(k);
    return KEY{this, int(keys_.size()) - 1};
}

void TableFile::addBlob(const QString& name, BLOB& holder, bool binary) {
    holder.bind(this, int(blobs_.size()));
    blobs_.push_back({name, &holder, binary});
}

void TableFile::setFileName(const QString& programName) {
    fixedName_ = programName;
}

void TableFile::bindFileName(FieldRef var) {
    nameVar_ = var;
}

void TableFile::setPassword(const QString& password) {
    password_ = password;
}

int TableFile::fieldIndex(const FieldRef& r) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].ref.ptr == r.ptr)
            return int(i);
    }
    return -1;
}

QString TableFile::fileName() const {
    return nameVar_.valid() ? CLIP(nameVar_.get().toText()) : fixedName_;
}

QString TableFile::messageLabel() const {
    if (nameVar_.valid()) {
        const QString bound = fileName();
        if (!bound.isEmpty())
            return bound;
    }
    return label_.isEmpty() ? name_ : label_;
}

void TableFile::setLockWait(int seconds) {
    lockWait_ = seconds > 0 ? seconds : 1;
    if (conn_)
        conn_->setBusyTimeout(lockWait_ * 1000);
}

// ---------------------------------------------------------------------------
// Open and close

namespace {
// The open failures this thread has shown. A window's lists try the open again at
// every read (each key press), and its tables may share one missing folder: the
// user is told once, until the file opens or its window closes.
thread_local std::set<QString> tShownFailures;

QString folderKey(const QString& path) {
    return QStringLiteral("folder:") + QFileInfo(path).path();
}
QString fileKey(const QString& path) {
    return QStringLiteral("file:") + path;
}

void forgetFailures(const QString& path) {
    if (tShownFailures.empty())
        return;
    for (auto it = tShownFailures.begin(); it != tShownFailures.end();) {
        if (*it == folderKey(path) || it->startsWith(fileKey(path) + u':'))
            it = tShownFailures.erase(it);
        else
            ++it;
    }
}
}  // namespace

bool TableFile::ensureOpen() {
    if (conn_)
        return true;
    if (openCount_ <= 0) {
        rt::setError(ErrCode::NotOpen, name_);
        return false;
    }
    if (!openPhysical()) {
        reportOpenFailure();
        return false;
    }
    reportJournal();
    return true;
}

bool TableFile::openPhysical() {
    const QString name = fileName();
    const QString path = rt::nativePath(name);
    if (path.isEmpty()) {
        rt::setError(ErrCode::NoFile, name_, QStringLiteral("no file name"));
        return false;
    }
    int code = 0;
    QString detail;
    conn_ = tbl::Connection::open(path, *this, &code, &detail);
    if (!conn_) {
        rt::setError(code, name, detail);
        return false;
    }
    path_ = path;
    ++generation_;
    current_ = 0;
    forgetFailures(path);
    if (conn_->folderKind() == tbl::FolderKind::NetworkNoLocks)
        reportReadOnlyShare();
    rt::clearError();
    return true;
}

void TableFile::reportReadOnlyShare() {
    // Once for each folder in the life of the process: every thread opens the file
    // again, and a base has two files in its folder.
    if (!errors_ ||
        !tbl::firstTelling(QStringLiteral("read-only share\n") + QFileInfo(path_).path()))
        return;
    errors_->ThrowFile(Msg::ReadOnlyShare, messageLabel());
}

void TableFile::reportOpenFailure() {
    if (!errors_)
        return;
    const int code = ERRORCODE();
    const QString path = rt::nativePath(fileName());
    const QString key = code == ErrCode::PathNotFound
                            ? folderKey(path)
                            : fileKey(path) + u':' + QString::number(code);
    if (!tShownFailures.insert(key).second)
        return;
    // A file that could not be made (no folder, a read-only one) is not one that
    // would not open.
    const bool made =
        code == ErrCode::PathNotFound || (code == ErrCode::ReadOnly && !QFileInfo::exists(path));
    errors_->ThrowFile(made ? Msg::CreateFailed : Msg::OpenFailed, messageLabel());
}

void TableFile::openOnce() {
    ++openCount_;
    rt::clearError();
}

void TableFile::closeOnce() {
    if (openCount_ <= 0) {
        rt::setError(ErrCode::NotOpen, name_);
        return;
    }
    if (--openCount_ == 0) {
        cursor_.reset();
        conn_.reset();
        path_.clear();
        current_ = 0;
        if (!tShownFailures.empty())
            forgetFailures(rt::nativePath(fileName()));
    }
    rt::clearError();
}

void TableFile::release() {
    openCount_ = 0;
    cursor_.reset();
    conn_.reset();
    path_.clear();
    current_ = 0;
    clearRecord();
}

tbl::Cursor& TableFile::cursor() {
    if (!cursor_)
        cursor_ = std::make_unique<tbl::Cursor>(*this);
    return *cursor_;
}

// ---------------------------------------------------------------------------
// The record buffer

void TableFile::clearRecord() {
    for (const auto& f : fields_)
        f.ref.clear();
    for (const auto& b : blobs_) {
        b.holder->setData({});
        b.holder->changed_ = false;
        b.holder->source_ = 0;
    }
}

RecordImage TableFile::saveRecord() const {
    RecordImage img;
    for (const auto& f : fields_)
        img.fields.append(static_cast<const char*>(f.ref.ptr), rawSize(f.ref));
    for (const auto& b : blobs_) {
        const BLOB::State s = b.holder->state();
        img.blobs.push_back(s.data);
        img.blobsLoaded.push_back(s.loaded);
        img.blobsChanged.push_back(s.changed);
        img.blobSources.push_back(s.source);
        img.blobGenerations.push_back(s.generation);
    }
    return img;
}

void TableFile::restoreRecord(const RecordImage& img) {
    int at = 0;
    for (const auto& f : fields_) {
        const int n = rawSize(f.ref);
        if (at + n <= img.fields.size())
            std::memcpy(f.ref.ptr, img.fields.constData() + at, size_t(n));
        at += n;
    }
    for (size_t i = 0; i < blobs_.size() && i < img.blobs.size(); ++i) {
        blobs_[i].holder->setState({img.blobs[i], bool(img.blobsLoaded[i]),
                                    bool(img.blobsChanged[i]), img.blobSources[i],
                                    img.blobGenerations[i]});
    }
}

bool TableFile::sameRecord(const RecordImage& img) const {
    int at = 0;
    for (const auto& f : fields_) {
        const int n = rawSize(f.ref);
        if (at + n > img.fields.size() ||
            std::memcmp(f.ref.ptr, img.fields.constData() + at, size_t(n)) != 0)
            return false;
        at += n;
    }
    for (size_t i = 0; i < blobs_.size() && i < img.blobs.size(); ++i) {
        const BLOB::State s = blobs_[i].holder->state();
        if (s.changed != bool(img.blobsChanged[i]) || s.source != img.blobSources[i] ||
            (s.loaded && img.blobsLoaded[i] && s.data != img.blobs[i]))
            return false;
    }
    return true;
}

void TableFile::resetBlobs(RecordPointer ptr) {
    for (const auto& b : blobs_)
        b.holder->unload(ptr, generation_);
}

bool TableFile::loadBlob(int index, RecordPointer source, std::uint64_t generation,
                         QByteArray* out) {
    out->clear();
    if (source == 0)
        return true;  // never read from a file: empty
    // The record came from a file since closed: its body is not there to read, and
    // another file's is never given in its place.
    if (!conn_ || generation != generation_) {
        rt::setError(ErrCode::NotOpen, messageLabel(),
                     QStringLiteral("the record's file was closed before its text was read"));
        return false;
    }
    sqlite3_stmt* st =
        conn_->statement(QStringLiteral("SELECT data FROM %1 WHERE \"_ptr\"=?")
                             .arg(quoted(name_ + u'_' + blobs_[size_t(index)].name)));
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, source);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
        *out = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, 0)),
                          sqlite3_column_bytes(st, 0));
    }
    const int err =
        rc == SQLITE_ROW || rc == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(conn_->db());
    sqlite3_reset(st);
    if (err != SQLITE_OK) {
        conn_->setError(err);
        return false;
    }
    return true;  // no row: an empty body, which is not stored
}

void TableFile::fillFromRow(void* stmt, int column, RecordPointer ptr) {
    auto* st = static_cast<sqlite3_stmt*>(stmt);
    for (size_t i = 0; i < fields_.size(); ++i)
        tbl::readField(st, column + int(i), fields_[i].ref);
    current_ = ptr;
    resetBlobs(ptr);
}

// ---------------------------------------------------------------------------
// Reading and writing records

namespace {
QString allColumns(const TableFile& t) {
    QStringList c;
    for (const auto& f : t.fields())
        c << quoted(f.name);
    return c.join(u',');
}

// The column values of the buffer's fields, in declaration order.
Args bufferValues(const TableFile& t) {
    Args v;
    v.reserve(t.fields().size());
    for (const auto& f : t.fields())
        v.push_back(tbl::fieldArg(f.ref));
    return v;
}
}  // namespace

bool TableFile::readRecord(RecordPointer ptr) {
    if (!ensureOpen())
        return false;
    sqlite3_stmt* st = conn_->statement(
        QStringLiteral("SELECT %1 FROM %2 WHERE \"_ptr\"=?").arg(allColumns(*this), quoted(name_)));
    if (!st)
        return false;
    sqlite3_bind_int64(st, 1, ptr);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        fillFromRow(st, 0, ptr);
    sqlite3_reset(st);
    if (rc == SQLITE_ROW) {
        rt::clearError();
        return true;
    }
    if (rc == SQLITE_DONE)
        rt::setError(ErrCode::RecordNotFound, messageLabel());
    else
        conn_->setError(rc);
    return false;
}

bool TableFile::readByKey(int keyIndex) {
    if (!ensureOpen())
        return false;
    tbl::Seeker s(*this);
    s.setOrder(keyIndex);
    QStringList cond;
    Args args;
    const auto& parts = keys_[size_t(keyIndex)].parts;
    for (size_t i = 0; i < parts.size(); ++i) {
        const Value v = fields_[size_t(parts[i].field)].ref.get();
        cond << tbl::keyColumn(*this, keyIndex, int(i)) + QStringLiteral("=?");
        args.push_back(
            tbl::keyArg(*this, keyIndex, int(i), tbl::keyValue(*this, keyIndex, int(i), v)));
    }
    s.addCondition(cond.join(QStringLiteral(" AND ")), args);
    bool found = false;
    const int n = s.read(nullptr, true, true, 1, [&](const tbl::Position& pos, const auto& row) {
        row.fill();
        current_ = pos.ptr;
        resetBlobs(pos.ptr);
        found = true;
        return false;
    });
    if (n < 0)
        return false;
    if (!found) {
        rt::setError(ErrCode::RecordNotFound, messageLabel());
        return false;
    }
    rt::clearError();
    return true;
}

bool TableFile::addRecord() {
    if (!ensureOpen())
        return false;
    const Args values = bufferValues(*this);
    std::vector<QByteArray> bodies;
    for (const auto& b : blobs_) {
        if (!b.holder->fetch())
            return false;  // a body that cannot be read is not stored as empty
        bodies.push_back(b.holder->data());
    }
    tbl::WriteScope w(conn_.get());
    if (!w.ok())
        return false;
    // The pointer is chosen here, under the write lock, so that a record written
    // again from a transaction's record lands where it was.
    sqlite3_stmt* mx = conn_->statement(
        QStringLiteral("SELECT coalesce(max(\"_ptr\"), 0) + 1 FROM %1").arg(quoted(name_)));
    if (!mx)
        return false;
    const RecordPointer ptr = sqlite3_step(mx) == SQLITE_ROW ? sqlite3_column_int64(mx, 0) : 1;
    sqlite3_reset(mx);
    if (!tbl::insertRow(conn_.get(), *this, ptr, values))
        return false;
    for (size_t i = 0; i < blobs_.size(); ++i) {
        if (bodies[i].isEmpty())
            continue;
        if (!conn_->write(QStringLiteral("INSERT INTO %1(\"_ptr\",data) VALUES(?,?)")
                              .arg(quoted(name_ + u'_' + blobs_[i].name)),
                          {Arg::integer(ptr), Arg::blob(bodies[i])}))
            return false;
    }
    if (!w.commit()) {
        conn_->setError(sqlite3_errcode(conn_->db()));
        return false;
    }
    std::vector<int> all(blobs_.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    tbl::noteStore(*this, ptr, values, bodies, all);
    current_ = ptr;
    for (size_t i = 0; i < blobs_.size(); ++i)
        blobs_[i].holder->setState({bodies[i], true, false, ptr, generation_});
    rt::clearError();
    return true;
}

bool TableFile::haveCurrent() {
    if (!ensureOpen())
        return false;
    if (current_ == 0) {
        rt::setError(ErrCode::RecordNotAvailable, messageLabel());
        return false;
    }
    return true;
}

bool TableFile::putRecord() {
    if (!haveCurrent())
        return false;
    const Args values = bufferValues(*this);
    std::vector<int> dirty;
    std::vector<QByteArray> bodies(blobs_.size());
    for (size_t i = 0; i < blobs_.size(); ++i) {
        BLOB& b = *blobs_[i].holder;
        if (b.changed_ || b.source_ != current_ || b.generation_ != generation_) {
            dirty.push_back(int(i));
            if (!b.fetch())
                return false;  // a body that cannot be read is not stored as empty
            bodies[i] = b.data();
        }
    }
    tbl::WriteScope w(conn_.get());
    if (!w.ok() || !stillAsWatched())
        return false;
    int changes = 0;
    if (!tbl::updateRow(conn_.get(), *this, current_, values, &changes))
        return false;
    if (changes == 0) {
        rt::setError(ErrCode::RecordNotFound, messageLabel());
        return false;
    }
    for (int i : dirty) {
        if (!tbl::storeBody(conn_.get(), *this, i, current_, bodies[size_t(i)]))
            return false;
    }
    if (!w.commit()) {
        conn_->setError(sqlite3_errcode(conn_->db()));
        return false;
    }
    tbl::noteStore(*this, current_, values, bodies, dirty);
    for (int i : dirty)
        blobs_[size_t(i)].holder->setState({bodies[size_t(i)], true, false, current_, generation_});
    rt::clearError();
    return true;
}

bool TableFile::deleteRecord() {
    if (!haveCurrent())
        return false;
    tbl::WriteScope w(conn_.get());
    if (!w.ok())
        return false;
    int changes = 0;
    if (!tbl::deleteRow(conn_.get(), *this, current_, &changes))
        return false;
    if (changes == 0) {
        rt::setError(ErrCode::RecordNotFound, messageLabel());
        return false;
    }
    if (!w.commit()) {
        conn_->setError(sqlite3_errcode(conn_->db()));
        return false;
    }
    tbl::noteDelete(*this, current_);
    current_ = 0;
    rt::clearError();
    return true;
}

std::int64_t TableFile::countRecords() {
    if (!ensureOpen())
        return 0;
    sqlite3_stmt* st = conn_->statement(QStringLiteral("SELECT n FROM _kaldor_count"));
    if (!st)
        return 0;
    const int rc = sqlite3_step(st);
    const std::int64_t n = rc == SQLITE_ROW ? sqlite3_column_int64(st, 0) : 0;
    sqlite3_reset(st);
    if (rc != SQLITE_ROW) {
        conn_->setError(rc);
        return 0;
    }
    rt::clearError();
    return n;
}

// ---------------------------------------------------------------------------
// Statements

void OPEN(TableFile& file) {
    file.openOnce();
    file.ensureOpen();
}

void CLOSE(TableFile& file) {
    file.closeOnce();
}

void CLEAR(TableFile& file) {
    file.clearRecord();
}

namespace {
void startScan(TableFile& file, int key, bool fromBuffer) {
    tbl::Cursor& c = file.cursor();
    c.seeker.setOrder(key);
    c.active = true;
    c.started = false;
    c.eof = false;
    c.hasStart = fromBuffer;
    c.start = fromBuffer ? c.seeker.positionOfBuffer(0) : tbl::Position{};
    c.last = {};
    rt::clearError();
}

void step(TableFile& file, bool forward) {
    tbl::Cursor& c = file.cursor();
    if (!c.active) {
        rt::setError(ErrCode::RecordNotAvailable, file.messageLabel());
        return;
    }
    const tbl::Position* from = c.started ? &c.last : (c.hasStart ? &c.start : nullptr);
    const bool inclusive = !c.started && c.hasStart;
    int seen = 0;
    const int n = c.seeker.read(from, forward, inclusive, 2,
                                [&](const tbl::Position& pos, const tbl::Seeker::Row& row) {
                                    if (seen++ == 0) {
                                        file.fillFromRow(row.st, 1, pos.ptr);
                                        c.last = pos;
                                    }
                                    return true;
                                });
    if (n < 0)
        return;
    if (n == 0) {
        c.eof = true;
        rt::setError(ErrCode::RecordNotAvailable, file.messageLabel());
        return;
    }
    c.started = true;
    c.eof = n < 2;
    rt::clearError();
}
}  // namespace

void SET(TableFile& file) {
    startScan(file, -1, false);
}

void SET(const KEY& key) {
    startScan(*key.file, key.index, false);
}

void SET(const KEY& key, const KEY& fromBuffer) {
    (void)fromBuffer;
    startScan(*key.file, key.index, true);
}

void NEXT(TableFile& file) {
    step(file, true);
}

void PREVIOUS(TableFile& file) {
    step(file, false);
}

bool Eof(TableFile& file) {
    tbl::Cursor& c = file.cursor();
    if (!c.active)
        return true;
    if (c.started)
        return c.eof;
    const tbl::Position* from = c.hasStart ? &c.start : nullptr;
    const int n = c.seeker.read(from, true, true, 1, [](const auto&, const auto&) { return true; });
    return n <= 0;
}

void GET(TableFile& file, RecordPointer pointer) {
    file.readRecord(pointer);
}

void GET(TableFile& file, const KEY& key) {
    file.readByKey(key.index);
}

void rt::PUT(TableFile& file) {
    file.putRecord();
}

void ADD(TableFile& file) {
    file.addRecord();
}

void DELETE(TableFile& file) {
    file.deleteRecord();
}

std::int64_t RECORDS(TableFile& file) {
    return file.countRecords();
}

RecordPointer POINTER(TableFile& file) {
    return file.current();
}

QString POSITION(TableFile& file) {
    return file.cursor().seeker.positionOfBuffer(file.current()).toString();
}

void RESET(TableFile& file, QStringView position) {
    tbl::Cursor& c = file.cursor();
    c.active = true;
    c.started = false;
    c.eof = false;
    c.hasStart = true;
    c.start = tbl::Position::fromString(position);
    rt::clearError();
}

// ---------------------------------------------------------------------------
// BLOB copies

int BlobToFile(const BLOB& blob, QStringView fileName) {
    const QString path = rt::nativePath(fileName);
    if (path.isEmpty()) {
        rt::setError(ErrCode::NoFile, fileName, QStringLiteral("no file name"));
        return ErrCode::NoFile;
    }
    if (!QFileInfo(QFileInfo(path).path()).isDir()) {
        rt::setError(ErrCode::PathNotFound, fileName, path);
        return ErrCode::PathNotFound;
    }
    // Written beside the file and put in its place whole: a reader never sees half
    // a text, and a failed copy leaves the old file as it was.
    // A body that cannot be read is a failed copy, not an empty file.
    if (!blob.fetch())
        return ERRORCODE();
    QSaveFile out(path);
    const QByteArray bytes = blob.data();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        const int code = out.error() == QFileDevice::PermissionsError ? ErrCode::AccessDenied
                                                                      : ErrCode::FileSystem;
        rt::setError(code, fileName, path + QStringLiteral(": ") + out.errorString());
        return code;
    }
    rt::clearError();
    return 0;
}

int FileToBlob(QStringView fileName, BLOB& blob) {
    const QString path = rt::nativePath(fileName);
    QFile in(path);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        const int code = !path.isEmpty() && !QFileInfo(QFileInfo(path).path()).isDir()
                             ? ErrCode::PathNotFound
                             : ErrCode::NoFile;
        rt::setError(code, fileName, path);
        return code;
    }
    if (!in.open(QIODevice::ReadOnly)) {
        rt::setError(ErrCode::AccessDenied, fileName,
                     path + QStringLiteral(": ") + in.errorString());
        return ErrCode::AccessDenied;
    }
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        rt::setError(ErrCode::FileSystem, fileName, path + QStringLiteral(": ") + in.errorString());
        return ErrCode::FileSystem;
    }
    blob.setData(bytes);
    rt::clearError();
    return 0;
}
