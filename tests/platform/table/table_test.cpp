#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cards.h"
#include "core/paths.h"
#include "driver.h"

namespace {

class TableTest : public ::testing::Test {
  protected:
    TestDrive drive;
    void SetUp() override { drive.mkdir(QStringLiteral("base")); }
};

}  // namespace

TEST_F(TableTest, MissingFileIsCreatedEmptyAndPlainFileIsReadableWithStandardTools) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    ASSERT_EQ(ERRORCODE(), 0) << ERROR().toStdString() << rt::errorDetail().toStdString();
    EXPECT_EQ(RECORDS(c.file), 0);
    c.file.clearRecord();
    c.R.ID = 7;
    c.R.NAME = "Закон о праве  ";
    c.R.DAY = rt::dayNumber(2020, 3, 1);
    c.R.CODE = 125;
    c.R.NOTE = "a.rtf  ";
    ADD(c.file);
    ASSERT_EQ(ERRORCODE(), 0);
    CLOSE(c.file);

    const QString path = drive.native(QStringLiteral("base/cards.dat"));
    // Columns named after the fields; text without its padding, dates as dates.
    EXPECT_EQ(plainQuery(path, "SELECT NAME FROM CARDS"), QStringLiteral("Закон о праве"));
    EXPECT_EQ(plainQuery(path, "SELECT DAY FROM CARDS"), QStringLiteral("2020-03-01"));
    EXPECT_EQ(plainQuery(path, "SELECT CODE FROM CARDS"), QStringLiteral("125"));
    EXPECT_EQ(plainQuery(path, "SELECT NOTE FROM CARDS"), QStringLiteral("a.rtf  "));

    OPEN(c.file);
    c.file.clearRecord();
    SET(c.file);
    NEXT(c.file);
    ASSERT_EQ(ERRORCODE(), 0);
    EXPECT_EQ(c.R.NAME.str(), QStringLiteral("Закон о праве") + QString(27, u' '));
    EXPECT_EQ(c.R.DAY.day(), rt::dayNumber(2020, 3, 1));
    EXPECT_EQ(c.R.NOTE.str(), QStringLiteral("a.rtf  "));
    CLOSE(c.file);
}

TEST_F(TableTest, EncryptedFileCannotBeReadWithoutItsPassword) {
    {
        Cards c(QStringLiteral("c:\\base\\secret.tps"), QStringLiteral("vextramolq"));
        OPEN(c.file);
        c.add(1, "тайна");
        ASSERT_EQ(ERRORCODE(), 0) << rt::errorDetail().toStdString();
        CLOSE(c.file);
    }
    const QString path = drive.native(QStringLiteral("base/secret.tps"));
    int rc = 0;
    plainQuery(path, "SELECT count(*) FROM sqlite_master", &rc);
    EXPECT_EQ(rc, SQLITE_NOTADB);
    EXPECT_FALSE(fileBytes(path).contains(QStringLiteral("тайна").toUtf8()));

    Cards again(QStringLiteral("c:\\base\\secret.tps"), QStringLiteral("vextramolq"));
    OPEN(again.file);
    GET(again.file, again.K1);  // ID 0 is not in the optional key
    again.R.ID = 1;
    GET(again.file, again.K1);
    EXPECT_EQ(ERRORCODE(), 0);
    EXPECT_EQ(again.R.NAME.clip(), QStringLiteral("тайна"));
    CLOSE(again.file);
}

