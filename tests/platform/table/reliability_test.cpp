#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>
#include <thread>

#include "driver.h"

#include "cards.h"
#include "collation.h"
#include "view.h"

namespace {
// Each case runs on a folder of this machine (WAL) and on one declared a network
// share (the rollback journal and the file system's locks).
class SharingTest : public ::testing::TestWithParam<bool> {
  protected:
    TestDrive drive;
    void SetUp() override {
        drive.mkdir(QStringLiteral("base"));
        if (GetParam())
            qputenv("KALDOR_NETWORK_FOLDERS", drive.native(QStringLiteral("base")).toLocal8Bit());
    }
    void TearDown() override { qunsetenv("KALDOR_NETWORK_FOLDERS"); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Journal, SharingTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Share" : "Local"; });

TEST_P(SharingTest, TheLaterWriteOfARecordWins) {
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

TEST_P(SharingTest, ReadersGoOnWhileAWriterHoldsTheFileAndWritersWaitTheirTurn) {
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

// Locks of the file system belong to the process: opening one more connection
// to a file (another thread's) must not let go of the lock a writer holds.
TEST_P(SharingTest, AnotherProgramWaitsForAWriterWhileThisOneOpensTheFileAgain) {
    const QString path = drive.native(QStringLiteral("base/cards.dat"));
    Cards a(QStringLiteral("c:\\base\\cards.dat")), b(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(a.file);
    a.add(1, "one");
    LOGOUT(5, {&a.file});
    a.add(2, "two");
    std::thread([&] {
        OPEN(b.file);
        EXPECT_EQ(RECORDS(b.file), 1);
    }).join();
    QProcess other;
    other.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-cmd"), QStringLiteral(".timeout 300"), path,
                 QStringLiteral("INSERT INTO CARDS(_ptr, ID) VALUES(99, 99)")});
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_NE(other.exitCode(), 0) << "another program wrote while the transaction was open";
    EXPECT_TRUE(other.readAllStandardError().contains("locked"));
    COMMIT();
    EXPECT_EQ(RECORDS(a.file), 2);
    CLOSE(a.file);
    std::thread([&] { CLOSE(b.file); }).join();
}

TEST_P(SharingTest, AShareKeepsItsFilesOutOfWalAndAFileOnceSharedStaysSo) {
    const QString path = drive.native(QStringLiteral("base/cards.dat"));
    const QString folder = drive.native(QStringLiteral("base"));
    qunsetenv("KALDOR_NETWORK_FOLDERS");
    {
        Cards c(QStringLiteral("c:\\base\\cards.dat"));
        OPEN(c.file);
        c.add(1, "made on this machine");
        CLOSE(c.file);
    }
    EXPECT_EQ(plainQuery(path, "PRAGMA journal_mode"), QStringLiteral("wal"));
    if (!GetParam())
        return;  // the rest is the share's

    // While a program holds it open in WAL, a program that sees the file on a share
    // neither switches it nor uses it.
    sqlite3* other = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(other, "SELECT count(*) FROM CARDS", nullptr, nullptr, nullptr);
    qputenv("KALDOR_NETWORK_FOLDERS", folder.toLocal8Bit());
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    c.file.setLockWait(1);
    OPEN(c.file);
    RECORDS(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::FileInUse) << rt::errorDetail().toStdString();
    EXPECT_TRUE(rt::errorDetail().contains(u"WAL"));
    CLOSE(c.file);
    sqlite3_close(other);
    EXPECT_EQ(plainQuery(path, "PRAGMA journal_mode"), QStringLiteral("wal"));

    // Alone with it, it switches.
    OPEN(c.file);
    EXPECT_EQ(RECORDS(c.file), 1) << rt::errorDetail().toStdString();
    c.add(2, "added over the share");
    EXPECT_EQ(ERRORCODE(), 0);
    CLOSE(c.file);
    EXPECT_EQ(plainQuery(path, "PRAGMA journal_mode"), QStringLiteral("delete"));
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));

    // A new file on a share is made in the rollback journal.
    {
        Notes n(QStringLiteral("c:\\base\\notes.dat"));
        OPEN(n.file);
        n.add(1, 1, "note");
        EXPECT_EQ(ERRORCODE(), 0);
        CLOSE(n.file);
    }
    EXPECT_EQ(plainQuery(drive.native(QStringLiteral("base/notes.dat")), "PRAGMA journal_mode"),
              QStringLiteral("delete"));

    // The machine that holds the folder sees it as its own, and leaves it so: the
    // others may have it open.
    qunsetenv("KALDOR_NETWORK_FOLDERS");
    OPEN(c.file);
    EXPECT_EQ(RECORDS(c.file), 2);
    c.add(3, "added on the server");
    CLOSE(c.file);
    EXPECT_EQ(plainQuery(path, "PRAGMA journal_mode"), QStringLiteral("delete"));
}

TEST_P(SharingTest, AShareWithoutLocksIsReadOnlyAndSaysSoOnce) {
    {
        Cards c(QStringLiteral("c:\\base\\cards.dat"));
        Notes n(QStringLiteral("c:\\base\\notes.dat"));
        OPEN(c.file);
        OPEN(n.file);
        c.add(1, "one");
        n.add(1, 1, "note");
        CLOSE(c.file);
        CLOSE(n.file);
    }
    const QByteArray before = fileBytes(drive.native(QStringLiteral("base/cards.dat")));
    qputenv("KALDOR_NOLOCK_FOLDERS", drive.native(QStringLiteral("base")).toLocal8Bit());
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    Notes n(QStringLiteral("c:\\base\\notes.dat"));
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    n.file.setErrors(&errors, QStringLiteral("notes"));
    for (int round = 0; round < 2; ++round) {
        OPEN(c.file);
        OPEN(n.file);
        EXPECT_EQ(RECORDS(c.file), 1);
        EXPECT_EQ(RECORDS(n.file), 1);
        c.add(2, "two");
        EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly);
        CLOSE(c.file);
        CLOSE(n.file);
    }
    qunsetenv("KALDOR_NOLOCK_FOLDERS");
    // One message for the folder, at the first open, in the life of the program.
    const auto reports = drive.reporter().reports();
    const long shown = std::count_if(reports.begin(), reports.end(), [](const ErrorReport& r) {
        return r.messageId == Msg::ReadOnlyShare;
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(fileBytes(drive.native(QStringLiteral("base/cards.dat"))), before);
}

namespace {
// A file system whose byte-range locks fail, as on an NFS mount without its lock
// service: SQLite's own, with every lock of a table file refused (ENOLCK), except
// on files opened without locks. Installed as the default while it lives.
class LocksFail {
  public:
    LocksFail() {
        real_ = sqlite3_vfs_find("unix");
        vfs_ = *real_;
        vfs_.zName = "kaldor-locks-fail";
        vfs_.xOpen = &LocksFail::open;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~LocksFail() {
        sqlite3_vfs_unregister(&vfs_);
        sqlite3_vfs_register(real_, 1);
    }

  private:
    static int open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* out) {
        const int rc = real_->xOpen(real_, name, f, flags, out);
        if (rc == SQLITE_OK && f->pMethods && (flags & SQLITE_OPEN_MAIN_DB) &&
            !sqlite3_uri_boolean(name, "nolock", 0)) {
            if (!locking_) {
                locking_ = f->pMethods;
                failing_ = *f->pMethods;
                failing_.xLock = [](sqlite3_file*, int) { return SQLITE_IOERR_LOCK; };
            }
            if (f->pMethods == locking_)
                f->pMethods = &failing_;
        }
        return rc;
    }
    static inline sqlite3_vfs* real_ = nullptr;
    static inline const sqlite3_io_methods* locking_ = nullptr;
    static inline sqlite3_io_methods failing_{};
    sqlite3_vfs vfs_{};
};

// A table made at `made` and opened again at `seen`, the same file seen over a
// share that cannot lock: read, never written, and the share named once.
void expectReadOnlyShare(
    TestDrive& drive, const QString& made, const QString& seen,
    const std::function<void()>& beforeOpen = [] {}) {
    QFile::remove(made);
    {
        Cards c(made);
        OPEN(c.file);
        c.add(1, "made where the folder is");
        CLOSE(c.file);
    }
    const QByteArray before = fileBytes(made);
    Cards c(seen);
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    beforeOpen();
    OPEN(c.file);
    EXPECT_EQ(RECORDS(c.file), 1) << rt::errorDetail().toStdString();
    c.add(2, "added over the share");
    EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly);
    CLOSE(c.file);
    ASSERT_EQ(drive.reporter().reports().size(), 1u);
    EXPECT_EQ(drive.reporter().reports()[0].messageId, Msg::ReadOnlyShare);
    EXPECT_EQ(fileBytes(made), before);
}
}  // namespace

TEST(SharingFailures, AShareWhoseLocksFailIsReadOnlyAndSaysSo) {
    TestDrive drive;
    drive.mkdir(QStringLiteral("base"));
    const QString path = drive.native(QStringLiteral("base/cards.dat"));
    qputenv("KALDOR_NETWORK_FOLDERS", drive.native(QStringLiteral("base")).toLocal8Bit());
    std::unique_ptr<LocksFail> noLocks;
    expectReadOnlyShare(drive, path, path, [&] { noLocks = std::make_unique<LocksFail>(); });
    noLocks.reset();
    qunsetenv("KALDOR_NETWORK_FOLDERS");
}

TEST(FolderKind, IsAFunctionOfTheFolderThatTestsCanDeclare) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("share/base"));
    QDir(dir.path()).mkpath(QStringLiteral("shared"));
    QDir(dir.path()).mkpath(QStringLiteral("cd"));
    const QString root = dir.path();
    qunsetenv("KALDOR_NETWORK_FOLDERS");  // scripts/check-share declares every folder
    EXPECT_EQ(tbl::folderKind(root + QStringLiteral("/share")), tbl::FolderKind::Local);
    qputenv("KALDOR_NETWORK_FOLDERS",
            (QStringLiteral("/nowhere:") + root + QStringLiteral("/share")).toLocal8Bit());
    qputenv("KALDOR_NOLOCK_FOLDERS", (root + QStringLiteral("/cd/")).toLocal8Bit());
    const struct {
        const char* folder;
        tbl::FolderKind kind;
    } cases[] = {
        {"/share", tbl::FolderKind::Network},
        {"/share/base", tbl::FolderKind::Network},
        {"/share/base/../base", tbl::FolderKind::Network},
        {"/shared", tbl::FolderKind::Local},
        {"/cd", tbl::FolderKind::NetworkNoLocks},
        {"", tbl::FolderKind::Local},
    };
    for (const auto& k : cases)
        EXPECT_EQ(tbl::folderKind(root + QString::fromLatin1(k.folder)), k.kind) << k.folder;
    qunsetenv("KALDOR_NETWORK_FOLDERS");
    qunsetenv("KALDOR_NOLOCK_FOLDERS");
    // This machine's own folders.
    EXPECT_EQ(tbl::folderKind(QStringLiteral("/proc")), tbl::FolderKind::Local);
    EXPECT_EQ(tbl::folderKind(root), tbl::FolderKind::Local);
}

// On a real share of another machine: scripts/check-share mounts a folder of this
// machine through sshfs (a FUSE file system whose locks stay on the machine that
// takes them) at KALDOR_TEST_SHARE; KALDOR_TEST_SHARE_SERVER is the folder itself.
TEST(RealShare, ASshfsMountIsFoundAndItsBasesAreOpenedReadOnly) {
    const QString mount = qEnvironmentVariable("KALDOR_TEST_SHARE");
    const QString server = qEnvironmentVariable("KALDOR_TEST_SHARE_SERVER");
    if (mount.isEmpty() || server.isEmpty())
        GTEST_SKIP() << "no share: scripts/check-share makes one";
    EXPECT_EQ(tbl::folderKind(mount), tbl::FolderKind::NetworkNoLocks);
    EXPECT_EQ(tbl::folderKind(server), tbl::FolderKind::Local);
    TestDrive drive;
    expectReadOnlyShare(drive, server + QStringLiteral("/cards.dat"),
                        mount + QStringLiteral("/cards.dat"));
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

TEST_P(SharingTest, ListsSortABigBaseAtOnceWhileAnotherProgramWrites) {
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
