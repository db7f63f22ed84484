#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <functional>
#include <thread>

#include "cards.h"
#include "driver.h"
#include "filemanager.h"

namespace {

// Cards with notes: by default a card's id change is restricted while it has
// notes, its deletion cascades to them.
struct Base {
    Cards c{QStringLiteral("c:\\base\\cards.tps")};
    Notes n{QStringLiteral("c:\\base\\notes.tps")};
    ErrorClass errors;
    FileManager fc, fn;
    RelationManager rc, rn;

    explicit Base(BYTE updateMode = RI::Restrict, BYTE deleteMode = RI::Cascade) {
        fc.FileNameValue = QStringLiteral("cards");
        fc.Init(c.file, errors);
        fc.Create = 1;
        fc.AddKey(c.K1, QStringLiteral("by id"), 1);
        fn.FileNameValue = QStringLiteral("notes");
        fn.Init(n.file, errors);
        fn.AddKey(n.K1, QStringLiteral("by note"), 1);
        rc.Init(fc, 1);
        rn.Init(fn, 1);
        rc.AddRelation(rn, updateMode, deleteMode, n.K2);
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
    QString cardsFile() const { return drive.native(QStringLiteral("base/cards.tps")); }
    QString notesFile() const { return drive.native(QStringLiteral("base/notes.tps")); }
    int reported(int messageId) {
        int n = 0;
        for (const ErrorReport& r : drive.reporter().reports())
            n += r.messageId == messageId ? 1 : 0;
        return n;
    }
};

// Card `id` as stored, every field and its body, read on a thread of its own;
// empty when there is none.
QList<QByteArray> storedCard(LONG id) {
    QList<QByteArray> out;
    std::thread([&] {
        Base o;
        o.c.R.ID = id;
        if (o.fc.TryFetch(o.c.K1) != Level::Benign)
            return;
        for (const auto& f : o.c.file.fields())
            out << f.ref.get().toText().toUtf8();
        out << o.c.R.BODY.data();
    }).join();
    return out;
}

// Runs SQL on a table file with plain SQLite (no connection of ours open).
void plainSql(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
}

int plainCount(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    const int n = st && sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

// Zeroes the first page of `table` in the file (no connection of ours open):
// the file still opens, but every read of the table fails.
void damageTable(const QString& path, const char* table) {
    const int page = plainCount(
        path, QByteArray("SELECT rootpage FROM sqlite_master WHERE name='") + table + "'");
    ASSERT_GT(page, 1);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(qint64(page - 1) * 4096));
    f.write(QByteArray(4096, '\0'));
}

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