TEST_F(TableTest, DatesAndNumbersRoundTrip) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    const LONG days[] = {0,
                         1,
                         rt::dayNumber(1900, 3, 1),
                         rt::dayNumber(2000, 2, 29),
                         rt::dayNumber(1999, 12, 31),
                         DATE::kMaxDay,
                         -5,
                         DATE::kMaxDay + 10};
    LONG id = 1;
    for (LONG d : days) {
        c.file.clearRecord();
        c.R.ID = id++;
        c.R.DAY = d;
        c.R.CODE = -99999;
        c.R.RATE = 2.5;
        c.R.FLAG = 255;
        ADD(c.file);
        ASSERT_EQ(ERRORCODE(), 0);
    }
    id = 1;
    for (LONG d : days) {
        c.file.clearRecord();
        c.R.ID = id++;
        GET(c.file, c.K1);
        ASSERT_EQ(ERRORCODE(), 0);
        EXPECT_EQ(c.R.DAY.day(), d);
        EXPECT_EQ(c.R.CODE.toInt(), -99999);
        EXPECT_EQ(c.R.RATE, 2.5);
        EXPECT_EQ(c.R.FLAG, 255);
    }
    CLOSE(c.file);
}

TEST_F(TableTest, KeysOrderDuplicatesAndLeaveOutZeroValues) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    const LONG d1 = rt::dayNumber(2001, 1, 1), d2 = rt::dayNumber(2002, 2, 2);
    c.add(3, "б", d2);
    c.add(1, "а", d1);
    c.add(2, "в", d1);  // a second record of the same day: duplicates allowed
    c.add(4, "г", 0);   // no date: not in the optional day key
    ASSERT_EQ(ERRORCODE(), 0);
    c.add(3, "дубль");  // the unique key refuses
    EXPECT_EQ(ERRORCODE(), ErrCode::DuplicateKey);
    EXPECT_FALSE(errorText(ErrCode::DuplicateKey).isEmpty());
    EXPECT_EQ(RECORDS(c.file), 4);

    auto scan = [&](auto setUp, bool forward) {
        std::vector<LONG> ids;
        setUp();
        for (;;) {
            forward ? NEXT(c.file) : PREVIOUS(c.file);
            if (ERRORCODE())
                break;
            ids.push_back(c.R.ID);
        }
        EXPECT_EQ(ERRORCODE(), ErrCode::RecordNotAvailable);
        return ids;
    };
    EXPECT_EQ(scan([&] { SET(c.file); }, true), (std::vector<LONG>{3, 1, 2, 4}));
    // Ties in a key go by record pointer, forward and backward alike.
    EXPECT_EQ(scan([&] { SET(c.K2); }, true), (std::vector<LONG>{1, 2, 3}));
    EXPECT_EQ(scan([&] { SET(c.K2); }, false), (std::vector<LONG>{3, 2, 1}));
    EXPECT_EQ(scan([&] { SET(c.K3); }, true), (std::vector<LONG>{1, 3, 2, 4}));
    // From a key value in the buffer.
    EXPECT_EQ(scan(
                  [&] {
                      c.R.DAY = d2;
                      SET(c.K2, c.K2);
                  },
                  true),
              (std::vector<LONG>{3}));

    // Eof is true once the last record was read.
    SET(c.K2);
    NEXT(c.file);
    NEXT(c.file);
    EXPECT_FALSE(Eof(c.file));
    NEXT(c.file);
    EXPECT_TRUE(Eof(c.file));
    CLOSE(c.file);
}

TEST_F(TableTest, DescendingKeyPartAndPositionRestart) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    for (int i = 1; i <= 6; ++i)
        c.add(i, "x", 0, i % 3);
    std::vector<LONG> ids;
    SET(c.K4);
    for (NEXT(c.file); !ERRORCODE(); NEXT(c.file))
        ids.push_back(c.R.ID);
    EXPECT_EQ(ids, (std::vector<LONG>{2, 5, 1, 4, 3, 6}));

    SET(c.K4);
    NEXT(c.file);
    NEXT(c.file);
    const QString pos = POSITION(c.file);
    NEXT(c.file);
    RESET(c.file, pos);
    NEXT(c.file);
    EXPECT_EQ(c.R.ID, 5);
    NEXT(c.file);
    EXPECT_EQ(c.R.ID, 1);
    CLOSE(c.file);
}

