#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <future>
#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"
#include "table_support.h"
#include "view.h"

namespace {

// Runs `f` on a new procedure thread, with the program's thread hooks.
template <typename F>
void onThread(F f) {
    std::thread([&f] {
        rt::ThreadScope scope;
        f();
    }).join();
}

class DictionaryTest : public ::testing::Test {
  protected:
    TestDrive drive;
    void SetUp() override {
        installThreadHooks();
        drive.mkdir(QStringLiteral("kaldor_demo"));
        drive.mkdir(QStringLiteral("base1"));
        drive.mkdir(QStringLiteral("base2"));
        setBase(QStringLiteral("c:\\base1\\"));
    }
    void TearDown() override { rt::setThreadHooks(nullptr, nullptr); }
    static void setBase(const QString& folder) {
        PUT1 = folder + QStringLiteral("KALDOR.TPS");
        PUT2 = folder + QStringLiteral("ZAMETKA.TPS");
    }
};

LONG addCard(const char* name, LONG day = 0) {
    Access_KALDOR->PrimeRecord();
    KAL.NAME = name;
    KAL.UTVDATA = day;
    EXPECT_EQ(Access_KALDOR->Insert(), Level::Benign);
    return KAL.ID;
}

void addBookmark(LONG card, const char* name) {
    Access_ZAMETKA->PrimeRecord();
    ZAM.IDDOK = card;
    ZAM.ZAKLAD = name;
    EXPECT_EQ(Access_ZAMETKA->Insert(), Level::Benign);
}

int bookmarksOf(LONG card) {
    ViewClass v(ZAMETKA);
    v.setOrder(ZAM_K2);
    v.setRange(ZAM.IDDOK, Value(int(card)));
    return int(v.count());
}

// The result of reading a file's schema with plain SQLite, no key given.
int plainRead(const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    const int rc =
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

bool fetchCard(LONG id) {
    KAL.ID = id;
    return Access_KALDOR->TryFetch(KAL_K1) == Level::Benign;
}

}  // namespace

TEST_F(DictionaryTest, EachThreadBuildsItsOwnObjectsAndFreesThem) {
    GlobalRequest = 6;
    onThread([] {
        EXPECT_EQ(GlobalRequest, 0);
        EXPECT_EQ(GlobalResponse, 0);
        EXPECT_EQ(VCRRequest, 0);
        ASSERT_NE(Access_KALDOR, nullptr);
        ASSERT_NE(Relate_CONFIG, nullptr);
        EXPECT_EQ(Access_KALDOR->File, &KALDOR);
        EXPECT_EQ(Relate_KALDOR->Me, Access_KALDOR);
        EXPECT_EQ(Access_KALDOR->FileNameValue, QStringLiteral("kaldor"));
        EXPECT_EQ(Access_RUBRIKA->FileNameValue, QStringLiteral("rubrika"));
        EXPECT_FALSE(KALDOR.physicallyOpen());  // nothing is opened when a thread starts
        DctKill();
        EXPECT_EQ(Access_KALDOR, nullptr);
        EXPECT_EQ(Access_CONFIG, nullptr);
        EXPECT_EQ(Relate_ZAMETKA, nullptr);
        EXPECT_EQ(Relate_RUBRIKA, nullptr);
    });
    // Thread 1: its Dictionary builds nothing; the program body builds one set.
    std::thread([] {
        rt::ThreadScope main(true);
        EXPECT_EQ(Access_KALDOR, nullptr);
        DctInit();
        EXPECT_NE(Access_KALDOR, nullptr);
    }).join();
}

TEST_F(DictionaryTest, KeysAndRelationsAreRegisteredAtFirstUse) {
    onThread([] {
        EXPECT_TRUE(Access_CONFIG->Keys().empty());
        EXPECT_FALSE(Relate_CONFIG->RelationsDeclared());
        Relate_CONFIG->SetOpenRelated();
        Relate_CONFIG->Open();
        ASSERT_EQ(Access_CONFIG->Keys().size(), 2u);
        EXPECT_TRUE(Access_CONFIG->Keys()[0].autoNumber);
        EXPECT_FALSE(Access_CONFIG->Keys()[1].autoNumber);
        EXPECT_EQ(Access_CONFIG->Keys()[1].description, QStringLiteral("По iD темы"));
        EXPECT_TRUE(Relate_CONFIG->RelationsDeclared());
        EXPECT_EQ(Relate_CONFIG->RelationCount(), 1);
        EXPECT_EQ(Access_CONFIG->Create, 1);
        // Untouched tables stay as they were.
        EXPECT_TRUE(Access_ZAMETKA->Keys().empty());
        EXPECT_FALSE(Relate_KALDOR->RelationsDeclared());
        Relate_CONFIG->Close();
    });
}

TEST_F(DictionaryTest, TopicsRestrictDeletionAndCascadeTheirCode) {
    onThread([&] {
        Relate_RUBRIKA->SetOpenRelated();
        Relate_RUBRIKA->Open();
        Access_RUBRIKA->PrimeRecord();
        RUB.NAME1 = "Налоги";
        ASSERT_EQ(Access_RUBRIKA->Insert(), Level::Benign);
        const auto topic = RUB.KOD.toInt();
        EXPECT_EQ(topic, 1);
        for (const char* name : {"НК", "ФЗ"}) {
            Access_CONFIG->PrimeRecord();
            CON.ID = int(topic);
            CON.NAME = name;
            ASSERT_EQ(Access_CONFIG->Insert(), Level::Benign);
        }
        Access_RUBRIKA->PrimeRecord();
        RUB.NAME1 = "Пустая";
        Access_RUBRIKA->Insert();

        // A topic with bases cannot be deleted.
        RUB.KOD = int(topic);
        Access_RUBRIKA->Fetch(RUB_K1);
        EXPECT_EQ(Relate_RUBRIKA->Delete(0), Level::Notify);
        EXPECT_EQ(ERRORCODE(), ErrCode::RecordNotAvailable);
        const ErrorReport r = drive.reporter().reports().back();
        EXPECT_EQ(r.title, QStringLiteral("Referential Integrity Delete Error"));
        EXPECT_EQ(r.text, QStringLiteral("This record is referenced from the file CONFIG. This "
                                         "record cannot be deleted while these references exist."));
        EXPECT_EQ(RECORDS(RUBRIKA), 2);

        // Its code changes, and its bases follow.
        RUB.KOD = 7;
        ASSERT_EQ(Relate_RUBRIKA->Update(), Level::Benign);
        int following = 0;
        CON.ID = 7;
        SET(CON_K2, CON_K2);
        for (NEXT(CONFIG); !ERRORCODE() && CON.ID.toInt() == 7; NEXT(CONFIG))
            ++following;
        EXPECT_EQ(following, 2);

        // The topic without bases goes.
        RUB.KOD = 2;
        Access_RUBRIKA->Fetch(RUB_K1);
        EXPECT_EQ(Relate_RUBRIKA->Delete(0), Level::Benign);
        EXPECT_EQ(RECORDS(RUBRIKA), 1);
        Relate_RUBRIKA->Close();
    });
}

TEST_F(DictionaryTest, CardsTakeTheirBookmarksAlong) {
    onThread([&] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        const LONG a = addCard("Кодекс");
        const LONG b = addCard("Закон");
        addBookmark(a, "ст. 1");
        addBookmark(a, "ст. 2");
        addBookmark(b, "ст. 5");

        // A card's bookmarks follow a change of its number...
        ASSERT_TRUE(fetchCard(a));
        KAL.ID = 40;
        ASSERT_EQ(Relate_KALDOR->Update(), Level::Benign);
        EXPECT_EQ(bookmarksOf(a), 0);
        EXPECT_EQ(bookmarksOf(40), 2);
        // ...and go when it is deleted.
        ASSERT_TRUE(fetchCard(40));
        ASSERT_EQ(Relate_KALDOR->Delete(0), Level::Benign);
        EXPECT_EQ(bookmarksOf(40), 0);
        EXPECT_EQ(bookmarksOf(b), 1);
        EXPECT_EQ(RECORDS(KALDOR), 1);
        // Deleting asks first; "no" keeps the card.
        ASSERT_TRUE(fetchCard(b));
        drive.reporter().setAnswer(false);
        EXPECT_EQ(Relate_KALDOR->Delete(), Level::Cancel);
        EXPECT_EQ(RECORDS(KALDOR), 1);
        drive.reporter().setAnswer(true);
        EXPECT_EQ(Relate_KALDOR->Delete(), Level::Benign);
        EXPECT_EQ(RECORDS(KALDOR), 0);
        Relate_KALDOR->Close();
    });
}

