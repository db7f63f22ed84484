#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/paths.h"

namespace {

// Maps drive C into a fresh folder for the test and restores the environment.
class PathsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        old_ = qgetenv("KALDOR_DRIVE_C");
        qputenv("KALDOR_DRIVE_C", dir_.path().toLocal8Bit());
        oldCwd_ = QDir::currentPath();
    }
    void TearDown() override {
        if (old_.isNull()) {
            qunsetenv("KALDOR_DRIVE_C");
        } else {
            qputenv("KALDOR_DRIVE_C", old_);
        }
        QDir::setCurrent(oldCwd_);
    }
    void touch(const QString& rel) {
        const QString p = dir_.path() + u'/' + rel;
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QTemporaryDir dir_;
    QByteArray old_;
    QString oldCwd_;
};

}  // namespace

TEST_F(PathsTest, DriveLettersMapToTheirFolders) {
    EXPECT_EQ(rt::nativePath(u"c:\\kaldor_demo\\config.dat"),
              dir_.path() + QStringLiteral("/kaldor_demo/config.dat"));
    EXPECT_EQ(rt::nativePath(u"C:\\kaldor\\testA.rtf"),
              dir_.path() + QStringLiteral("/kaldor/testA.rtf"));
    EXPECT_EQ(rt::nativePath(u"c:kaldor.ini"), dir_.path() + QStringLiteral("/kaldor.ini"));
    EXPECT_EQ(rt::nativePath(u"\\kaldor\\x.rtf"), dir_.path() + QStringLiteral("/kaldor/x.rtf"));
    // Another drive has a folder of its own.
    qputenv("KALDOR_DRIVE_D", "/tmp/drive-d-for-test");
    EXPECT_EQ(rt::nativePath(u"D:\\Базы\\1\\"), QStringLiteral("/tmp/drive-d-for-test/Базы/1/"));
    qunsetenv("KALDOR_DRIVE_D");
    EXPECT_TRUE(rt::driveFolder(u'e').endsWith(QStringLiteral("/kaldor/drive_e")));
}

TEST_F(PathsTest, NativePathsUnderADriveGoBackToTheProgramsNames) {
    touch(QStringLiteral("kaldor_demo/Новая/x"));
    const QString c = dir_.path();
    qputenv("KALDOR_DRIVE_D", (c + QStringLiteral("/kaldor_demo")).toLocal8Bit());
    const struct {
        QString native;
        QString program;
    } cases[] = {
        {c + QStringLiteral("/kaldor_demo/Новая/"),
         QStringLiteral("d:\\Новая\\")},  // the closer drive
        {c + QStringLiteral("/base/"), QStringLiteral("c:\\base\\")},
        {c + QStringLiteral("/base/KALDOR.TPS"), QStringLiteral("c:\\base\\KALDOR.TPS")},
        {c + u'/', QStringLiteral("c:\\")},
        {c, QStringLiteral("c:\\")},
        {c + QStringLiteral("//base/./sub/../"), QStringLiteral("c:\\base\\")},
        {c + QStringLiteral("x/"), c + QStringLiteral("x/")},  // a neighbour, not inside
        {QStringLiteral("/usr/share/"), QStringLiteral("/usr/share/")},
        {QStringLiteral("Test.rtf"), QStringLiteral("Test.rtf")},
        {QString(), QString()},
    };
    for (const auto& t : cases) {
        EXPECT_EQ(rt::programPath(t.native), t.program) << t.native.toStdString();
        if (t.program.contains(u':')) {  // and back again
            EXPECT_EQ(QDir::cleanPath(rt::nativePath(t.program)), QDir::cleanPath(t.native))
                << t.native.toStdString();
        }
    }
    // A link to a folder of the drive names the folder as the drive does.
    const QString link = QDir::tempPath() + QStringLiteral("/kaldor-paths-link-%1").arg(getpid());
    ASSERT_TRUE(QFile::link(c + QStringLiteral("/kaldor_demo"), link));
    EXPECT_EQ(rt::programPath(link + QStringLiteral("/Новая/")), QStringLiteral("d:\\Новая\\"));
    QFile::remove(link);
    qunsetenv("KALDOR_DRIVE_D");
    EXPECT_EQ(rt::programPath(c + QStringLiteral("/kaldor_demo/Новая/")),
              QStringLiteral("c:\\kaldor_demo\\Новая\\"));
}

TEST_F(PathsTest, ExistingFilesAreFoundWhateverTheCase) {
    touch(QStringLiteral("Kaldor_Demo/База1/kaldor.tps"));
    EXPECT_EQ(rt::nativePath(u"c:\\KALDOR_DEMO\\база1\\KALDOR.TPS"),
              dir_.path() + QStringLiteral("/Kaldor_Demo/База1/kaldor.tps"));
    // A missing last part keeps the case it was given; the folders found keep theirs.
    EXPECT_EQ(rt::nativePath(u"c:\\kaldor_demo\\БАЗА1\\ZAMETKA.TPS"),
              dir_.path() + QStringLiteral("/Kaldor_Demo/База1/ZAMETKA.TPS"));
    // A folder name keeps its trailing separator.
    EXPECT_EQ(rt::nativePath(u"c:\\kaldor_demo\\база1\\"),
              dir_.path() + QStringLiteral("/Kaldor_Demo/База1/"));
}

TEST_F(PathsTest, BareNamesAreRelativeToTheCurrentFolder) {
    QDir::setCurrent(dir_.path());
    EXPECT_EQ(rt::nativePath(u"Test.rtf"), dir_.path() + QStringLiteral("/Test.rtf"));
    EXPECT_EQ(rt::nativePath(u"sub\\zfile.rtf"), dir_.path() + QStringLiteral("/sub/zfile.rtf"));
    touch(QStringLiteral("TEST.RTF"));
    EXPECT_EQ(rt::nativePath(u"Test.rtf"), dir_.path() + QStringLiteral("/TEST.RTF"));
    EXPECT_TRUE(rt::setCurrentFolder(u"c:\\"));
    EXPECT_EQ(rt::currentFolder(), dir_.path() + u'/');
}

TEST_F(PathsTest, NativePathsAndEdgeCases) {
    EXPECT_EQ(rt::nativePath(u"/usr/share/fonts"), QStringLiteral("/usr/share/fonts"));
    EXPECT_EQ(rt::nativePath(u""), QString());
    EXPECT_EQ(rt::nativePath(u"   "), QString());
    // Trailing blanks of a fixed-width field are not part of the name.
    EXPECT_EQ(rt::nativePath(u"c:\\a.txt     "), dir_.path() + QStringLiteral("/a.txt"));
    EXPECT_EQ(rt::nativePath(u"c:\\a\\\\b.txt"), dir_.path() + QStringLiteral("/a/b.txt"));
    EXPECT_EQ(rt::programFolder(u"/x/y"), QStringLiteral("/x/y/"));
    EXPECT_EQ(rt::programFolder(u"/x/y/"), QStringLiteral("/x/y/"));
    EXPECT_TRUE(rt::nativePath(u"\\\\server\\share\\f.rtf")
                    .endsWith(QStringLiteral("/server/share/f.rtf")));
}