TEST_F(TableTest, PutDeleteAndGetByPointer) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    rt::PUT(c.file);  // nothing read yet
    EXPECT_EQ(ERRORCODE(), ErrCode::RecordNotAvailable);
    c.add(1, "один");
    const RecordPointer p = POINTER(c.file);
    c.add(2, "два");
    GET(c.file, p);
    EXPECT_EQ(c.R.ID, 1);
    c.R.NAME = "первый";
    rt::PUT(c.file);
    EXPECT_EQ(ERRORCODE(), 0);
    c.R.ID = 2;  // a key change onto an existing value
    rt::PUT(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::DuplicateKey);
    GET(c.file, p);
    EXPECT_EQ(c.R.NAME.clip(), QStringLiteral("первый"));
    DELETE(c.file);
    EXPECT_EQ(ERRORCODE(), 0);
    GET(c.file, p);
    EXPECT_EQ(ERRORCODE(), ErrCode::RecordNotFound);
    EXPECT_EQ(RECORDS(c.file), 1);
    CLOSE(c.file);
    NEXT(c.file);
    EXPECT_NE(ERRORCODE(), 0);
}

TEST_F(TableTest, BlobsAreReadOnDemandAndCopiedToAndFromFiles) {
    Cards c(QStringLiteral("c:\\base\\cards.tps"), QStringLiteral("pw"));
    OPEN(c.file);
    c.file.clearRecord();
    c.R.ID = 1;
    c.R.BODY.setData(QByteArray("{\\rtf1 текст}"));
    ADD(c.file);
    const RecordPointer p1 = POINTER(c.file);
    c.add(2, "без текста");
    ASSERT_EQ(ERRORCODE(), 0);

    GET(c.file, p1);
    EXPECT_FALSE(c.R.BODY.changed());
    EXPECT_EQ(c.R.BODY.data(), QByteArray("{\\rtf1 текст}"));
    // A rewrite of the fields keeps the body it did not touch.
    c.R.NAME = "новое имя";
    rt::PUT(c.file);
    GET(c.file, p1);
    EXPECT_EQ(c.R.BODY.data(), QByteArray("{\\rtf1 текст}"));

    EXPECT_EQ(BlobToFile(c.R.BODY, u"c:\\base\\out.rtf"), 0);
    EXPECT_EQ(fileBytes(drive.native(QStringLiteral("base/out.rtf"))),
              QByteArray("{\\rtf1 текст}"));
    EXPECT_EQ(BlobToFile(c.R.BODY, u"c:\\nowhere\\out.rtf"), ErrCode::PathNotFound);
    EXPECT_EQ(ERRORCODE(), ErrCode::PathNotFound);

    // A file into the body of another card: it reaches the table with the record.
    c.R.ID = 2;
    GET(c.file, c.K1);
    EXPECT_TRUE(c.R.BODY.data().isEmpty());
    EXPECT_EQ(FileToBlob(u"c:\\base\\out.rtf", c.R.BODY), 0);
    EXPECT_TRUE(c.R.BODY.changed());
    rt::PUT(c.file);
    c.R.BODY.clear();
    GET(c.file, c.K1);
    EXPECT_EQ(c.R.BODY.data(), QByteArray("{\\rtf1 текст}"));
    EXPECT_NE(FileToBlob(u"c:\\base\\missing.rtf", c.R.BODY), 0);
    EXPECT_EQ(ERRORCODE(), ErrCode::NoFile);
    EXPECT_NE(FileToBlob(u"", c.R.BODY), 0);

    // ADD of a record read from another copies its body too.
    GET(c.file, p1);
    c.R.ID = 3;
    ADD(c.file);
    c.R.ID = 3;
    c.R.BODY.clear();
    GET(c.file, c.K1);
    EXPECT_EQ(c.R.BODY.data(), QByteArray("{\\rtf1 текст}"));
    GET(c.file, p1);
    CLOSE(c.file);
    // A body left unread when its file closed is empty, never another file's.
    EXPECT_TRUE(c.R.BODY.data().isEmpty());
}

