#pragma once
// FileManager and RelationManager: the class library's objects through which
// windows open tables and write records.
//
// FileManager (one per table and thread, the table's access object):
//   Init()/Init(file, errors), Kill, UseFile(type) (type 5 is the initialising use:
//   a derived class registers its keys there), AddKey(key, description, autoNumber),
//   Open/Close (counts; the file is opened on disk at its first use), PrimeRecord
//   (clears the buffer and reserves the next number of each auto-numbered key),
//   CancelAutoInc (gives a reserved number back), Insert/TryInsert, Update/TryUpdate,
//   Fetch/TryFetch (by a key's values in the buffer), SaveBuffer/RestoreBuffer/
//   EqualBuffer (copies of the record buffer), Watch/Unwatch (a form's save finds
//   the record as it read it, or is refused), SetErrors, Throw.
// RelationManager (one per table and thread, the table's relation object):
//   Init(file manager, use logout), Kill, AddRelation, AddRelationLink,
//   DeferedAddRelations (declares the relations; called once, before the first open,
//   close, update or delete), SetOpenRelated, Open/Close (with the related tables),
//   Update and Delete applying each relation's mode (2 restrict, 3 cascade, 1 clear)
//   to the linking values as stored, read inside the change's transaction;
//   SetQuickScan.
//
// Results are levels: Level::Benign (0) is success; Level::Notify means the failure
// was reported through the error manager and the caller goes on; Level::Cancel that
// the user declined. ERRORCODE() tells the cause.

#include <map>
#include <optional>
#include <vector>

#include "table.h"

namespace Level {
enum : int { Benign = 0, User = 1, Program = 2, Fatal = 3, Cancel = 4, Notify = 5 };
}

namespace UseType {
enum : BYTE {
    Uses = 0,      // works with the file: opens it on disk if it is open by count
    Returns = 1,   // reads records
    Corrupts = 2,  // writes records
    Opens = 3,     // counts an open or a close
    Initialize = 5,
};
}

// Referential-integrity modes of a relation.
namespace RI {
enum : BYTE { None = 0, Clear = 1, Restrict = 2, Cascade = 3 };
}

class FileManager {
  public:
    FileManager() = default;
    virtual ~FileManager();
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

    // Set by the access object before Init.
    TableFile* File = nullptr;
    ErrorClass* Errors = nullptr;
    QString FileNameValue;  // the label that names the table in messages
    BYTE Create = 0;        // open creates a missing file
    int LockRecover = 10;   // seconds to wait for a lock
    bool Initialized = false;
    bool InUseFile = false;

    virtual void Init();
    void Init(TableFile& file, ErrorClass& errors);
    virtual void Kill();
    virtual BYTE UseFile(BYTE useType = UseType::Uses);
    void SetErrors(ErrorClass& errors);
    void AddKey(const KEY& key, const QString& description, BYTE autoNumber = 0);

    int Open();
    int Close();
    int PrimeRecord(bool suppressClear = false);
    int CancelAutoInc();
    int Insert();
    int TryInsert();
    int Update();
    int TryUpdate();
    int Fetch(const KEY& key);
    int TryFetch(const KEY& key);

    // The record in the buffer, as read, is the one a later Update (also through
    // the relation object) must find stored: when another thread or program has
    // changed or deleted it meanwhile, the update is refused with RecordChanged
    // (Msg::RecordChanged) and writes nothing. Until Unwatch. Nothing is watched
    // when the buffer holds no record read from the file.
    int Watch();
    void Unwatch();

    // Copies of the record buffer: an id for each saved copy.
    int SaveBuffer();
    void RestoreBuffer(int& id, bool restore = true);
    bool EqualBuffer(int id) const;

    // Shows message `id` naming this table.
    bool Throw(int id);
    bool ThrowMessage(int id, const QString& text);
    QString GetName() const;