TEST_F(DictionaryTest, DuplicatesOnlyWhereAllowedAndOptionalKeysLeaveOutZero) {
    onThread([&] {
        Relate_KALDOR->Open();
        Relate_CONFIG->Open();
        const LONG day = rt::dayNumber(2024, 5, 1);
        addCard("один", day);
        addCard("два", day);  // two cards of one approval date
        Access_KALDOR->PrimeRecord();
        KAL.ID = 1;  // a number already taken
        EXPECT_EQ(Access_KALDOR->Insert(), Level::Notify);
        EXPECT_EQ(ERRORCODE(), ErrCode::DuplicateKey);
        EXPECT_TRUE(drive.reporter().reports().back().text.contains(u"по iD документа"));
        Access_KALDOR->CancelAutoInc();
        EXPECT_EQ(RECORDS(KALDOR), 2);

        // Two bases may share a code; a base without a topic is under none.
        for (int topic : {3, 0}) {
            CLEAR(CONFIG);
            CON.KOD = 5;
            CON.ID = topic;
            ADD(CONFIG);
            ASSERT_EQ(ERRORCODE(), 0);
        }
        EXPECT_EQ(RECORDS(CONFIG), 2);
        std::vector<int> topics;
        SET(CON_K2);
        for (NEXT(CONFIG); !ERRORCODE(); NEXT(CONFIG))
            topics.push_back(int(CON.ID.toInt()));
        EXPECT_EQ(topics, std::vector<int>{3});
        Relate_CONFIG->Close();
        Relate_KALDOR->Close();
    });
}

