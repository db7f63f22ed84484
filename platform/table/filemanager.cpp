#include "filemanager.h"

#include <unistd.h>

#include <QSysInfo>
#include <algorithm>

#include "driver.h"

using tbl::Arg;

namespace {

std::int64_t largestNumber(const FieldRef& f) {
    switch (f.kind) {
        case Kind::Byte:
            return 255;
        case Kind::Short:
            return 32767;
        case Kind::Decimal: {
            std::int64_t l = 1;
            for (int i = 0; i < 2 * f.size - 1 - f.places; ++i)
                l *= 10;
            return l - 1;
        }
        case Kind::Real:
            return std::int64_t(1) << 53;
        default:
            return 2147483647;
    }
}

bool allZero(const std::vector<Value>& values) {
    return std::all_of(values.begin(), values.end(),
                       [](const Value& v) { return v.isZeroOrBlank(); });
}

// Keeps the error of a failure across the clean-up that follows it.
struct KeptError {
    int code = ERRORCODE();
    QString file = ERRORFILE();
    QString detail = rt::errorDetail();
    void restore() const { rt::setError(code, file, detail); }
};

// The message of a failed rewrite of a record, by its cause.
int putFailureMessage() {
    switch (ERRORCODE()) {
        case ErrCode::DuplicateKey:
            return Msg::DuplicateKey;
        case ErrCode::RecordChanged:
            return Msg::RecordChanged;
        default:
            return Msg::PutFailed;
    }
}

// A message naming another table than the manager's own (a relation's child).
void throwFile(const FileManager& m, int id, const QString& label) {
    if (m.Errors)
        m.Errors->ThrowFile(id, label);
}

}  // namespace

// ---------------------------------------------------------------------------
// FileManager

FileManager::~FileManager() = default;

void FileManager::Init() {
    if (File && Errors)
        File->setErrors(Errors, FileNameValue);
}

void FileManager::Init(TableFile& file, ErrorClass& errors) {
    File = &file;
    Errors = &errors;
    Initialized = true;
    File->setErrors(Errors, FileNameValue);
}

void FileManager::Kill() {
    if (File && File->physicallyOpen())
        releaseReservation();
    reserved_.reset();
    keys_.clear();
    saved_.clear();
    Initialized = false;
    InUseFile = false;
}

BYTE FileManager::UseFile(BYTE useType) {
    if (useType == UseType::Initialize)
        return Level::Benign;
    if (!File)
        return Level::Program;
    if (Create)
        File->setCreate(true);
    File->setLockWait(LockRecover);
    if (useType == UseType::Opens)
        return Level::Benign;
    if (File->openCount() > 0 && !File->physicallyOpen() && !File->ensureOpen())
        return Level::Notify;
    return Level::Benign;
}

void FileManager::SetErrors(ErrorClass& errors) {
    Errors = &errors;
    if (File)
        File->setErrors(Errors, FileNameValue);
}

void FileManager::AddKey(const KEY& key, const QString& description, BYTE autoNumber) {
    keys_.push_back({key, description, autoNumber != 0});
}

QString FileManager::GetName() const {
    return File ? File->messageLabel() : FileNameValue;
}

bool FileManager::Throw(int id) {
    if (!Errors)
        return false;
    return Errors->ThrowFile(id, GetName());
}

bool FileManager::ThrowMessage(int id, const QString& text) {
    if (!Errors)
        return false;
    Errors->SetFile(GetName());
    return Errors->ThrowMessage(id, text);
}

int FileManager::Open() {
    UseFile(UseType::Opens);
    if (!File)
        return Level::Program;
    File->openOnce();
    return Level::Benign;
}

int FileManager::Close() {
    UseFile(UseType::Opens);
    if (!File)
        return Level::Program;
    if (File->openCount() == 0) {
        rt::setError(ErrCode::NotOpen, GetName());
        Throw(Msg::CloseFailed);
        return Level::Notify;
    }
    if (File->openCount() == 1 && File->physicallyOpen())
        releaseReservation();
    File->closeOnce();
    return Level::Benign;
}

