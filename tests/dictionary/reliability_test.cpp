#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <map>
#include <set>
#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"
#include "driver.h"
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
        if (GetParam())
            qputenv("KALDOR_NETWORK_FOLDERS", drive.native(QStringLiteral("base1")).toLocal8Bit());
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
