#include <gtest/gtest.h>

#include <thread>

#include "cards.h"

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
