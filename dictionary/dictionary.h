#pragma once
// The data dictionary: the four tables with their record buffers, keys and BLOBs,
// their access and relation classes, and the per-thread objects every window uses.
//
// Everything here is per thread. A thread's record buffers (CON, RUB, ZAM, KAL) and
// table declarations (CONFIG, RUBRIKA, ZAMETKA, KALDOR) exist from its first use;
// its Access_<TABLE> and Relate_<TABLE> objects from DctInit (thread 1: the program
// body; other threads: their Dictionary object, made by the thread-start hook) to
// DctKill (the Dictionary object's end, on every thread).

#include "filemanager.h"
#include "table.h"

// ---- CONFIG: the catalogue of document bases -----------------------------------
struct CONFIG_Record {
    DECIMAL<2> KOD;    // code of the base
    DECIMAL<2> ID;     // code of its topic (RUB.KOD)
    STRING<255> PATH;  // folder
    STRING<60> NAME;
    LONG RTG = 0;  // open count
    BYTE ON_OFF = 0;
};
extern thread_local CONFIG_Record CON;
extern thread_local TableFile CONFIG;
extern thread_local KEY CON_K1;
extern thread_local KEY CON_K2;

// ---- RUBRIKA: topics -------------------------------------------------------------
struct RUBRIKA_Record {
    DECIMAL<2> KOD;
    STRING<60> NAME1;
    STRING<60> NAME2;
    LONG RTG = 0;
};
extern thread_local RUBRIKA_Record RUB;
extern thread_local TableFile RUBRIKA;
extern thread_local KEY RUB_K1;

// ---- ZAMETKA: bookmarks of the cards ---------------------------------------------
struct ZAMETKA_Record {
    LONG ID = 0;
    LONG IDDOK = 0;  // the card (KAL.ID)
    STRING<100> ZAKLAD;
    STRING<100> POTEXT;
};
extern thread_local ZAMETKA_Record ZAM;
extern thread_local TableFile ZAMETKA;
extern thread_local KEY ZAM_K1;
extern thread_local KEY ZAM_K2;

// ---- KALDOR: document cards -------------------------------------------------------
struct KALDOR_Record {
    LONG ID = 0;
    BYTE KODTER = 0;  // status
    STRING<120> NAME;
    STRING<120> PNAME1;
    STRING<120> PNAME2;
    STRING<120> PNAME3;
    STRING<12> NDOK;
    DATE UTVDATA;
    DATE VVODDATA;
    STRING<240> WORDKEY;
    CSTRING<128> NFILE;  // source rich-text file
    BLOB ZAKON;          // document text
    BLOB RABZAKON;       // working copy
};
extern thread_local KALDOR_Record KAL;
extern thread_local TableFile KALDOR;
extern thread_local KEY KAL_K1;
extern thread_local KEY KAL_K2;

// ---- access and relation classes ----------------------------------------------------

// What the four access classes share: the table, its label, the variable its file
// name is bound to (if any), its keys, and the thread's Access_ reference it sets.
class DictionaryAccess : public FileManager {
  public:
    struct KeyUse {
        const KEY* key;
        QString description;
        BYTE autoNumber;
    };
    DictionaryAccess(TableFile& table, QString label, FieldRef boundName, std::vector<KeyUse> keys,
                     FileManager** access);
    void Init() override;
    void Kill() override;
    BYTE UseFile(BYTE useType) override;

  private:
    TableFile& table_;
    QString label_;
    FieldRef boundName_;
    std::vector<KeyUse> keyUses_;
    FileManager** access_;
};

class Hide_Access_CONFIG : public DictionaryAccess {
  public:
    Hide_Access_CONFIG();
};
class Hide_Access_RUBRIKA : public DictionaryAccess {
  public:
    Hide_Access_RUBRIKA();
};
class Hide_Access_ZAMETKA : public DictionaryAccess {
  public:
    Hide_Access_ZAMETKA();
};
class Hide_Access_KALDOR : public DictionaryAccess {
  public:
    Hide_Access_KALDOR();
};

class Hide_Relate_CONFIG : public RelationManager {
  public:
    void Init();
    void Kill() override;
    void DeferedAddRelations() override;
};
class Hide_Relate_RUBRIKA : public RelationManager {
  public:
    void Init();
    void Kill() override;
    void DeferedAddRelations() override;
};
class Hide_Relate_ZAMETKA : public RelationManager {
  public:
    void Init();
    void Kill() override;
    void DeferedAddRelations() override;
};
class Hide_Relate_KALDOR : public RelationManager {
  public:
    void Init();
    void Kill() override;
    void DeferedAddRelations() override;
};

// The thread's objects; null outside DctInit .. DctKill.
extern thread_local FileManager* Access_CONFIG;
extern thread_local FileManager* Access_RUBRIKA;
extern thread_local FileManager* Access_ZAMETKA;
extern thread_local FileManager* Access_KALDOR;
extern thread_local RelationManager* Relate_CONFIG;
extern thread_local RelationManager* Relate_RUBRIKA;
extern thread_local RelationManager* Relate_ZAMETKA;
extern thread_local RelationManager* Relate_KALDOR;

// Builds the calling thread's access and relation objects, then FilesInit.
void DctInit();
// Kills and frees them.
void DctKill();
// Initialises the relation objects (and through them the access objects).
void FilesInit();

// One per thread: builds the thread's objects (except on thread 1, whose objects the
// program body builds) and frees them when the thread ends.
class Dictionary {
  public:
    Dictionary();
    ~Dictionary();
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
};

// Installs the thread-start and thread-end hooks: at start the thread's error
// status, GlobalRequest, GlobalResponse and VCRRequest set to 0, then its Dictionary;
// at end the Dictionary, then the error status, then the table buffers.
void installThreadHooks();
