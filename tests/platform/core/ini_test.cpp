#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/ini.h"

namespace {

class FakeWindow : public PlacedWindow {
  public:
    WindowPlacement p{10, 20, 300, 200, false};
    WindowPlacement placement() const override { return p; }
    void setPlacement(const WindowPlacement& np) override { p = np; }
};

class IniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        old_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    }
    void TearDown() override {
        if (old_.isNull()) {
            qunsetenv("XDG_CONFIG_HOME");
        } else {
            qputenv("XDG_CONFIG_HOME", old_);
        }
    }
    QString iniPath() const { return dir_.path() + QStringLiteral("/kaldor/kaldor.INI"); }
    QTemporaryDir dir_;
    QByteArray old_;
};

}  // namespace

TEST_F(IniTest, WindowPlacementSurvivesARestart) {
    {
        INIClass ini;
        ini.Init(u"kaldor.INI");
        EXPECT_EQ(ini.path(), iniPath());
        FakeWindow w;
        w.p = {33, 44, 640, 480, true};
        ini.Update(u"Main", w);
        ini.Kill();
    }
    INIClass ini;
    ini.Init(u"kaldor.INI");
    FakeWindow w;
    ini.Fetch(u"Main", w);
    EXPECT_EQ(w.p.x, 33);
    EXPECT_EQ(w.p.y, 44);
    EXPECT_EQ(w.p.width, 640);
    EXPECT_EQ(w.p.height, 480);
    EXPECT_TRUE(w.p.maximized);
    // A procedure never saved keeps its own placement.
    FakeWindow other;
    ini.Fetch(u"BrowseBD", other);
    EXPECT_EQ(other.p.x, 10);
    EXPECT_EQ(other.p.width, 300);
}

TEST_F(IniTest, NamedValuesInSectionsIgnoreCase) {
    INIClass ini;
    ini.Init(u"kaldor.INI");
    ini.Update(u"Preview", u"Zoom", u"100");
    ini.Update(u"Preview", u"Title", u"Реестр документов");
    EXPECT_EQ(ini.Fetch(u"preview", u"ZOOM"), QStringLiteral("100"));
    EXPECT_EQ(ini.Fetch(u"Preview", u"Title"), QStringLiteral("Реестр документов"));
    EXPECT_EQ(ini.Fetch(u"Preview", u"Missing", u"def"), QStringLiteral("def"));
    EXPECT_FALSE(ini.TryFetch(u"Nope", u"x").has_value());
    ini.Update(u"Preview", u"Multi", u"a\nb");
    EXPECT_EQ(ini.Fetch(u"Preview", u"Multi"), QStringLiteral("a b"));
    ini.DeleteEntry(u"Preview", u"Zoom");
    EXPECT_FALSE(ini.TryFetch(u"Preview", u"Zoom").has_value());
    // Written as UTF-8 text.
    QFile f(iniPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(f.readAll()).contains(QStringLiteral("Реестр документов")));
}

TEST_F(IniTest, TwoObjectsOnOneFileKeepEachOthersValues) {
    INIClass a, b;
    a.Init(u"kaldor.INI");
    b.Init(u"kaldor.INI");
    a.Update(u"A", u"x", u"1");
    b.Update(u"B", u"y", u"2");
    EXPECT_EQ(a.Fetch(u"B", u"y"), QStringLiteral("2"));
    EXPECT_EQ(b.Fetch(u"A", u"x"), QStringLiteral("1"));
}

TEST_F(IniTest, DamagedFilesGiveDefaults) {
    QDir().mkpath(QFileInfo(iniPath()).absolutePath());
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\x00\x01garbage\xff\xfe", 11));
    }
    INIClass ini;
    ini.Init(u"kaldor.INI");
    FakeWindow w;
    ini.Fetch(u"Main", w);
    EXPECT_EQ(w.p.x, 10);
    {
        QFile f(iniPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Main\nXPos=abc\nYPos=5\nno equals sign\n[Main]\nXPos=abc\nYPos=5\nWidth=-4\n");
    }
    INIClass ini2;
    ini2.Init(u"kaldor.INI");
    ini2.Fetch(u"Main", w);
    EXPECT_EQ(w.p.x, 10);  // a position that is not a number is not used
    // Writing over a damaged file replaces it with a sound one.
    ini2.Update(u"Main", u"XPos", u"7");
    INIClass ini3;
    ini3.Init(u"kaldor.INI");
    EXPECT_EQ(ini3.Fetch(u"Main", u"XPos"), QStringLiteral("7"));
}

TEST_F(IniTest, FullPathsGoThroughThePathMapper) {
    qputenv("KALDOR_DRIVE_C", dir_.path().toLocal8Bit());
    INIClass ini;
    ini.Init(u"c:\\settings\\kaldor.INI");
    EXPECT_EQ(ini.path(), dir_.path() + QStringLiteral("/settings/kaldor.INI"));
    ini.Update(u"S", u"k", u"v");
    EXPECT_TRUE(QFile::exists(dir_.path() + QStringLiteral("/settings/kaldor.INI")));
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir_.path() + QStringLiteral("/settings")).entryList(QDir::Files).size(), 1);
    qunsetenv("KALDOR_DRIVE_C");
}
