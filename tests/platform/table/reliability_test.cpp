#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "cards.h"
#include "collation.h"
#include "view.h"

namespace {
class SharingTest : public ::testing::Test {
  protected:
    TestDrive drive;
    void SetUp() override { drive.mkdir(QStringLiteral("base")); }
};
}  // namespace

TEST_F(SharingTest, TheLaterWriteOfARecordWins) {
    Cards a(QStringLiteral("c:\\base\\cards.dat")), b(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(a.file);
    OPEN(b.file);
    a.add(1, "first");
    b.R.ID = 1;
    GET(b.file, b.K1);
    a.R.NAME = "from a";
    rt::PUT(a.file);
    b.R.NAME = "from b";
    rt::PUT(b.file);
    EXPECT_EQ(ERRORCODE(), 0);
    GET(a.file, a.K1);
    EXPECT_EQ(a.R.NAME.clip(), QStringLiteral("from b"));
    CLOSE(a.file);
    CLOSE(b.file);
}

TEST_F(SharingTest, ReadersGoOnWhileAWriterHoldsTheFileAndWritersWaitTheirTurn) {
    Cards a(QStringLiteral("c:\\base\\cards.dat")), b(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(a.file);
    OPEN(b.file);
    a.add(1, "one");
    b.file.setLockWait(1);
    LOGOUT(5, {&a.file});
    a.add(2, "two");
    // Another connection reads what was committed, at once.
    std::thread([&] {
        EXPECT_EQ(RECORDS(b.file), 1);
        // A writer waits for the lock as long as it is told, then gives up.
        b.add(3, "three");
        EXPECT_EQ(ERRORCODE(), ErrCode::Busy);
    }).join();
    COMMIT();
    std::thread([&] {
        b.add(3, "three");
        EXPECT_EQ(ERRORCODE(), 0);
        EXPECT_EQ(RECORDS(b.file), 3);
    }).join();
    CLOSE(a.file);
    CLOSE(b.file);
}

namespace {
constexpr int kBig = 40000;

// One list's sort of the cards by name, read whole: true when it holds every
// card once, and (when `settled`) in the runtime's order of the names.
bool sortedOnce(Cards& x, bool settled = false) {
    ViewClass v(x.file);
    v.addField(x.R.ID);
    v.addField(x.R.NAME);
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(x.R.NAME), false}});
    std::vector<char> seen(kBig + 1, 0);
    int n = 0;
    bool ok = true;
    QString name;
    LONG id = 0;
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        ok = ok && x.R.ID >= 1 && x.R.ID <= kBig && !seen[size_t(x.R.ID)];
        if (ok)
            seen[size_t(x.R.ID)] = 1;
        if (settled && n > 0) {
            const int c = tbl::compareOrderValues(Value(name), Value(x.R.NAME.clip()), true);
            ok = ok && (c < 0 || (c == 0 && id < x.R.ID));
        }
        name = x.R.NAME.clip();
        id = x.R.ID;
        ++n;
        return ok;
    });
    return ok && n == kBig;
}
}  // namespace

TEST_F(SharingTest, ListsSortABigBaseAtOnceWhileAnotherProgramWrites) {
    const QString path = QStringLiteral("c:\\base\\cards.dat");
    {
        Cards a(path);
        OPEN(a.file);
        a.addMany(1, kBig);
        CLOSE(a.file);
    }
    // Another process sorts too, each sort read in parts on connections of its own.
    const pid_t child = fork();
    if (child == 0) {
        Cards x(path);
        OPEN(x.file);
        bool ok = true;
        for (int i = 0; i < 3; ++i)
            ok = sortedOnce(x) && ok;
        _exit(ok ? 0 : 1);
    }
    std::thread writer([&] {
        Cards w(path);
        OPEN(w.file);
        for (int round = 0; round < 20; ++round) {
            LOGOUT(5, {&w.file});
            for (RecordPointer p = 1 + round; p <= kBig; p += 997) {
                GET(w.file, p);
                w.R.NAME = QStringLiteral("%1 изменён %2").arg(round).arg(p);
                rt::PUT(w.file);
            }
            COMMIT();
        }
        CLOSE(w.file);
    });
    std::vector<std::thread> lists;
    for (int t = 0; t < 2; ++t) {
        lists.emplace_back([&] {
            Cards x(path);
            OPEN(x.file);
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(sortedOnce(x));
            CLOSE(x.file);
        });
    }
    writer.join();
    for (auto& t : lists)
        t.join();
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Once the writes are done, a sort follows them.
    Cards a(path);
    OPEN(a.file);
    EXPECT_TRUE(sortedOnce(a, true));
    CLOSE(a.file);
}
