#pragma once
// What a test program of the program's windows needs, set up as the program
// body sets it up: a sandbox for drive C and the settings, error reports shown
// as message boxes, the INI file, and the dictionary's tables.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <initializer_list>

#include "app/globals.h"
#include "dictionary.h"
#include "ui/dialogs.h"
#include "uidriver.h"

class ProgramEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        GlobalErrors.Init(GlobalErrorStatus);
        rt::installMessageReporter();
        INIMgr.Init(u"kaldor.INI");
        DctInit();
    }
    void TearDown() override {
        DctKill();
        INIMgr.Kill();
        rt::removeMessageReporter();
    }
};

// The test program's own temporary folder: drive C is its "c", the settings
// are in its "config".
inline QTemporaryDir& sandbox() {
    static QTemporaryDir d;
    return d;
}

// Points drive C and the settings into the sandbox and makes drive C with
// `folders` on it ("kaldor_demo", "bases/trud").
inline void enterSandbox(std::initializer_list<const char*> folders) {
    const QString c = sandbox().path() + QStringLiteral("/c");
    qputenv("KALDOR_DRIVE_C", c.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (sandbox().path() + QStringLiteral("/config")).toLocal8Bit());
    QDir().mkpath(c);
    for (const char* f : folders)
        QDir(c).mkpath(QString::fromUtf8(f));
}

// Runs the tests on thread 1 of a running program, with the dictionary's
// thread hooks and `environment` (by default the program's services).
inline int runProgramTests(int argc, char** argv,
                           ProgramEnvironment* environment = new ProgramEnvironment) {
    installThreadHooks();
    ::testing::AddGlobalTestEnvironment(environment);
    return uitest::main(argc, argv, {});
}