bool FileManager::assignNumberLocked(const RegisteredKey& k, std::int64_t* value) {
    const TableFile::Key& key = File->key(k.key.index);
    const auto& field = File->fields()[size_t(key.parts.back().field)];
    tbl::Connection* c = File->connection();
    const QString col = tbl::quoted(field.name);
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(col, tbl::quoted(File->name()));
    if (key.has(KeyFlag::Optional))
        sql += QStringLiteral(" WHERE ") + tbl::optionalCondition(*File, key);
    sql += QStringLiteral(" ORDER BY %1 DESC LIMIT 1").arg(col);
    std::int64_t high = 0;
    sqlite3_stmt* st = c->statement(sql);
    if (!st)
        return false;
    if (sqlite3_step(st) == SQLITE_ROW)
        high = std::max<std::int64_t>(high, sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    st = c->statement(QStringLiteral("SELECT max(value) FROM _kaldor_reserve WHERE key=?"));
    if (!st)
        return false;
    tbl::bind(st, 1, Arg::text(key.name));
    if (sqlite3_step(st) == SQLITE_ROW)
        high = std::max<std::int64_t>(high, sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    if (high + 1 > largestNumber(field.ref)) {
        rt::setError(ErrCode::NoMoreNumbers, GetName());
        return false;
    }
    *value = high + 1;
    return true;
}

bool FileManager::reserve() {
    for (const RegisteredKey& k : keys_) {
        if (!k.autoNumber)
            continue;
        tbl::WriteScope w(File->connection());
        std::int64_t value = 0;
        if (!w.ok() || !assignNumberLocked(k, &value))
            return false;
        const QString keyName = File->key(k.key.index).name;
        if (!File->connection()->write(
                QStringLiteral(
                    "INSERT INTO _kaldor_reserve(key, value, host, pid) VALUES(?,?,?,?)"),
                {Arg::text(keyName), Arg::integer(value), Arg::text(QSysInfo::machineHostName()),
                 Arg::integer(::getpid())}) ||
            !w.commit())
            return false;
        const int field = File->key(k.key.index).parts.back().field;
        File->fields()[size_t(field)].ref.set(Value(value));
        reserved_ = Reservation{keyName, field, value};
        break;  // one numbered key per table
    }
    return true;
}

void FileManager::releaseReservation() {
    if (!reserved_ || !File || !File->physicallyOpen())
        return;
    File->connection()->write(QStringLiteral("DELETE FROM _kaldor_reserve WHERE key=? AND value=?"),
                              {Arg::text(reserved_->key), Arg::integer(reserved_->value)});
    reserved_.reset();
}

int FileManager::PrimeRecord(bool suppressClear) {
    if (UseFile(UseType::Corrupts) != Level::Benign)
        return Level::Notify;
    releaseReservation();
    if (!suppressClear)
        File->clearRecord();
    File->setCurrent(0);
    if (!File->ensureOpen())
        return Level::Notify;
    if (!reserve()) {
        Throw(ERRORCODE() == ErrCode::NoMoreNumbers ? Msg::NoMoreNumbers : Msg::RetryLock);
        return Level::Notify;
    }
    rt::clearError();
    return Level::Benign;
}

int FileManager::CancelAutoInc() {
    if (UseFile(UseType::Uses) != Level::Benign)
        return Level::Notify;
    if (reserved_) {
        File->fields()[size_t(reserved_->field)].ref.clear();
        releaseReservation();
    }
    return Level::Benign;
}

int FileManager::reportFailure(int messageId, bool report) {
    if (report) {
        if (ERRORCODE() == ErrCode::RecordChanged) {
            Throw(Msg::RecordChanged);
        } else if (ERRORCODE() == ErrCode::DuplicateKey) {
            QString key;
            for (const auto& k : File->keys()) {
                if (k.has(KeyFlag::Unique)) {
                    key = k.description;
                    break;
                }
            }
            ThrowMessage(Msg::DuplicateKey, key);
        } else {
            Throw(messageId);
        }
    }
    return Level::Notify;
}

int FileManager::insert(bool report) {
    if (UseFile(UseType::Corrupts) != Level::Benign)
        return Level::Notify;
    if (!File->ensureOpen())
        return reportFailure(Msg::AddFailed, report);
    tbl::Connection* c = File->connection();
    std::optional<std::pair<int, std::int64_t>> assigned;
    bool ok;
    {
        tbl::WriteScope w(c);
        ok = w.ok();
        for (const RegisteredKey& k : keys_) {
            if (!ok || !k.autoNumber)
                continue;
            const TableFile::Key& key = File->key(k.key.index);
            const FieldRef& f = File->fields()[size_t(key.parts.back().field)].ref;
            if (reserved_ && reserved_->key == key.name && f.get().toInt() == reserved_->value) {
                ok = c->write(QStringLiteral("DELETE FROM _kaldor_reserve WHERE key=? AND value=?"),
                              {Arg::text(reserved_->key), Arg::integer(reserved_->value)});
            } else if (f.isZeroOrBlank()) {
                std::int64_t value = 0;
                ok = assignNumberLocked(k, &value);
                if (ok) {
                    f.set(Value(value));
                    assigned = {key.parts.back().field, value};
                }
            }
        }
        ok = ok && File->addRecord() && w.commit();
    }  // a failed insert's own transaction is rolled back here
    if (!ok) {
        if (assigned)
            File->fields()[size_t(assigned->first)].ref.clear();
        return reportFailure(Msg::AddFailed, report);
    }
    reserved_.reset();
    return Level::Benign;
}

int FileManager::Insert() {
    return insert(true);
}

int FileManager::TryInsert() {
    return insert(false);
}

int FileManager::update(bool report) {
    if (UseFile(UseType::Corrupts) != Level::Benign)
        return Level::Notify;
    if (!File->putRecord())
        return reportFailure(Msg::PutFailed, report);
    return Level::Benign;
}

int FileManager::Update() {
    return update(true);
}

int FileManager::TryUpdate() {
    return update(false);
}

int FileManager::TryFetch(const KEY& key) {
    if (UseFile(UseType::Returns) != Level::Benign)
        return Level::Notify;
    return File->readByKey(key.index) ? Level::Benign : Level::Notify;
}

int FileManager::Fetch(const KEY& key) {
    const int r = TryFetch(key);
    if (r != Level::Benign)
        Throw(Msg::FetchFailed);
    return r;
}

int FileManager::Watch() {
    if (UseFile(UseType::Uses) != Level::Benign)
        return Level::Notify;
    if (!File->watch()) {
        Throw(Msg::FetchFailed);
        return Level::Notify;
    }
    return Level::Benign;
}

void FileManager::Unwatch() {
    if (File)
        File->unwatch();
}

int FileManager::SaveBuffer() {
    const int id = nextSave_++;
    saved_[id] = File->saveRecord();
    return id;
}

void FileManager::RestoreBuffer(int& id, bool restore) {
    auto it = saved_.find(id);
    if (it != saved_.end()) {
        if (restore)
            File->restoreRecord(it->second);
        saved_.erase(it);
    }
    id = 0;
}

bool FileManager::EqualBuffer(int id) const {
    auto it = saved_.find(id);
    return it != saved_.end() && File->sameRecord(it->second);
}

// ---------------------------------------------------------------------------
// RelationManager

RelationManager::~RelationManager() = default;

void RelationManager::Init(FileManager& file, BYTE useLogout) {
    Me = &file;
    UseLogout = useLogout;
    LogoutTimeout = 2;
}

void RelationManager::Kill() {
    relations_.clear();
    opened_.clear();
    declared_ = false;
}

void RelationManager::declare() {
    if (declared_ || declaring_)
        return;
    declaring_ = true;
    DeferedAddRelations();
    declaring_ = false;
    declared_ = true;
}

void RelationManager::AddRelation(RelationManager& parent) {
    relations_.push_back({&parent, false, RI::None, RI::None, KEY{}, {}});
}

void RelationManager::AddRelation(RelationManager& child, BYTE updateMode, BYTE deleteMode,
                                  const KEY& childKey) {
    relations_.push_back({&child, true, updateMode, deleteMode, childKey, {}});
    // The journal of a change of this table may complete its cascades into the
    // child's file, and no other.
    if (Me && Me->File && child.Me && child.Me->File)
        Me->File->addJournalPartner(*child.Me->File);
}

void RelationManager::AddRelationLink(FieldRef parentField, FieldRef childField) {
    if (!relations_.empty())
        relations_.back().links.emplace_back(parentField, childField);
}

FieldRef RelationManager::LinkedField(RelationManager& other, const FieldRef& field) {
    declare();
    other.declare();
    for (RelationManager* from : {this, &other}) {
        for (const Relation& r : from->relations_) {
            if (r.other != (from == this ? &other : this))
                continue;
            for (const auto& [parent, child] : r.links) {
                if (parent.sameAs(field))
                    return child;
                if (child.sameAs(field))
                    return parent;
            }
        }
    }
    return {};
}

void RelationManager::SetQuickScan(BYTE on, BYTE propagate) {
    quickScan_ = on != 0;
    if (propagate) {
        declare();
        for (const Relation& r : relations_) {
            if (r.child && r.other->quickScan_ != quickScan_)
                r.other->SetQuickScan(on, propagate);
        }
    }
}

int RelationManager::Open() {
    declare();
    std::vector<RelationManager*> list{this};
    if (openRelated_) {
        for (size_t i = 0; i < list.size(); ++i) {
            list[i]->declare();
            for (const Relation& r : list[i]->relations_) {
                if (std::find(list.begin(), list.end(), r.other) == list.end())
                    list.push_back(r.other);
            }
        }
    }
    for (RelationManager* m : list) {
        const int rc = m->Me->Open();
        if (rc != Level::Benign)
            return rc;
    }
    opened_.push_back(list);
    return Level::Benign;
}

int RelationManager::Close() {
    declare();
    if (opened_.empty())
        return Me->Close();
    const std::vector<RelationManager*> list = opened_.back();
    opened_.pop_back();
    int result = Level::Benign;
    for (RelationManager* m : list) {
        const int rc = m->Me->Close();
        if (rc != Level::Benign)
            result = rc;
    }
    return result;
}

void RelationManager::collectFiles(std::vector<TableFile*>* files,
                                   std::vector<RelationManager*>* seen) {
    if (std::find(seen->begin(), seen->end(), this) != seen->end())
        return;
    seen->push_back(this);
    declare();
    files->push_back(Me->File);
    for (const Relation& r : relations_) {
        if (r.child && (r.updateMode != RI::None || r.deleteMode != RI::None))
            r.other->collectFiles(files, seen);
    }
}

std::vector<std::vector<Value>> RelationManager::linkValues() const {
    std::vector<std::vector<Value>> out;
    for (const Relation& r : relations_) {
        std::vector<Value> v;
        for (const auto& [parent, child] : r.links)
            v.push_back(parent.get());
        out.push_back(std::move(v));
    }
    return out;
}

bool RelationManager::childRows(const Relation& r, const std::vector<Value>& parentValues,
                                std::vector<RecordPointer>* rows) {
    rows->clear();
    TableFile* cf = r.other->Me->File;
    if (r.links.empty() || !cf)
        return true;
    // Children are found through their key: an optional key holds no blank values.
    if (r.key.valid() && cf->key(r.key.index).has(KeyFlag::Optional) && allZero(parentValues))
        return true;
    tbl::Seeker s(*cf);
    QStringList cond;
    tbl::Args args;
    for (size_t i = 0; i < r.links.size(); ++i) {
        const int f = cf->fieldIndex(r.links[i].second);
        cond << tbl::quoted(cf->fields()[size_t(f)].name) + QStringLiteral("=?");
        args.push_back(tbl::valueArg(r.links[i].second, parentValues[i]));
    }
    s.setFields({cf->fieldIndex(r.links[0].second)});
    s.addCondition(cond.join(QStringLiteral(" AND ")), args);
    // A failed read is no "no children": restrictions and cascades stop on it.
    return s.read(nullptr, true, true, -1, [rows](const ViewPosition& p, const tbl::Seeker::Row&) {
        rows->push_back(p.ptr);
        return true;
    }) >= 0;
}

bool RelationManager::storedLinkValues(std::vector<std::vector<Value>>* values) {
    TableFile* f = Me->File;
    *values = linkValues();
    // Without a record read there is nothing stored; the write says so.
    if (f->current() == 0)
        return true;
    if (!f->ensureOpen())
        return false;
    const RecordImage image = f->saveRecord();
    const bool read = f->readRecord(f->current());
    if (read)
        *values = linkValues();
    const KeptError e;
    f->restoreRecord(image);
    e.restore();
    return read;
}

bool RelationManager::beginTransaction(bool* began) {
    *began = false;
    if (!UseLogout || inTransaction())
        return true;
    std::vector<TableFile*> files;
    std::vector<RelationManager*> seen;
    collectFiles(&files, &seen);
    LOGOUT(LogoutTimeout, files);
    if (ERRORCODE() != 0) {
        Me->Throw(Msg::LogoutFailed);
        return false;
    }
    *began = true;
    return true;
}

namespace {
// Opens the related tables that are not open on this thread for the length of one
// change, so that its relations can be applied.
class TemporaryOpen {
  public:
    explicit TemporaryOpen(const std::vector<FileManager*>& managers) {
        for (FileManager* m : managers) {
            if (m->File && m->File->openCount() == 0) {
                m->Open();
                opened_.push_back(m);
            }
        }
    }
    ~TemporaryOpen() {
        for (FileManager* m : opened_)
            m->Close();
    }

  private:
    std::vector<FileManager*> opened_;
};

std::vector<FileManager*> managersOf(const std::vector<RelationManager*>& seen) {
    std::vector<FileManager*> out;
    for (RelationManager* r : seen)
        out.push_back(r->Me);
    return out;
}

// Without a transaction of the thread's (a relation without logout), the changed
// record's own file is held from the reading of its stored values to its write,
// so that no other writer comes between them.
class HeldFile {
  public:
    explicit HeldFile(TableFile* f) {
        if (!inTransaction() && f->current() != 0 && f->ensureOpen())
            scope_.emplace(f->connection());
    }
    bool ok() const { return !scope_ || scope_->ok(); }
    bool commit() { return !scope_ || scope_->commit(); }
    // Lets go of the file; what was not committed is undone.
    void release() { scope_.reset(); }

  private:
    std::optional<tbl::WriteScope> scope_;
};
}  // namespace

int RelationManager::Update() {
    declare();
    if (Me->UseFile(UseType::Corrupts) != Level::Benign)
        return Level::Notify;
    TableFile* f = Me->File;
    std::vector<TableFile*> files;
    std::vector<RelationManager*> seen;
    collectFiles(&files, &seen);
    TemporaryOpen temp(managersOf(seen));
    const std::vector<std::vector<Value>> newValues = linkValues();

    bool began = false;
    if (!beginTransaction(&began))
        return Level::Notify;
    HeldFile held(f);
    // Ends the change unwritten, and reports it once no file is held any more.
    auto refuse = [&](int message, const QString& label) {
        const KeptError e;
        finishTransaction(began, Level::Notify, 0);
        held.release();
        e.restore();
        throwFile(*Me, message, label);
        return int(Level::Notify);
    };
    // The record as stored now, inside the transaction that writes it, is what
    // the relations apply to: not what was stored when the caller read it.
    std::vector<std::vector<Value>> oldValues;
    if (!held.ok() || !f->stillAsWatched() || !storedLinkValues(&oldValues))
        return refuse(putFailureMessage(), Me->GetName());
    for (size_t i = 0; i < relations_.size(); ++i) {
        const Relation& r = relations_[i];
        if (!r.child || r.updateMode != RI::Restrict || oldValues[i] == newValues[i])
            continue;
        std::vector<RecordPointer> rows;
        if (!childRows(r, oldValues[i], &rows))
            return refuse(Msg::PutFailed, Me->GetName());
        if (!rows.empty()) {
            for (size_t j = 0; j < r.links.size(); ++j)
                r.links[j].first.set(oldValues[i][j]);
            rt::setError(ErrCode::RecordNotAvailable, r.other->Me->GetName());
            return refuse(Msg::RestrictUpdate, r.other->Me->GetName());
        }
    }
    if (Me->TryUpdate() != Level::Benign)
        return refuse(putFailureMessage(), Me->GetName());
    const int rc = applyUpdate(oldValues, newValues);
    if (rc == Level::Benign && !held.commit())
        return refuse(Msg::PutFailed, Me->GetName());
    held.release();
    return finishTransaction(began, rc, Msg::PutFailed);
}

int RelationManager::finishTransaction(bool began, int result, int failMessage) {
    if (!began)
        return result;
    if (result != Level::Benign) {
        const KeptError e;
        ROLLBACK();
        e.restore();
        return result;
    }
    COMMIT();
    if (ERRORCODE() != 0) {
        Me->Throw(failMessage);
        return Level::Notify;
    }
    return Level::Benign;
}

int RelationManager::applyUpdate(const std::vector<std::vector<Value>>& oldValues,
                                 const std::vector<std::vector<Value>>& newValues) {
    for (size_t i = 0; i < relations_.size(); ++i) {
        const Relation& r = relations_[i];
        if (!r.child || oldValues[i] == newValues[i] ||
            (r.updateMode != RI::Cascade && r.updateMode != RI::Clear))
            continue;
        TableFile* cf = r.other->Me->File;
        std::vector<RecordPointer> rows;
        if (!childRows(r, oldValues[i], &rows)) {
            r.other->Me->Throw(Msg::PutFailed);
            return Level::Notify;
        }
        for (RecordPointer row : rows) {
            const RecordImage image = cf->saveRecord();
            int rc = Level::Notify;
            if (cf->readRecord(row)) {
                for (size_t j = 0; j < r.links.size(); ++j) {
                    if (r.updateMode == RI::Cascade)
                        r.links[j].second.set(newValues[i][j]);
                    else
                        r.links[j].second.clear();
                }
                rc = r.other->Update();
            } else {
                r.other->Me->Throw(Msg::PutFailed);
            }
            const KeptError e;
            cf->restoreRecord(image);
            e.restore();
            if (rc != Level::Benign)
                return rc;
        }
    }
    return Level::Benign;
}

int RelationManager::Delete(BYTE query) {
    declare();
    if (Me->UseFile(UseType::Corrupts) != Level::Benign)
        return Level::Notify;
    if (query && !(Me->Errors && Me->Errors->Throw(Msg::ConfirmDelete)))
        return Level::Cancel;
    std::vector<TableFile*> files;
    std::vector<RelationManager*> seen;
    collectFiles(&files, &seen);
    TemporaryOpen temp(managersOf(seen));
    bool began = false;
    if (!beginTransaction(&began))
        return Level::Notify;
    HeldFile held(Me->File);
    int rc = Level::Notify;
    if (!held.ok())
        Me->Throw(Msg::DeleteFailed);
    else
        rc = deleteCurrent();
    if (rc == Level::Benign && !held.commit()) {
        Me->Throw(Msg::DeleteFailed);
        rc = Level::Notify;
    }
    held.release();
    return finishTransaction(began, rc, Msg::DeleteFailed);
}

int RelationManager::deleteCurrent() {
    declare();
    TableFile* f = Me->File;
    if (f->current() == 0) {
        rt::setError(ErrCode::RecordNotAvailable, Me->GetName());
        Me->Throw(Msg::DeleteFailed);
        return Level::Notify;
    }
    // The linking values as stored: the buffer may hold edits. Any read that
    // fails stops the deletion: a parent never goes with its children unseen.
    std::vector<std::vector<Value>> values;
    if (!storedLinkValues(&values)) {
        Me->Throw(Msg::DeleteFailed);
        return Level::Notify;
    }
    for (size_t i = 0; i < relations_.size(); ++i) {
        const Relation& r = relations_[i];
        if (!r.child || r.deleteMode != RI::Restrict)
            continue;
        std::vector<RecordPointer> rows;
        if (!childRows(r, values[i], &rows)) {
            Me->Throw(Msg::DeleteFailed);
            return Level::Notify;
        }
        if (!rows.empty()) {
            rt::setError(ErrCode::RecordNotAvailable, r.other->Me->GetName());
            throwFile(*Me, Msg::RestrictDelete, r.other->Me->GetName());
            rt::setError(ErrCode::RecordNotAvailable, r.other->Me->GetName());
            return Level::Notify;
        }
    }
    for (size_t i = 0; i < relations_.size(); ++i) {
        const Relation& r = relations_[i];
        if (!r.child || (r.deleteMode != RI::Cascade && r.deleteMode != RI::Clear))
            continue;
        TableFile* cf = r.other->Me->File;
        std::vector<RecordPointer> rows;
        if (!childRows(r, values[i], &rows)) {
            Me->Throw(Msg::DeleteFailed);
            return Level::Notify;
        }
        for (RecordPointer row : rows) {
            const RecordImage image = cf->saveRecord();
            int rc = Level::Notify;
            if (cf->readRecord(row)) {
                if (r.deleteMode == RI::Cascade) {
                    rc = r.other->deleteCurrent();
                } else {
                    for (const auto& link : r.links)
                        link.second.clear();
                    rc = r.other->Update();
                }
            } else {
                Me->Throw(Msg::DeleteFailed);
            }
            const KeptError e;
            cf->restoreRecord(image);
            e.restore();
            if (rc != Level::Benign)
                return rc;
        }
    }
    if (!f->deleteRecord()) {
        Me->Throw(Msg::DeleteFailed);
        return Level::Notify;
    }
    return Level::Benign;
}