TEST_F(DictionaryTest, ABaseFolderGetsItsFilesEmptyAtFirstUse) {
    setBase(QStringLiteral("c:\\base2\\"));
    const QString kal = drive.native(QStringLiteral("base2/KALDOR.TPS"));
    const QString zam = drive.native(QStringLiteral("base2/ZAMETKA.TPS"));
    onThread([&] {
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        EXPECT_FALSE(QFile::exists(kal));  // opening only counts
        EXPECT_EQ(RECORDS(KALDOR), 0);
        EXPECT_EQ(RECORDS(ZAMETKA), 0);
        EXPECT_TRUE(QFile::exists(kal));
        EXPECT_TRUE(QFile::exists(zam));
        addCard("первая");
        Relate_KALDOR->Close();
    });
    // The document table is encrypted; the others open with plain SQLite.
    onThread([] {
        Relate_CONFIG->Open();
        RECORDS(CONFIG);
        Relate_CONFIG->Close();
    });
    EXPECT_EQ(plainRead(kal), SQLITE_NOTADB);
    EXPECT_EQ(plainRead(zam), SQLITE_OK);
    EXPECT_EQ(plainRead(drive.native(QStringLiteral("kaldor_demo/config.dat"))), SQLITE_OK);
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sqlcipher"));
    if (!tool.isEmpty()) {
        // A support engineer who knows the password reads it with the standard tool.
        QProcess p;
        p.start(tool, {kal});
        p.write(
            "PRAGMA key='vextramolq'; PRAGMA cipher_page_size=4096; "
            "SELECT NAME FROM KALDOR;\n");
        p.closeWriteChannel();
        p.waitForFinished();
        EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains(u"первая"));
    }
}

TEST_F(DictionaryTest, AThreadKeepsItsFileWhenTheActiveBaseChanges) {
    onThread([] {
        Relate_KALDOR->Open();
        addCard("в первой базе");
        setBase(QStringLiteral("c:\\base2\\"));
        EXPECT_EQ(RECORDS(KALDOR), 1);  // still the first base
        Relate_KALDOR->Close();
        Relate_KALDOR->Open();
        EXPECT_EQ(RECORDS(KALDOR), 0);  // the new name, at the next open
        EXPECT_TRUE(KALDOR.openPath().endsWith(QStringLiteral("base2/KALDOR.TPS")));
        Relate_KALDOR->Close();
    });
}

TEST_F(DictionaryTest, ThreadsHoldTheirOwnBuffersAndOpenState) {
    onThread([] {
        Relate_KALDOR->Open();
        addCard("общая");
        Relate_KALDOR->Close();
    });
    std::promise<void> aClosed, bOpened;
    std::thread a([&] {
        rt::ThreadScope s;
        Relate_KALDOR->Open();
        KAL.NAME = "поток A";
        bOpened.get_future().wait();
        Relate_KALDOR->Close();
        EXPECT_FALSE(KALDOR.physicallyOpen());
        aClosed.set_value();
    });
    std::thread b([&] {
        rt::ThreadScope s;
        Relate_KALDOR->Open();
        EXPECT_EQ(RECORDS(KALDOR), 1);
        bOpened.set_value();
        aClosed.get_future().wait();
        EXPECT_TRUE(KAL.NAME.blank());
        ASSERT_TRUE(fetchCard(1));
        EXPECT_EQ(KAL.NAME.clip(), QStringLiteral("общая"));
        Relate_KALDOR->Close();
    });
    a.join();
    b.join();
}

TEST_F(DictionaryTest, AnInsertCancelledGivesItsNumberBack) {
    onThread([] {
        Relate_KALDOR->Open();
        addCard("1");
        Access_KALDOR->PrimeRecord();
        EXPECT_EQ(KAL.ID, 2);
        Access_KALDOR->CancelAutoInc();
        Access_KALDOR->PrimeRecord();
        EXPECT_EQ(KAL.ID, 2);
        Access_KALDOR->CancelAutoInc();
        Relate_KALDOR->Close();
    });
}
