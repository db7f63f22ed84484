#include "dictionary.h"

#include <memory>
#include <optional>

#include "app/globals.h"
#include "core/threads.h"

namespace {

constexpr unsigned kKeyFlags = KeyFlag::NoCase | KeyFlag::Optional;

void declareConfig(TableFile& t) {
    t.addField(QStringLiteral("KOD"), CON.KOD);
    t.addField(QStringLiteral("ID"), CON.ID);
    t.addField(QStringLiteral("PATH"), CON.PATH);
    t.addField(QStringLiteral("NAME"), CON.NAME);
    t.addField(QStringLiteral("RTG"), CON.RTG);
    t.addField(QStringLiteral("ON_OFF"), CON.ON_OFF);
    t.addKey(QStringLiteral("CON:K1"), QStringLiteral("CON:K1"), {ref(CON.KOD)}, kKeyFlags);
    t.addKey(QStringLiteral("CON:K2"), QStringLiteral("По iD темы"), {ref(CON.ID)}, kKeyFlags);
    t.setFileName(QStringLiteral("c:\\kaldor_demo\\config.dat"));
    t.setCreate(true);
}

void declareRubrika(TableFile& t) {
    t.addField(QStringLiteral("KOD"), RUB.KOD);
    t.addField(QStringLiteral("NAME1"), RUB.NAME1);
    t.addField(QStringLiteral("NAME2"), RUB.NAME2);
    t.addField(QStringLiteral("RTG"), RUB.RTG);
    t.addKey(QStringLiteral("RUB:K1"), QStringLiteral("По iD Темы"), {ref(RUB.KOD)}, kKeyFlags);
    t.setFileName(QStringLiteral("c:\\kaldor_demo\\rubrika.dat"));
    t.setCreate(true);
}

void declareZametka(TableFile& t) {
    t.addField(QStringLiteral("ID"), ZAM.ID);
    t.addField(QStringLiteral("IDDOK"), ZAM.IDDOK);
    t.addField(QStringLiteral("ZAKLAD"), ZAM.ZAKLAD);
    t.addField(QStringLiteral("POTEXT"), ZAM.POTEXT);
    t.addKey(QStringLiteral("ZAM:K1"), QStringLiteral("По iD закадки"), {ref(ZAM.ID)}, kKeyFlags);
    t.addKey(QStringLiteral("ZAM:K2"), QStringLiteral("По iD документа"), {ref(ZAM.IDDOK)},
             kKeyFlags);
    t.bindFileName(ref(PUT2));
    t.setCreate(true);
}

void declareKaldor(TableFile& t) {
    t.addField(QStringLiteral("ID"), KAL.ID);
    t.addField(QStringLiteral("KODTER"), KAL.KODTER);
    t.addField(QStringLiteral("NAME"), KAL.NAME);
    t.addField(QStringLiteral("PNAME1"), KAL.PNAME1);
    t.addField(QStringLiteral("PNAME2"), KAL.PNAME2);
    t.addField(QStringLiteral("PNAME3"), KAL.PNAME3);
    t.addField(QStringLiteral("NDOK"), KAL.NDOK);
    t.addField(QStringLiteral("UTVDATA"), KAL.UTVDATA);
    t.addField(QStringLiteral("VVODDATA"), KAL.VVODDATA);
    t.addField(QStringLiteral("WORDKEY"), KAL.WORDKEY);
    t.addField(QStringLiteral("NFILE"), KAL.NFILE);
    t.addBlob(QStringLiteral("ZAKON"), KAL.ZAKON);
    t.addBlob(QStringLiteral("RABZAKON"), KAL.RABZAKON);
    t.addKey(QStringLiteral("KAL:K1"), QStringLiteral("по iD документа"), {ref(KAL.ID)},
             kKeyFlags | KeyFlag::Unique | KeyFlag::Primary);
    t.addKey(QStringLiteral("KAL:K2"), QStringLiteral("По дате утверждения"), {ref(KAL.UTVDATA)},
             kKeyFlags);
    t.bindFileName(ref(PUT1));
    t.setPassword(QStringLiteral("vextramolq"));
    t.setCreate(true);
}

}  // namespace

thread_local CONFIG_Record CON;
thread_local RUBRIKA_Record RUB;
thread_local ZAMETKA_Record ZAM;
thread_local KALDOR_Record KAL;
thread_local TableFile CONFIG(QStringLiteral("CONFIG"), QStringLiteral("CON"), Driver::DAT,
                              declareConfig);
thread_local TableFile RUBRIKA(QStringLiteral("RUBRIKA"), QStringLiteral("RUB"), Driver::DAT,
                               declareRubrika);
thread_local TableFile ZAMETKA(QStringLiteral("ZAMETKA"), QStringLiteral("ZAM"), Driver::TPS,
                               declareZametka);
