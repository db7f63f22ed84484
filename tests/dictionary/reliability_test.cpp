#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <future>
#include <map>
#include <set>
#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"
#include "driver.h"
#include "four_tables.h"
#include "table_support.h"
#include "view.h"

namespace {

// Each case runs on a base folder of this machine (WAL) and on one declared a
// network share (the rollback journal and the file system's locks); the child
// processes inherit the declaration.
class ReliabilityTest : public ::testing::TestWithParam<bool> {
  protected:
    TestDrive drive;
    void SetUp() override {
        installThreadHooks();
        drive.mkdir(QStringLiteral("base1"));
        drive.mkdir(QStringLiteral("kaldor_demo"));
        if (GetParam())
            qputenv("KALDOR_NETWORK_FOLDERS", (drive.native(QStringLiteral("base1")) + u':' +
                                               drive.native(QStringLiteral("kaldor_demo")))
                                                  .toLocal8Bit());
        PUT1 = "c:\\base1\\KALDOR.TPS";
        PUT2 = "c:\\base1\\ZAMETKA.TPS";
    }
    void TearDown() override {
        qunsetenv("KALDOR_NETWORK_FOLDERS");
        rt::setThreadHooks(nullptr, nullptr);
    }
    // The journal the files are in now.
    static QString journal() {
        QString mode;
        std::thread([&] {
            rt::ThreadScope s;
            Relate_KALDOR->Open();
            if (KALDOR.ensureOpen()) {
                sqlite3_stmt* st =
                    KALDOR.connection()->statement(QStringLiteral("PRAGMA journal_mode"));
                if (sqlite3_step(st) == SQLITE_ROW)
                    mode = QString::fromUtf8(
                        reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
                sqlite3_reset(st);
            }
            Relate_KALDOR->Close();
        }).join();
        return mode;
    }
};

INSTANTIATE_TEST_SUITE_P(Journal, ReliabilityTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Share" : "Local"; });
// Runs `f` on a procedure thread of its own, with the four tables open.
template <typename F>
void withTables(F f) {
    std::thread([&f] {
        rt::ThreadScope scope;
        fourtables::openAll();
        f();
        fourtables::closeAll();
    }).join();
}

// Each table's record as the earlier save (with `tag`) makes it.
std::map<QString, QList<QByteArray>> savedWith(const QString& tag) {
    std::map<QString, QList<QByteArray>> out;
    withTables([&] {
        for (const auto& t : fourtables::tables())
            out[QString::fromLatin1(t.name)] = fourtables::edited(t, tag);
    });
    return out;
}

// The later save was refused and wrote nothing: each record is as the earlier
// save left it, byte for byte; and the record, read again, saves as before.
void expectEarlierStands(const std::map<QString, QList<QByteArray>>& earlier) {
    withTables([&] {
        for (const auto& t : fourtables::tables()) {
            EXPECT_EQ(fourtables::stored(t), earlier.at(QString::fromLatin1(t.name))) << t.name;
            t.access()->Watch();
            t.edit(QStringLiteral("снова"));
            EXPECT_EQ(t.relate()->Update(), Level::Benign) << t.name;
            t.access()->Unwatch();
        }
    });
}

int countOf(TableFile& file, const KEY& key, const FieldRef& field, int value) {
    ViewClass v(file);
    v.setOrder(key);
    v.setRange(field, Value(value));
    return int(v.count());
}

QString integrity(TableFile& t) {
    if (!t.ensureOpen())
        return QStringLiteral("cannot open: ") + rt::errorDetail();
    sqlite3_stmt* st = t.connection()->statement(QStringLiteral("PRAGMA integrity_check"));
    const QString r =
        sqlite3_step(st) == SQLITE_ROW
            ? QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)))
            : QStringLiteral("no answer");
    sqlite3_reset(st);
    return r;
}

std::vector<LONG> cardIds() {
    std::vector<LONG> ids;
    ViewClass v(KALDOR);
    v.setOrder(KAL_K1);
    v.addField(KAL.ID);
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        ids.push_back(KAL.ID);
        return true;
    });
    return ids;
}

}  // namespace

