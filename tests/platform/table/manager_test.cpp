#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "cards.h"
#include "driver.h"
#include "filemanager.h"

namespace {

// Cards with notes: a card's id change is restricted while it has notes, its
// deletion cascades to them.
struct Base {
    Cards c{QStringLiteral("c:\\base\\cards.tps")};
    Notes n{QStringLiteral("c:\\base\\notes.tps")};
    ErrorClass errors;
    FileManager fc, fn;
    RelationManager rc, rn;

    Base() {
        fc.FileNameValue = QStringLiteral("cards");
        fc.Init(c.file, errors);
        fc.Create = 1;
        fc.AddKey(c.K1, QStringLiteral("by id"), 1);
        fn.FileNameValue = QStringLiteral("notes");
        fn.Init(n.file, errors);
        fn.AddKey(n.K1, QStringLiteral("by note"), 1);
        rc.Init(fc, 1);
        rn.Init(fn, 1);
        rc.AddRelation(rn, RI::Restrict, RI::Cascade, n.K2);
        rc.AddRelationLink(c.R.ID, n.R.CARD);
        rn.AddRelation(rc);
        rc.SetOpenRelated();
        rc.Open();
    }
    ~Base() { rc.Close(); }

    void card(LONG id, int notes) {
        fc.PrimeRecord();
        c.R.ID = id;
        ASSERT_EQ(fc.Insert(), Level::Benign);
        for (int i = 0; i < notes; ++i) {
            fn.PrimeRecord();
            n.R.CARD = id;
            n.R.TEXT = "note";
            ASSERT_EQ(fn.Insert(), Level::Benign);
        }
    }
    int notesOf(LONG id) {
        int k = 0;
        n.R.CARD = id;
        SET(n.K2, n.K2);
        for (NEXT(n.file); !ERRORCODE() && n.R.CARD == id; NEXT(n.file))
            ++k;
        return k;
    }
};

class ManagerTest : public ::testing::Test {
  protected:
    TestDrive drive;
    void SetUp() override { drive.mkdir(QStringLiteral("base")); }
};

}  // namespace

TEST_F(ManagerTest, NumbersComeFromTheHighestAndCancelGivesThemBack) {
    Base b;
    for (int i = 0; i < 3; ++i) {
        b.c.file.clearRecord();
        ASSERT_EQ(b.fc.Insert(), Level::Benign);  // a zero number gets the next one
    }
    EXPECT_EQ(b.c.R.ID, 3);
    EXPECT_EQ(b.fc.PrimeRecord(), Level::Benign);
    EXPECT_EQ(b.c.R.ID, 4);
    EXPECT_EQ(b.fc.CancelAutoInc(), Level::Benign);
    b.fc.PrimeRecord();
    EXPECT_EQ(b.c.R.ID, 4);

    // Another thread inserting meanwhile never gets the reserved number.
    LONG other = 0;
    std::thread([&] {
        Base b2;
        b2.fc.PrimeRecord();
        other = b2.c.R.ID;
        b2.fc.Insert();
    }).join();
    EXPECT_EQ(other, 5);
    b.c.R.NAME = "four";
    ASSERT_EQ(b.fc.Insert(), Level::Benign);
    EXPECT_EQ(RECORDS(b.c.file), 5);
    b.fc.PrimeRecord();
    EXPECT_EQ(b.c.R.ID, 6);
}

TEST_F(ManagerTest, DuplicateKeyIsReportedWithTheKeyAndTheTable) {
    Base b;
    b.card(1, 0);
    b.fc.PrimeRecord();
    b.c.R.ID = 1;
    EXPECT_EQ(b.fc.Insert(), Level::Notify);
    EXPECT_EQ(ERRORCODE(), ErrCode::DuplicateKey);
    ASSERT_FALSE(drive.reporter().reports().empty());
    const ErrorReport r = drive.reporter().reports().back();
    EXPECT_EQ(r.messageId, Msg::DuplicateKey);
    EXPECT_TRUE(r.text.contains(u"by id") && r.text.contains(u"cards")) << r.text.toStdString();
    EXPECT_EQ(RECORDS(b.c.file), 1);
}