TEST_F(TableTest, RecordImagesTellChangesAndPutFieldsBack) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    c.add(1, "имя");
    const RecordImage img = c.file.saveRecord();
    EXPECT_TRUE(c.file.sameRecord(img));
    c.R.NAME = "другое";
    EXPECT_FALSE(c.file.sameRecord(img));
    c.file.restoreRecord(img);
    EXPECT_TRUE(c.file.sameRecord(img));
    c.R.BODY.setData("x");
    EXPECT_FALSE(c.file.sameRecord(img));
    CLOSE(c.file);
}

// ---------------------------------------------------------------------------
// Files that are not what they should be: a clear error, the file untouched.

namespace {
struct BadFileCase {
    const char* name;
    std::function<void(const QString& path)> spoil;
    std::vector<int> codes;
    QString password;
};

void expectRefused(TestDrive& drive, const BadFileCase& bad) {
    const QString path = drive.native(QStringLiteral("base/bad.tps"));
    bad.spoil(path);
    const QByteArray before = fileBytes(path);
    const QFileInfo infoBefore(path);
    Cards c(QStringLiteral("c:\\base\\bad.tps"), bad.password);
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    OPEN(c.file);
    const int code = ERRORCODE();
    EXPECT_NE(std::find(bad.codes.begin(), bad.codes.end(), code), bad.codes.end())
        << bad.name << ": got " << code << " " << rt::errorDetail().toStdString();
    EXPECT_TRUE(rt::errorDetail().contains(path)) << bad.name;
    EXPECT_FALSE(c.file.physicallyOpen());
    ASSERT_FALSE(drive.reporter().reports().empty()) << bad.name;
    EXPECT_EQ(drive.reporter().reports().back().messageId, Msg::OpenFailed) << bad.name;
    EXPECT_TRUE(drive.reporter().reports().back().text.contains(u"cards")) << bad.name;
    NEXT(c.file);  // nothing crashes on a file that failed to open
    CLOSE(c.file);
    chmod(QFile::encodeName(path).constData(), 0644);
    EXPECT_EQ(fileBytes(path), before) << bad.name;
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")) &&
                 QFileInfo(path + QStringLiteral("-wal")).size() > 0)
        << bad.name;
    drive.reporter().clear();
}

void makeGood(const QString& path, const QString& password) {
    QFile::remove(path);
    Cards c(QStringLiteral("c:\\base\\bad.tps"), password);
    OPEN(c.file);
    for (int i = 1; i <= 300; ++i) {
        c.file.clearRecord();
        c.R.ID = i;
        c.R.BODY.setData(QByteArray(3000, char('a' + i % 26)));
        ADD(c.file);
    }
    CLOSE(c.file);
    (void)path;
}
}  // namespace