thread_local TableFile KALDOR(QStringLiteral("KALDOR"), QStringLiteral("KAL"), Driver::TPS,
                              declareKaldor);
thread_local KEY CON_K1{&CONFIG, 0};
thread_local KEY CON_K2{&CONFIG, 1};
thread_local KEY RUB_K1{&RUBRIKA, 0};
thread_local KEY ZAM_K1{&ZAMETKA, 0};
thread_local KEY ZAM_K2{&ZAMETKA, 1};
thread_local KEY KAL_K1{&KALDOR, 0};
thread_local KEY KAL_K2{&KALDOR, 1};

thread_local FileManager* Access_CONFIG = nullptr;
thread_local FileManager* Access_RUBRIKA = nullptr;
thread_local FileManager* Access_ZAMETKA = nullptr;
thread_local FileManager* Access_KALDOR = nullptr;
thread_local RelationManager* Relate_CONFIG = nullptr;
thread_local RelationManager* Relate_RUBRIKA = nullptr;
thread_local RelationManager* Relate_ZAMETKA = nullptr;
thread_local RelationManager* Relate_KALDOR = nullptr;

namespace {
// The owners of the thread's instances; Access_ and Relate_ only borrow them.
thread_local std::unique_ptr<Hide_Access_CONFIG> ownAccessCONFIG;
thread_local std::unique_ptr<Hide_Access_RUBRIKA> ownAccessRUBRIKA;
thread_local std::unique_ptr<Hide_Access_ZAMETKA> ownAccessZAMETKA;
thread_local std::unique_ptr<Hide_Access_KALDOR> ownAccessKALDOR;
thread_local std::unique_ptr<Hide_Relate_CONFIG> ownRelateCONFIG;
thread_local std::unique_ptr<Hide_Relate_RUBRIKA> ownRelateRUBRIKA;
thread_local std::unique_ptr<Hide_Relate_ZAMETKA> ownRelateZAMETKA;
thread_local std::unique_ptr<Hide_Relate_KALDOR> ownRelateKALDOR;

template <typename Access>
void initRelate(RelationManager& relate, std::unique_ptr<Access>& access,
                FileManager* const& accessRef) {
    access->Init();
    relate.Init(*accessRef, 1);
}

template <typename Access>
void killRelate(RelationManager& relate, std::unique_ptr<Access>& access,
                RelationManager*& relateRef) {
    access->Kill();
    relate.RelationManager::Kill();
    relateRef = nullptr;
    access.reset();
}
}  // namespace

// ---- access objects ----------------------------------------------------------------

DictionaryAccess::DictionaryAccess(TableFile& table, QString label, FieldRef boundName,
                                   std::vector<KeyUse> keys, FileManager** access)
    : table_(table),
      label_(std::move(label)),
      boundName_(boundName),
      keyUses_(std::move(keys)),
      access_(access) {}

void DictionaryAccess::Init() {
    Initialized = false;
    FileNameValue = label_;
    SetErrors(GlobalErrors);
    File = &table_;
    if (boundName_.valid())
        table_.bindFileName(boundName_);
    FileManager::Init();
    *access_ = this;
}

void DictionaryAccess::Kill() {
    FileManager::Kill();
    *access_ = nullptr;
}

BYTE DictionaryAccess::UseFile(BYTE useType) {
    if (useType != UseType::Initialize)
        UseFile(UseType::Initialize);
    if (useType == UseType::Initialize && !Initialized) {
        InUseFile = true;
        FileManager::Init(table_, GlobalErrors);
        Create = 1;
        LockRecover = 10;
        for (const KeyUse& k : keyUses_)
            AddKey(*k.key, k.description, k.autoNumber);
    }
    return FileManager::UseFile(useType);
}

Hide_Access_CONFIG::Hide_Access_CONFIG()
    : DictionaryAccess(
          CONFIG, QStringLiteral("CONFIG"), {},
          {{&CON_K1, QStringLiteral("CON:K1"), 1}, {&CON_K2, QStringLiteral("По iD темы"), 0}},
          &Access_CONFIG) {}

Hide_Access_RUBRIKA::Hide_Access_RUBRIKA()
    : DictionaryAccess(RUBRIKA, QStringLiteral("rubrika"), {},
                       {{&RUB_K1, QStringLiteral("По iD Темы"), 1}}, &Access_RUBRIKA) {}

Hide_Access_ZAMETKA::Hide_Access_ZAMETKA()
    : DictionaryAccess(ZAMETKA, QStringLiteral("zametka"), ref(PUT2),
                       {{&ZAM_K1, QStringLiteral("По iD закадки"), 1},
                        {&ZAM_K2, QStringLiteral("По iD документа"), 0}},
                       &Access_ZAMETKA) {}