TEST_P(ReliabilityTest, TwoThreadsInsertingAtOnceGetDistinctNumbersAndLoseNothing) {
    auto worker = [] {
        rt::ThreadScope s;
        Relate_KALDOR->Open();
        for (int i = 0; i < 150; ++i) {
            Access_KALDOR->PrimeRecord();
            EXPECT_EQ(Access_KALDOR->Insert(), Level::Benign);
        }
        Relate_KALDOR->Close();
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    std::thread([] {
        rt::ThreadScope s;
        Relate_KALDOR->Open();
        const std::vector<LONG> ids = cardIds();
        ASSERT_EQ(ids.size(), 300u);
        EXPECT_EQ(ids.front(), 1);
        EXPECT_EQ(ids.back(), 300);
        Relate_KALDOR->Close();
    }).join();
}

TEST_P(ReliabilityTest, TwoProcessesInsertingAtOnceGetDistinctNumbersAndLoseNothing) {
    QProcess one, two;
    one.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("insert"), QStringLiteral("150")});
    two.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("insert"), QStringLiteral("150")});
    ASSERT_TRUE(one.waitForFinished(120000));
    ASSERT_TRUE(two.waitForFinished(120000));
    EXPECT_EQ(one.exitCode(), 0) << one.readAllStandardError().toStdString();
    EXPECT_EQ(two.exitCode(), 0) << two.readAllStandardError().toStdString();
    std::thread([] {
        rt::ThreadScope s;
        Relate_KALDOR->Open();
        const std::vector<LONG> ids = cardIds();
        ASSERT_EQ(ids.size(), 300u);
        EXPECT_EQ(ids.back(), 300);
        Relate_KALDOR->Close();
    }).join();
    EXPECT_EQ(journal(), GetParam() ? QStringLiteral("delete") : QStringLiteral("wal"));
}

TEST_P(ReliabilityTest, AKilledProcessLeavesEveryCommittedRowAndNoHalfCascade) {
    QProcess churn;
    churn.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("churn")});
    ASSERT_TRUE(churn.waitForStarted());
    QByteArray out;
    // Kill it well into its run, at no particular point of an operation.
    while (out.count('\n') < 120 && churn.state() == QProcess::Running) {
        churn.waitForReadyRead(5000);
        out += churn.readAllStandardOutput();
    }
    churn.kill();  // SIGKILL
    churn.waitForFinished();
    out += churn.readAllStandardOutput();
    ASSERT_GE(out.count('\n'), 120) << churn.readAllStandardError().toStdString();

    // What the worker saw committed.
    std::map<LONG, bool> expected;  // id -> present
    int deletes = 0, moves = 0;
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() >= 2 && f[0] == "C")
            expected[f[1].toInt()] = true;
        if (f.size() >= 2 && f[0] == "D") {
            expected[f[1].toInt()] = false;
            ++deletes;
        }
        if (f.size() >= 3 && f[0] == "M") {
            expected.erase(f[1].toInt());
            expected[f[2].toInt()] = true;
            ++moves;
        }
    }
    EXPECT_GT(deletes, 0);
    EXPECT_GT(moves, 0);

    std::thread([&] {
        rt::ThreadScope s;
        Relate_KALDOR->SetOpenRelated();
        Relate_KALDOR->Open();
        EXPECT_EQ(integrity(KALDOR), QStringLiteral("ok"));
        EXPECT_EQ(integrity(ZAMETKA), QStringLiteral("ok"));
        const std::vector<LONG> ids = cardIds();
        const std::set<LONG> present(ids.begin(), ids.end());
        for (const auto& [id, there] : expected)
            EXPECT_EQ(present.count(id) == 1, there) << "card " << id;
        // Every bookmark belongs to a card, and every card whose creation was
        // committed has all three of its bookmarks: no cascade stopped half-way.
        std::map<LONG, int> perCard;
        ViewClass v(ZAMETKA);
        v.setOrder(ZAM_K2);
        v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
            ++perCard[ZAM.IDDOK];
            return true;
        });
        for (const auto& [card, n] : perCard)
            EXPECT_EQ(present.count(card), 1u) << "bookmarks of missing card " << card;
        for (const auto& [id, there] : expected) {
            if (there) {
                EXPECT_EQ(perCard[id], 3) << "card " << id;
            }
        }
        // A number the dead process had reserved is not skipped.
        Access_KALDOR->PrimeRecord();
        EXPECT_EQ(KAL.ID, ids.back() + 1);
        Access_KALDOR->CancelAutoInc();
        Relate_KALDOR->Close();
    }).join();
    EXPECT_EQ(journal(), GetParam() ? QStringLiteral("delete") : QStringLiteral("wal"));
}