TEST_F(ManagerTest, RestrictedKeyChangeIsRefusedAndTheFieldsPutBack) {
    Base b;
    b.card(1, 2);
    b.c.R.ID = 1;
    b.fc.Fetch(b.c.K1);
    b.c.R.ID = 9;
    b.c.R.NAME = "renamed";
    EXPECT_EQ(b.rc.Update(), Level::Notify);
    EXPECT_EQ(b.c.R.ID, 1);
    EXPECT_EQ(b.c.R.NAME.clip(), QStringLiteral("renamed"));
    const ErrorReport r = drive.reporter().reports().back();
    EXPECT_EQ(r.title, QStringLiteral("Referential Integrity Update Error"));
    EXPECT_TRUE(r.text.contains(u"notes"));
    EXPECT_EQ(b.notesOf(1), 2);
    // Without the key change the same update goes through.
    EXPECT_EQ(b.rc.Update(), Level::Benign);
}

TEST_F(ManagerTest, BufferCopiesTellChanges) {
    Base b;
    b.card(1, 0);
    int id = b.fc.SaveBuffer();
    EXPECT_TRUE(b.fc.EqualBuffer(id));
    b.c.R.NAME = "changed";
    EXPECT_FALSE(b.fc.EqualBuffer(id));
    b.fc.RestoreBuffer(id);
    EXPECT_EQ(id, 0);
    EXPECT_TRUE(b.c.R.NAME.blank());
}

TEST_F(ManagerTest, OpenAndCloseCount) {
    Cards c(QStringLiteral("c:\\base\\cards.tps"));
    ErrorClass errors;
    FileManager fm;
    fm.Init(c.file, errors);
    EXPECT_EQ(fm.Close(), Level::Notify);  // nothing open
    fm.Open();
    fm.Open();
    EXPECT_FALSE(c.file.physicallyOpen());  // opened at the first use
    EXPECT_EQ(RECORDS(c.file), 0);
    EXPECT_TRUE(c.file.physicallyOpen());
    fm.Close();
    EXPECT_TRUE(c.file.physicallyOpen());
    fm.Close();
    EXPECT_FALSE(c.file.physicallyOpen());
}

TEST_F(ManagerTest, RollbackUndoesBothFiles) {
    Base b;
    b.card(1, 1);
    LOGOUT(2, {&b.c.file, &b.n.file});
    ASSERT_EQ(ERRORCODE(), 0);
    b.c.add(2, "two");
    b.n.add(5, 2, "x");
    ROLLBACK();
    EXPECT_EQ(RECORDS(b.c.file), 1);
    EXPECT_EQ(RECORDS(b.n.file), 1);
    LOGOUT(2, {&b.c.file});
    LOGOUT(2, {&b.n.file});
    EXPECT_EQ(ERRORCODE(), ErrCode::TransactionActive);
    COMMIT();
}

namespace {
// Deletes card 1 (three notes) in a child process that dies at `stage` of the
// commit; returns the child's exit status.
int deleteInChildDyingAt(int stage) {
    const pid_t pid = fork();
    if (pid == 0) {
        Base b;
        tbl::setCommitHook([stage](int s) {
            if (s == stage)
                _exit(7);
        });
        b.c.R.ID = 1;
        b.fc.Fetch(b.c.K1);
        b.rc.Delete(0);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

TEST_F(ManagerTest, ACascadeIsAllOrNothingWhenTheProcessDiesInItsCommit) {
    {
        Base b;
        b.card(1, 3);
        b.card(2, 1);
    }
    // Dying before the commit: nothing happened.
    ASSERT_EQ(deleteInChildDyingAt(1), 7);
    {
        Base b;
        EXPECT_EQ(RECORDS(b.c.file), 2);
        EXPECT_EQ(b.notesOf(1), 3);
    }
    // Dying between the files' commits: the card is gone, and the first open of
    // its file completes the deletion of its notes.
    ASSERT_EQ(deleteInChildDyingAt(2), 7);
    {
        Base b;
        EXPECT_EQ(RECORDS(b.c.file), 1);
        EXPECT_EQ(b.notesOf(1), 0);
        EXPECT_EQ(b.notesOf(2), 1);
        EXPECT_EQ(RECORDS(b.n.file), 1);
    }
    {
        Base b;  // completing it twice changes nothing
        EXPECT_EQ(RECORDS(b.n.file), 1);
    }
}