TEST_F(TableTest, DamagedForeignReadOnlyAndWrongPasswordFilesAreRefusedUntouched) {
    const std::vector<BadFileCase> cases = {
        {"garbage",
         [](const QString& p) { writeFile(p, QByteArray(8192, 'g')); },
         {ErrCode::InvalidFile},
         {}},
        {"truncated",
         [](const QString& p) {
             makeGood(p, {});
             QFile f(p);
             f.resize(f.size() / 2);
         },
         {ErrCode::InvalidFile},
         {}},
        {"garbage under a password",
         [](const QString& p) { writeFile(p, QByteArray(8192, 'g')); },
         {ErrCode::InvalidFile},
         QStringLiteral("pw")},
        {"a text document under a password",
         [](const QString& p) {
             QByteArray rtf("{\\rtf1\\ansi ");
             while (rtf.size() < 3 * 4096)
                 rtf += "\\par Статья 1. Текст закона, который не таблица. ";
             writeFile(p, rtf.left(3 * 4096));
         },
         {ErrCode::InvalidFile},
         QStringLiteral("pw")},
        {"empty and read-only",
         [](const QString& p) {
             QFile::remove(p);
             writeFile(p, {});
             chmod(QFile::encodeName(p).constData(), 0444);
         },
         {ErrCode::ReadOnly},
         {}},
        {"wrong password",
         [](const QString& p) { makeGood(p, QStringLiteral("right")); },
         {ErrCode::BadPassword},
         QStringLiteral("wrong")},
        {"plain file where a password is declared",
         [](const QString& p) { makeGood(p, {}); },
         {ErrCode::InvalidFile},
         QStringLiteral("pw")},
        {"another program's database",
         [](const QString& p) {
             QFile::remove(p);
             sqlite3* db = nullptr;
             sqlite3_open(QFile::encodeName(p).constData(), &db);
             sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr,
                          nullptr);
             sqlite3_close(db);
         },
         {ErrCode::InvalidFile},
         {}},
        {"another layout",
         [](const QString& p) {
             QFile::remove(p);
             Notes n(QStringLiteral("c:\\base\\bad.tps"));
             OPEN(n.file);
             n.add(1, 1, "x");
             CLOSE(n.file);
             (void)p;
         },
         {ErrCode::InvalidFile},
         {}},
    };
    for (const auto& c : cases)
        expectRefused(drive, c);
}

TEST_F(TableTest, MissingFolderIsReportedWithTheFileName) {
    Cards c(QStringLiteral("c:\\no_such_folder\\cards.dat"));
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    OPEN(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::PathNotFound);
    ASSERT_EQ(drive.reporter().reports().size(), 1u);
    EXPECT_TRUE(drive.reporter().reports()[0].text.contains(u"cards"));
    EXPECT_FALSE(QFileInfo::exists(drive.native(QStringLiteral("no_such_folder"))));
    CLOSE(c.file);
}

TEST_F(TableTest, CountAndBodiesStayRightWhenAnotherProgramDeletes) {
    Cards c(QStringLiteral("c:\\base\\cards.dat"));
    OPEN(c.file);
    for (int i = 1; i <= 3; ++i) {
        c.file.clearRecord();
        c.R.ID = i;
        c.R.BODY.setData("body");
        ADD(c.file);
    }
    CLOSE(c.file);
    const QString path = drive.native(QStringLiteral("base/cards.dat"));
    int rc = 0;
    plainQuery(path, "DELETE FROM CARDS WHERE ID = 2", &rc);
    EXPECT_EQ(rc, SQLITE_DONE);
    EXPECT_EQ(plainQuery(path, "SELECT count(*) FROM CARDS_BODY"), QStringLiteral("2"));
    OPEN(c.file);
    EXPECT_EQ(RECORDS(c.file), 2);
    CLOSE(c.file);
}

// ---------------------------------------------------------------------------
// Files and folders the program may not write (a CD, a share with read rights):
// read as usual, never written, and every write says why.