    // The keys registered so far on this thread.
    struct RegisteredKey {
        KEY key;
        QString description;
        bool autoNumber;
    };
    const std::vector<RegisteredKey>& Keys() const { return keys_; }
    // The number reserved for the record being inserted (0 when none).
    std::int64_t ReservedNumber() const { return reserved_ ? reserved_->value : 0; }

  private:
    int insert(bool report);
    int update(bool report);
    int reportFailure(int messageId, bool report);
    bool reserve();
    bool assignNumberLocked(const RegisteredKey& k, std::int64_t* value);
    void releaseReservation();

    std::vector<RegisteredKey> keys_;
    struct Reservation {
        QString key;
        int field;
        std::int64_t value;
    };
    std::optional<Reservation> reserved_;
    std::map<int, RecordImage> saved_;
    int nextSave_ = 1;
};

class RelationManager {
  public:
    RelationManager() = default;
    virtual ~RelationManager();
    RelationManager(const RelationManager&) = delete;
    RelationManager& operator=(const RelationManager&) = delete;

    FileManager* Me = nullptr;
    BYTE UseLogout = 0;
    int LogoutTimeout = 2;  // seconds a transaction waits for its files

    void Init(FileManager& file, BYTE useLogout);
    virtual void Kill();
    virtual void DeferedAddRelations() {}

    // The way from a child to its parent: no key, links or modes.
    void AddRelation(RelationManager& parent);
    // A child with its modes and the key through which its rows are found.
    void AddRelation(RelationManager& child, BYTE updateMode, BYTE deleteMode, const KEY& childKey);
    // Links the last relation added: a parent field to a child field.
    void AddRelationLink(FieldRef parentField, FieldRef childField);
    template <typename P, typename C>
    void AddRelationLink(P& parentField, C& childField) {
        AddRelationLink(ref(parentField), ref(childField));
    }

    void SetOpenRelated(BYTE on = 1) { openRelated_ = on != 0; }
    void SetQuickScan(BYTE on, BYTE propagate = 0);
    bool QuickScan() const { return quickScan_; }

    int Open();
    int Close();
    // Writes the record in the buffer (the one last read) and applies the relations
    // to a change of its linking fields.
    int Update();
    // Deletes the record last read, applying the relations; with `query` the user is
    // asked first.
    int Delete(BYTE query = 1);

    // The field joined to `field` by a link of a relation between this object
    // and `other` (in either direction): for a list limited to the children of
    // its parent's current row. An invalid reference when there is none.
    FieldRef LinkedField(RelationManager& other, const FieldRef& field);

    // Whether DeferedAddRelations has run on this object, and what it declared.
    bool RelationsDeclared() const { return declared_; }
    int RelationCount() const { return int(relations_.size()); }

  private:
    struct Relation {
        RelationManager* other;
        bool child;
        BYTE updateMode;
        BYTE deleteMode;
        KEY key;
        std::vector<std::pair<FieldRef, FieldRef>> links;
    };
    void declare();
    void collectFiles(std::vector<TableFile*>* files, std::vector<RelationManager*>* seen);
    // The children of `parentValues`; false (error set) when they cannot be read.
    bool childRows(const Relation& r, const std::vector<Value>& parentValues,
                   std::vector<RecordPointer>* rows);
    // The linking values of the current record as stored; false (error set) when
    // it cannot be read.
    bool storedLinkValues(std::vector<std::vector<Value>>* values);
    int applyUpdate(const std::vector<std::vector<Value>>& oldValues,
                    const std::vector<std::vector<Value>>& newValues);
    int deleteCurrent();
    std::vector<std::vector<Value>> linkValues() const;
    bool beginTransaction(bool* began);
    // Ends the transaction begun for one change: committed when `result` is success
    // (a failed commit reported with `failMessage`), else rolled back.
    int finishTransaction(bool began, int result, int failMessage);

    std::vector<Relation> relations_;
    bool declared_ = false;
    bool declaring_ = false;
    bool openRelated_ = false;
    bool quickScan_ = false;
    std::vector<std::vector<RelationManager*>> opened_;
};