    // Without an error manager to tell it to, the refusal is the same.
    b.fc.Errors = nullptr;
    b.c.R.ID = 9;
    EXPECT_EQ(b.rc.Update(), Level::Notify);
    EXPECT_EQ(b.c.R.ID, 1);
    Base d(RI::Cascade, RI::Restrict);
    d.fc.Errors = nullptr;
    d.c.R.ID = 1;
    ASSERT_EQ(d.fc.Fetch(d.c.K1), Level::Benign);
    EXPECT_EQ(d.rc.Delete(0), Level::Notify);
    EXPECT_EQ(ERRORCODE(), ErrCode::RecordNotAvailable);
    EXPECT_EQ(RECORDS(d.c.file), 1);
}

TEST_F(ManagerTest, AFailedReadOfTheChildrenRefusesTheChange) {
    // Restricted or cascaded, a change never takes "cannot read" for "none".
    for (const auto& [update, remove] : {std::pair<BYTE, BYTE>{RI::Restrict, RI::Cascade},
                                         std::pair<BYTE, BYTE>{RI::Cascade, RI::Restrict}}) {
        QFile::remove(cardsFile());
        QFile::remove(notesFile());
        {
            Base b(update, remove);
            b.card(1, 2);
        }
        damageTable(notesFile(), "NOTES");
        Base b(update, remove);
        b.c.R.ID = 1;
        ASSERT_EQ(b.fc.Fetch(b.c.K1), Level::Benign);
        b.c.R.ID = 9;
        EXPECT_EQ(b.rc.Update(), Level::Notify) << int(update);
        EXPECT_EQ(ERRORCODE(), ErrCode::InvalidFile);
        b.c.R.ID = 1;
        EXPECT_EQ(b.fc.TryFetch(b.c.K1), Level::Benign) << int(update);
        EXPECT_EQ(b.rc.Delete(0), Level::Notify) << int(remove);
        EXPECT_EQ(RECORDS(b.c.file), 1) << int(remove);
    }
}

TEST_F(ManagerTest, ASaveFindsTheRecordAsItWasReadOrIsRefused) {
    // What another window or program does between this one's read and its save.
    struct Case {
        const char* what;
        std::function<void(Base&)> meanwhile;
        bool refused;
    };
    const std::vector<Case> cases = {
        {"nothing", [](Base&) {}, false},
        {"saved it unchanged", [](Base& o) { EXPECT_EQ(o.rc.Update(), Level::Benign); }, false},
        {"changed a field",
         [](Base& o) {
             o.c.R.NAME = "чужое";
             EXPECT_EQ(o.rc.Update(), Level::Benign);
         },
         true},
        {"changed the body alone",
         [](Base& o) {
             o.c.R.BODY.setData("чужой текст");
             EXPECT_EQ(o.rc.Update(), Level::Benign);
         },
         true},
        {"deleted it", [](Base& o) { EXPECT_EQ(o.rc.Delete(0), Level::Benign); }, true},
    };
    Base b;
    b.card(1, 0);
    for (const Case& c : cases) {
        b.c.R.ID = 1;
        ASSERT_EQ(b.fc.Fetch(b.c.K1), Level::Benign);
        b.c.R.NAME = "исходное";
        b.c.R.NOTE = "";
        b.c.R.BODY.setData("исходный текст");
        ASSERT_EQ(b.rc.Update(), Level::Benign);
        // Read as a form reads it; the other writer works on a thread of its own.
        ASSERT_EQ(b.fc.Fetch(b.c.K1), Level::Benign);
        ASSERT_EQ(b.fc.Watch(), Level::Benign);
        std::thread([&] {
            Base o;
            o.c.R.ID = 1;
            ASSERT_EQ(o.fc.Fetch(o.c.K1), Level::Benign);
            c.meanwhile(o);
        }).join();
        const QList<QByteArray> theirs = storedCard(1);
        drive.reporter().clear();
        b.c.R.NOTE = "моя правка";
        const int rc = b.rc.Update();
        if (c.refused) {
            EXPECT_EQ(rc, Level::Notify) << c.what;
            EXPECT_EQ(ERRORCODE(), ErrCode::RecordChanged) << c.what;
            EXPECT_EQ(reported(Msg::RecordChanged), 1) << c.what;
            EXPECT_EQ(b.c.R.NOTE.str(), QStringLiteral("моя правка"));  // kept as typed
            EXPECT_EQ(storedCard(1), theirs) << c.what;                 // byte for byte
            // Refused again until the record is read again.
            EXPECT_EQ(b.rc.Update(), Level::Notify) << c.what;
        } else {
            EXPECT_EQ(rc, Level::Benign) << c.what;
            const QList<QByteArray> mine = storedCard(1);
            ASSERT_FALSE(mine.isEmpty());
            EXPECT_EQ(mine[4], QByteArray("моя правка")) << c.what;
        }
        b.fc.Unwatch();
    }
    EXPECT_TRUE(storedCard(1).isEmpty());  // the last writer deleted it: not brought back
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
    // its file completes the deletion of its notes...
    ASSERT_EQ(deleteInChildDyingAt(2), 7);
    // ...unless the notes cannot be written then: the journal stays, says so,
    // and completes the deletion at an open after the file is mended.
    plainSql(notesFile(), "PRAGMA user_version");  // the dead writer's log is put in place
    const QString copy = notesFile() + QStringLiteral(".copy");
    ASSERT_TRUE(QFile::copy(notesFile(), copy));
    damageTable(notesFile(), "NOTES");
    {
        Base b;
        EXPECT_EQ(RECORDS(b.c.file), 1);
        EXPECT_EQ(reported(Msg::JournalPending), 1);
        EXPECT_EQ(plainCount(cardsFile(), "SELECT count(*) FROM _kaldor_redo"), 3);
    }
    ASSERT_TRUE(QFile::remove(notesFile()) && QFile::rename(copy, notesFile()));
    {
        Base b;
        EXPECT_EQ(RECORDS(b.c.file), 1);
        EXPECT_EQ(b.notesOf(1), 0);
        EXPECT_EQ(b.notesOf(2), 1);
        EXPECT_EQ(RECORDS(b.n.file), 1);
        EXPECT_EQ(plainCount(cardsFile(), "SELECT count(*) FROM _kaldor_redo"), 0);
    }
    {
        Base b;  // completing it twice changes nothing
        EXPECT_EQ(RECORDS(b.n.file), 1);
    }
}

TEST_F(ManagerTest, AJournalRowTheProgramDidNotWriteIsRefusedAndChangesNothing) {
    QString notesId;
    {
        Base b;
        b.card(1, 2);
        LOGOUT(2, {&b.c.file, &b.n.file});  // gives each file its identity
        COMMIT();
        notesId = b.n.file.connection()->fileId();
    }
    ASSERT_EQ(notesId.size(), 32);
    const QByteArray notes = QFile::encodeName(notesFile());
    const QByteArray id = notesId.toLatin1();
    // Rows put into the journal of cards.tps by hand: its table, file, write and values.
    struct Case {
        const char* what;
        QByteArray row;
        bool applied;
    };
    const std::vector<Case> cases = {
        {"a statement and a path", "'" + notes + "', 'NOTES', 'DELETE FROM NOTES', '[]'", false},
        {"a table not written with cards", "'" + id + "', 'OTHER', 'delete', '[[1,\"1\"]]'", false},
        {"another file of the table",
         "'00000000000000000000000000000000', 'NOTES', 'delete', '[[1,\"1\"]]'", false},
        {"values no write of the table has",
         "'" + id + "', 'NOTES', 'store', '[[1,\"1\"],[3,\"x\"]]'", false},
        {"no write at all", "'" + id + "', 'NOTES', 'drop', '[[1,\"1\"]]'", false},
        {"damaged values", "'" + id + "', 'NOTES', 'delete', '[[1,'", false},
        {"a write the program makes", "'" + id + "', 'NOTES', 'delete', '[[1,\"1\"]]'", true},
    };
    int txid = 100;
    for (const Case& c : cases) {
        const QByteArray tx = QByteArray::number(++txid);
        plainSql(cardsFile(), "INSERT INTO _kaldor_redo VALUES(" + tx + ", 1, " + c.row + ")");
        drive.reporter().clear();
        {
            Base b;
            EXPECT_EQ(RECORDS(b.c.file), 1) << c.what;  // the first open completes what it can
            EXPECT_EQ(RECORDS(b.n.file), c.applied ? 1 : 2) << c.what;
        }
        EXPECT_EQ(reported(Msg::JournalPending), c.applied ? 0 : 1) << c.what;
        EXPECT_EQ(plainCount(cardsFile(), "SELECT count(*) FROM _kaldor_redo WHERE txid=" + tx),
                  c.applied ? 0 : 1)
            << c.what;
        plainSql(cardsFile(), "DELETE FROM _kaldor_redo");
    }
}