namespace {
void setMode(const QString& path, mode_t mode) {
    chmod(QFile::encodeName(path).constData(), mode);
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// What a folder holds beside the log's index, which SQLite makes beside a read-only
// file in WAL where the folder lets it.
QStringList tableFiles(const QString& folder) {
    QStringList out;
    for (const QString& f : folderEntries(folder)) {
        if (!f.endsWith(QStringLiteral("-shm")) && !f.endsWith(QStringLiteral("-wal")))
            out << f;
    }
    return out;
}
}  // namespace

TEST_F(TableTest, ReadOnlyFilesAndFoldersAreReadAndNeverWritten) {
    const QString folder = drive.native(QStringLiteral("base"));
    const QString path = drive.native(QStringLiteral("base/ro.tps"));
    drive.mkdir(QStringLiteral("out"));
    struct Case {
        const char* name;
        mode_t fileMode, folderMode;
    };
    const Case cases[] = {
        {"read-only file", 0444, 0755},
        {"read-only folder", 0644, 0555},
        {"read-only file in a read-only folder", 0444, 0555},
    };
    for (const Case& k : cases) {
        QFile::remove(path);
        {
            Cards c(QStringLiteral("c:\\base\\ro.tps"), QStringLiteral("pw"));
            OPEN(c.file);
            for (int i = 1; i <= 3; ++i) {
                c.file.clearRecord();
                c.R.ID = i;
                c.R.NAME = "карточка";
                c.R.BODY.setData(QByteArray("{\\rtf1 текст ") + QByteArray::number(i) + '}');
                ADD(c.file);
            }
            CLOSE(c.file);
        }
        setMode(path, k.fileMode);
        setMode(folder, k.folderMode);
        const QByteArray before = fileBytes(path);
        const QStringList entries = folderEntries(folder);

        Cards c(QStringLiteral("c:\\base\\ro.tps"), QStringLiteral("pw"));
        ErrorClass errors;
        c.file.setErrors(&errors, QStringLiteral("cards"));
        OPEN(c.file);
        EXPECT_EQ(RECORDS(c.file), 3) << k.name << " " << rt::errorDetail().toStdString();
        c.R.ID = 2;
        GET(c.file, c.K1);
        EXPECT_EQ(ERRORCODE(), 0) << k.name;
        EXPECT_EQ(c.R.BODY.data(), QByteArray("{\\rtf1 текст 2}")) << k.name;
        EXPECT_EQ(BlobToFile(c.R.BODY, u"c:\\out\\Test.rtf"), 0) << k.name;
        const RecordPointer two = POINTER(c.file);

        c.R.NAME = "изменено";
        rt::PUT(c.file);
        EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly) << k.name;
        EXPECT_TRUE(ERROR().contains(u"только для чтения")) << k.name;
        c.add(4, "новая");
        EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly) << k.name;
        GET(c.file, two);
        DELETE(c.file);
        EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly) << k.name;
        EXPECT_EQ(RECORDS(c.file), 3) << k.name;
        EXPECT_TRUE(drive.reporter().reports().empty()) << k.name;  // the open is no failure
        CLOSE(c.file);

        setMode(folder, 0755);
        setMode(path, 0644);
        EXPECT_EQ(fileBytes(path), before) << k.name;
        EXPECT_EQ(k.folderMode == 0555 ? folderEntries(folder) : tableFiles(folder), entries)
            << k.name;
        EXPECT_EQ(QFileInfo(path + QStringLiteral("-wal")).size(), 0) << k.name;
        for (const QString& f : folderEntries(folder))
            QFile::remove(folder + u'/' + f);
    }

    // Where a file would have to be made, the folder's protection is named, not a
    // missing file.
    QFile::remove(path);
    setMode(folder, 0555);
    Cards c(QStringLiteral("c:\\base\\ro.tps"), QStringLiteral("pw"));
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    OPEN(c.file);
    RECORDS(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::ReadOnly) << rt::errorDetail().toStdString();
    ASSERT_EQ(drive.reporter().reports().size(), 1u);
    EXPECT_EQ(drive.reporter().reports()[0].messageId, Msg::CreateFailed);
    EXPECT_TRUE(drive.reporter().reports()[0].text.contains(u"только для чтения"));
    CLOSE(c.file);
    setMode(folder, 0755);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(folderEntries(folder).isEmpty());
}

