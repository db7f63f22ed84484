// The full-window-drag setting kept in the user's profile of our platform.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "ui/winapi.h"

namespace {

class Profile : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        qputenv("KALDOR_SYSTEM_SETTINGS",
                (dir_.path() + QStringLiteral("/system.ini")).toLocal8Bit());
    }
    void TearDown() override { qunsetenv("KALDOR_SYSTEM_SETTINGS"); }
    static LONG get() {
        LONG v = -1;
        EXPECT_EQ(SystemParametersInfoA(SPI::GetDragFullWindows, 0, &v, 0), 1);
        return v;
    }
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(Profile, OnUntilSwitchedOffAndKeptInTheProfile) {
    EXPECT_EQ(get(), 1) << "contents show while dragging unless the profile says otherwise";
    LONG buffer = 0;
    EXPECT_EQ(SystemParametersInfoA(SPI::SetDragFullWindows, 0, &buffer,
                                    SPI::UpdateIniFile | SPI::SendChange),
              1);
    EXPECT_EQ(get(), 0);
    EXPECT_TRUE(QFile::exists(rt::systemSettingsPath()));
    EXPECT_EQ(SystemParametersInfoA(SPI::SetDragFullWindows, 1, &buffer, 3), 1);
    EXPECT_EQ(get(), 1);
}

TEST_F(Profile, ProgramStartAndEndAsTheFrameDoesThem) {
    // Switched on at start: off while the program runs, on again after.
    SystemParametersInfoA(SPI::SetDragFullWindows, 1, nullptr, 3);
    LONG current = 0, adjust = 0;
    SystemParametersInfoA(38, 0, &current, 0);
    ASSERT_EQ(current, 1);
    SystemParametersInfoA(37, 0, &adjust, 3);
    EXPECT_EQ(get(), 0);
    SystemParametersInfoA(37, 1, &adjust, 3);
    EXPECT_EQ(get(), 1);
    // A program that ends while running leaves it off: the profile says so.
    SystemParametersInfoA(37, 0, &adjust, 3);
    QFile f(rt::systemSettingsPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().toLower().contains("dragfullwindows=0"));
}

TEST_F(Profile, ChangesWithoutTheProfileFlagLastForTheProcessOnly) {
    SystemParametersInfoA(37, 1, nullptr, 3);
    SystemParametersInfoA(37, 0, nullptr, 0);
    EXPECT_EQ(get(), 0);
    QFile f(rt::systemSettingsPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().toLower().contains("dragfullwindows=1"));
    SystemParametersInfoA(37, 1, nullptr, 3);  // written: the session value goes
    EXPECT_EQ(get(), 1);
}

TEST_F(Profile, UnknownActionsAndMissingBuffersFail) {
    EXPECT_EQ(SystemParametersInfoA(38, 0, nullptr, 0), 0);
    LONG v = 0;
    EXPECT_EQ(SystemParametersInfoA(99, 0, &v, 0), 0);
}