Hide_Access_KALDOR::Hide_Access_KALDOR()
    : DictionaryAccess(KALDOR, QStringLiteral("kaldor"), ref(PUT1),
                       {{&KAL_K1, QStringLiteral("по iD документа"), 1},
                        {&KAL_K2, QStringLiteral("По дате утверждения"), 0}},
                       &Access_KALDOR) {}

// ---- relation objects ----------------------------------------------------------------

void Hide_Relate_CONFIG::Init() {
    initRelate(*this, ownAccessCONFIG, Access_CONFIG);
}
void Hide_Relate_CONFIG::Kill() {
    killRelate(*this, ownAccessCONFIG, Relate_CONFIG);
}
void Hide_Relate_CONFIG::DeferedAddRelations() {
    AddRelation(*Relate_RUBRIKA);
}

void Hide_Relate_RUBRIKA::Init() {
    initRelate(*this, ownAccessRUBRIKA, Access_RUBRIKA);
}
void Hide_Relate_RUBRIKA::Kill() {
    killRelate(*this, ownAccessRUBRIKA, Relate_RUBRIKA);
}
void Hide_Relate_RUBRIKA::DeferedAddRelations() {
    AddRelation(*Relate_CONFIG, RI::Cascade, RI::Restrict, CON_K2);
    AddRelationLink(RUB.KOD, CON.ID);
}

void Hide_Relate_ZAMETKA::Init() {
    initRelate(*this, ownAccessZAMETKA, Access_ZAMETKA);
}
void Hide_Relate_ZAMETKA::Kill() {
    killRelate(*this, ownAccessZAMETKA, Relate_ZAMETKA);
}
void Hide_Relate_ZAMETKA::DeferedAddRelations() {
    AddRelation(*Relate_KALDOR);
}

void Hide_Relate_KALDOR::Init() {
    initRelate(*this, ownAccessKALDOR, Access_KALDOR);
}
void Hide_Relate_KALDOR::Kill() {
    killRelate(*this, ownAccessKALDOR, Relate_KALDOR);
}
void Hide_Relate_KALDOR::DeferedAddRelations() {
    AddRelation(*Relate_ZAMETKA, RI::Cascade, RI::Cascade, ZAM_K2);
    AddRelationLink(KAL.ID, ZAM.IDDOK);
}

// ---- entry points ----------------------------------------------------------------------

void DctInit() {
    ownAccessKALDOR = std::make_unique<Hide_Access_KALDOR>();
    ownRelateKALDOR = std::make_unique<Hide_Relate_KALDOR>();
    ownAccessRUBRIKA = std::make_unique<Hide_Access_RUBRIKA>();
    ownRelateRUBRIKA = std::make_unique<Hide_Relate_RUBRIKA>();
    ownAccessZAMETKA = std::make_unique<Hide_Access_ZAMETKA>();
    ownRelateZAMETKA = std::make_unique<Hide_Relate_ZAMETKA>();
    ownAccessCONFIG = std::make_unique<Hide_Access_CONFIG>();
    ownRelateCONFIG = std::make_unique<Hide_Relate_CONFIG>();
    Relate_KALDOR = ownRelateKALDOR.get();
    Relate_RUBRIKA = ownRelateRUBRIKA.get();
    Relate_ZAMETKA = ownRelateZAMETKA.get();
    Relate_CONFIG = ownRelateCONFIG.get();
    FilesInit();
}

void FilesInit() {
    ownRelateKALDOR->Init();
    ownRelateRUBRIKA->Init();
    ownRelateZAMETKA->Init();
    ownRelateCONFIG->Init();
}

void DctKill() {
    auto kill = [](auto& owner) {
        if (owner) {
            owner->Kill();
            owner.reset();
        }
    };
    kill(ownRelateKALDOR);
    kill(ownRelateRUBRIKA);
    kill(ownRelateZAMETKA);
    kill(ownRelateCONFIG);
}

Dictionary::Dictionary() {
    if (THREAD() != 1)
        DctInit();
}

Dictionary::~Dictionary() {
    DctKill();
}

namespace {
thread_local std::optional<Dictionary> tDictionary;

// The thread's error state as it is when made.
void resetErrorStatus() {
    GlobalErrorStatus.lastMessage = 0;
    GlobalErrorStatus.lastCode = 0;
    GlobalErrorStatus.lastText.clear();
}

void threadStart() {
    resetErrorStatus();
    GlobalErrors.Init(GlobalErrorStatus);
    GlobalRequest = 0;
    GlobalResponse = 0;
    VCRRequest = 0;
    tDictionary.emplace();
}

void threadEnd() {
    tDictionary.reset();
    GlobalErrors.Kill();
    resetErrorStatus();
    for (TableFile* t : {&CONFIG, &RUBRIKA, &ZAMETKA, &KALDOR})
        t->release();
}
}  // namespace

void installThreadHooks() {
    rt::setThreadHooks(threadStart, threadEnd);
}