// A body that cannot be read is an error wherever it is asked for: never an empty
// text, never kept as if read, never copied or stored as empty.
namespace {
void expectUnreadableBody(TestDrive& drive, const QString& password) {
    SCOPED_TRACE(password.isEmpty() ? "plain" : "encrypted");
    const QString path = drive.native(QStringLiteral("base/cards.tps"));
    QFile::remove(path);
    QByteArray text("{\\rtf1 ");
    for (int i = 0; text.size() < 64 * 1024; ++i)
        text += "Статья " + QByteArray::number(i) + ". ";
    text += '}';
    {
        Cards c(QStringLiteral("c:\\base\\cards.tps"), password);
        OPEN(c.file);
        c.file.clearRecord();
        c.R.ID = 1;
        c.R.BODY.setData(text);
        ADD(c.file);
        c.add(2, "вторая");
        CLOSE(c.file);
    }
    // Damage a page of the body: the last pages of the file hold it.
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const qint64 at = (f.size() / 4096 - 4) * 4096;
    f.seek(at);
    const QByteArray page = f.read(4096);
    f.seek(at);
    f.write(QByteArray(4096, '\xA5'));
    f.flush();

    Cards c(QStringLiteral("c:\\base\\cards.tps"), password);
    OPEN(c.file);
    c.R.ID = 1;
    GET(c.file, c.K1);
    ASSERT_EQ(ERRORCODE(), 0) << rt::errorDetail().toStdString();
    EXPECT_TRUE(c.R.BODY.data().isEmpty());
    EXPECT_EQ(ERRORCODE(), ErrCode::InvalidFile) << rt::errorDetail().toStdString();
    EXPECT_FALSE(rt::errorDetail().contains(u"too big"));

    // The copy fails and leaves the file it would have replaced.
    const QString out = drive.native(QStringLiteral("base/Test.rtf"));
    writeFile(out, "{\\rtf1 прежний}");
    EXPECT_EQ(BlobToFile(c.R.BODY, u"c:\\base\\Test.rtf"), ErrCode::InvalidFile);
    EXPECT_EQ(fileBytes(out), QByteArray("{\\rtf1 прежний}"));
    // A copy of the record does not carry an empty body into a new card.
    c.R.ID = 3;
    ADD(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::InvalidFile);
    EXPECT_EQ(RECORDS(c.file), 2);

    // Mended, the body is read: the failure was not kept as its contents. (A page
    // that failed its check is not kept by SQLite either; a plain page that was
    // read is, so only the encrypted file shows it without a new open.)
    f.seek(at);
    f.write(page);
    f.close();
    if (password.isEmpty()) {
        CLOSE(c.file);
        return;
    }
    c.R.ID = 1;
    EXPECT_EQ(c.R.BODY.data(), text);
    EXPECT_EQ(BlobToFile(c.R.BODY, u"c:\\base\\Test.rtf"), 0);
    EXPECT_EQ(fileBytes(out), text);
    CLOSE(c.file);
}
}  // namespace

TEST_F(TableTest, ABodyThatCannotBeReadIsAnErrorAndIsReadAgainNextTime) {
    for (const QString& password : {QStringLiteral("pw"), QString()})
        expectUnreadableBody(drive, password);
}

TEST_F(TableTest, NoEncryptedFileIsMadeWithoutARandomSalt) {
    tbl::setSaltSource([](QByteArray*) { return false; });
    Cards c(QStringLiteral("c:\\base\\secret.tps"), QStringLiteral("pw"));
    ErrorClass errors;
    c.file.setErrors(&errors, QStringLiteral("cards"));
    OPEN(c.file);
    RECORDS(c.file);
    EXPECT_EQ(ERRORCODE(), ErrCode::FileSystem);
    EXPECT_TRUE(rt::errorDetail().contains(u"salt")) << rt::errorDetail().toStdString();
    EXPECT_EQ(drive.reporter().reports().size(), 1u);
    CLOSE(c.file);
    tbl::setSaltSource(nullptr);
    EXPECT_TRUE(folderEntries(drive.native(QStringLiteral("base"))).isEmpty());

    OPEN(c.file);
    c.add(1, "тайна");
    EXPECT_EQ(ERRORCODE(), 0);
    CLOSE(c.file);
}