TEST_P(ReliabilityTest, TwoThreadsSavingOneRecordOfEachTableTheLaterIsRefused) {
    withTables(fourtables::addRecords);
    const auto earlier = savedWith(QStringLiteral("первый"));
    std::promise<void> bRead, aSaved;
    std::map<QString, std::pair<int, int>> a, b;  // level and error code of each save
    auto form = [](const QString& tag, std::promise<void>* read, std::future<void> go,
                   std::map<QString, std::pair<int, int>>* results) {
        withTables([&] {
            for (const auto& t : fourtables::tables()) {
                GET(t.file(), 1);
                t.access()->Watch();
            }
            if (read)
                read->set_value();
            go.wait();
            for (const auto& t : fourtables::tables()) {
                t.edit(tag);
                const int level = t.relate()->Update();
                (*results)[QString::fromLatin1(t.name)] = {level, ERRORCODE()};
            }
        });
    };
    std::thread first([&] {
        form(QStringLiteral("первый"), nullptr, bRead.get_future(), &a);
        aSaved.set_value();
    });
    std::thread second(form, QStringLiteral("второй"), &bRead, aSaved.get_future(), &b);
    first.join();
    second.join();
    for (const auto& t : fourtables::tables()) {
        const QString name = QString::fromLatin1(t.name);
        EXPECT_EQ(a[name], std::make_pair(int(Level::Benign), 0)) << t.name;
        EXPECT_EQ(b[name], std::make_pair(int(Level::Notify), int(ErrCode::RecordChanged)))
            << t.name;
    }
    int told = 0;
    for (const ErrorReport& r : drive.reporter().reports())
        told += r.messageId == Msg::RecordChanged ? 1 : 0;
    EXPECT_EQ(told, 4);
    expectEarlierStands(earlier);
}

namespace {
// The lines the helper wrote until it wrote `line` (or ended).
QByteArray readUntil(QProcess& p, const QByteArray& line) {
    QByteArray out;
    p.waitForStarted();
    while (!out.contains(line) && p.state() == QProcess::Running) {
        p.waitForReadyRead(1000);
        out += p.readAllStandardOutput();
    }
    return out + p.readAllStandardOutput();
}
}  // namespace

TEST_P(ReliabilityTest, TwoProcessesSavingOneRecordOfEachTableTheLaterIsRefused) {
    withTables(fourtables::addRecords);
    const auto earlier = savedWith(QStringLiteral("первый"));
    QProcess one, two;
    one.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("save"), QStringLiteral("первый")});
    two.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("save"), QStringLiteral("второй")});
    ASSERT_TRUE(readUntil(one, "read\n").contains("read")) << one.readAllStandardError().data();
    ASSERT_TRUE(readUntil(two, "read\n").contains("read")) << two.readAllStandardError().data();
    one.write("go\n");
    ASSERT_TRUE(one.waitForFinished(60000));
    two.write("go\n");
    ASSERT_TRUE(two.waitForFinished(60000));
    const QString first = QString::fromUtf8(one.readAllStandardOutput());
    const QString second = QString::fromUtf8(two.readAllStandardOutput());
    for (const auto& t : fourtables::tables()) {
        EXPECT_TRUE(first.contains(QStringLiteral("%1 0 0").arg(t.name))) << first.toStdString();
        EXPECT_TRUE(second.contains(QStringLiteral("%1 %2 %3")
                                        .arg(t.name)
                                        .arg(int(Level::Notify))
                                        .arg(int(ErrCode::RecordChanged))))
            << second.toStdString();
    }
    expectEarlierStands(earlier);
}

TEST_P(ReliabilityTest, TwoProcessesRenumberingOneTopicAndOneCardLeaveEveryChildWithItsParent) {
    withTables([] {
        fourtables::addRecords();  // topic 1 with a base, card 1 with a bookmark
        for (int i = 0; i < 2; ++i) {
            Access_CONFIG->PrimeRecord();
            CON.ID = 1;
            Access_CONFIG->Insert();
            Access_ZAMETKA->PrimeRecord();
            ZAM.IDDOK = 1;
            Access_ZAMETKA->Insert();
        }
        Access_CONFIG->PrimeRecord();
        CON.ID = 900;  // a base of another topic
        Access_CONFIG->Insert();
        Access_KALDOR->PrimeRecord();
        Access_KALDOR->Insert();
        Access_ZAMETKA->PrimeRecord();
        ZAM.IDDOK = KAL.ID;
        Access_ZAMETKA->Insert();
    });
    QProcess one, two;
    one.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("renumber"), QStringLiteral("60"),
                                             QStringLiteral("100"), QStringLiteral("100000")});
    two.start(QStringLiteral(CRASH_HELPER), {QStringLiteral("renumber"), QStringLiteral("60"),
                                             QStringLiteral("101"), QStringLiteral("200000")});
    ASSERT_TRUE(one.waitForFinished(300000));
    ASSERT_TRUE(two.waitForFinished(300000));
    EXPECT_EQ(one.exitCode(), 0) << one.readAllStandardError().toStdString();
    EXPECT_EQ(two.exitCode(), 0) << two.readAllStandardError().toStdString();
    withTables([] {
        GET(RUBRIKA, 1);
        const int topic = int(RUB.KOD.toInt());
        EXPECT_NE(topic, 1);
        EXPECT_EQ(countOf(CONFIG, CON_K2, ref(CON.ID), topic), 3) << "topic " << topic;
        EXPECT_EQ(countOf(CONFIG, CON_K2, ref(CON.ID), 900), 1);
        GET(KALDOR, 1);
        const LONG card = KAL.ID;
        EXPECT_NE(card, 1);
        EXPECT_EQ(countOf(ZAMETKA, ZAM_K2, ref(ZAM.IDDOK), card), 3) << "card " << card;
        EXPECT_EQ(countOf(ZAMETKA, ZAM_K2, ref(ZAM.IDDOK), 2), 1);
    });
}

TEST_P(ReliabilityTest, APlantedJournalRowInTheCatalogueChangesNothingInAnEncryptedBase) {
    QString baseId;
    withTables([&] {
        fourtables::addRecords();
        for (int i = 0; i < 2; ++i) {
            Access_KALDOR->PrimeRecord();
            Access_KALDOR->Insert();
        }
        // The identity of the encrypted file, which only its password reveals.
        ASSERT_TRUE(KALDOR.ensureOpen() && KALDOR.connection()->ensureFileId());
        baseId = KALDOR.connection()->fileId();
    });
    // rubrika.dat has no password: anyone can write into it. Planted: the
    // journal as it once was (a statement and a path), and as it is now.
    const QString catalogue = drive.native(QStringLiteral("kaldor_demo/rubrika.dat"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(catalogue).constData(), &db), SQLITE_OK);
    const QByteArray plant = "INSERT INTO _kaldor_redo VALUES(7, 1, '" +
                             QFile::encodeName(drive.native(QStringLiteral("base1/KALDOR.TPS"))) +
                             "', 'KALDOR', 'DELETE FROM KALDOR', '[]');"
                             "INSERT INTO _kaldor_redo VALUES(9, 1, '" +
                             baseId.toLatin1() + "', 'KALDOR', 'delete', '[[1,\"1\"]]');" +
                             "INSERT INTO _kaldor_redo VALUES(9, 2, '" + baseId.toLatin1() +
                             "', 'KALDOR', 'delete', '[[1,\"2\"]]');";
    ASSERT_EQ(sqlite3_exec(db, plant.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    drive.reporter().clear();

    // The catalogue's transactions write into the catalogue alone; and even
    // a transaction that joined the two would not let a journal kept without a
    // password write into the encrypted base.
    withTables([] { RECORDS(RUBRIKA); });
    std::thread([] {
        rt::ThreadScope scope;
        RUBRIKA.addJournalPartner(KALDOR);
        fourtables::openAll();
        RECORDS(RUBRIKA);
        fourtables::closeAll();
    }).join();
    withTables([] {
        EXPECT_EQ(RECORDS(KALDOR), 3);
        EXPECT_EQ(countOf(ZAMETKA, ZAM_K2, ref(ZAM.IDDOK), 1), 1);
    });
    QStringList told;
    for (const ErrorReport& r : drive.reporter().reports()) {
        if (r.messageId == Msg::JournalPending)
            told << r.text;
    }
    EXPECT_EQ(told.size(), 4) << told.join(u'\n').toStdString();
    EXPECT_EQ(told.filter(QStringLiteral("Запись журнала отвергнута")).size(), 4);
    EXPECT_EQ(told.filter(QStringLiteral("зашифрованный")).size(), 2);
    // The rows stay where they were planted.
    ASSERT_EQ(sqlite3_open(QFile::encodeName(catalogue).constData(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM _kaldor_redo", -1, &st, nullptr);
    EXPECT_EQ(sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1, 3);
    sqlite3_finalize(st);
    sqlite3_close(db);
}
