#include "program_role.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <string>

#include "dictionary.h"
#include "procedures.h"
#include "ui/runtime.h"
#include "ui/window.h"
#include "uidriver.h"

namespace apptest {

namespace {

int runProgram(int argc, char** argv, const ProgramRole& role) {
    ::testing::InitGoogleTest(&argc, argv);
    installThreadHooks();
    int rc = 1;
    const int run = rt::run(argc, argv, [&] {
        if (role.beforeMain)
            role.beforeMain();
        const int tests = START([&] {
            rc = RUN_ALL_TESTS();
            if (!*role.mainReturned)
                POST(EVENT::CloseWindow, 0, 1);
        });
        _main();
        if (role.afterMain)
            role.afterMain();
        *role.mainReturned = true;
        rt::waitThreadEnd(tests, 240000);
    });
    return rc != 0 ? rc : run;
}

}  // namespace

int main(int argc, char** argv, const ProgramRole& role) {
    if (qEnvironmentVariableIsSet(role.programVariable))
        return runProgram(argc, argv, role);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The program's cases run only inside a program run.
    std::string filter = ::testing::GTEST_FLAG(filter);
    filter += filter.find('-') == std::string::npos ? "-" : ":";
    filter += std::string(role.programSuite) + ".*";
    ::testing::GTEST_FLAG(filter) = filter;
    return RUN_ALL_TESTS();
}

std::vector<int> childThreads() {
    std::vector<int> out;
    for (int n = 2; n < 64; ++n) {
        if (n != THREAD() && rt::threadAlive(n) &&
            uitest::onGui([n] { return rt::gui::topWindow(n) != nullptr; }))
            out.push_back(n);
    }
    return out;
}

QProcessEnvironment ProgramRun::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!keepPlatform)
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
    env.insert(QStringLiteral("KALDOR_DRIVE_C"), path(QStringLiteral("c")));
    env.insert(QStringLiteral("KALDOR_SYSTEM_SETTINGS"), path(QStringLiteral("system.ini")));
    return env;
}

bool ProgramRun::run(const QString& test, int timeoutMs) {
    QProcess p;
    QProcessEnvironment env = environment();
    env.insert(QString::fromLatin1(role_.programVariable), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir_.path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(),
            {QStringLiteral("--gtest_filter=%1.%2")
                 .arg(QString::fromLatin1(role_.programSuite), test)});
    const bool finished = p.waitForFinished(timeoutMs);
    output_ = p.readAll();
    return finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0 &&
           output_.contains("[  PASSED  ] 1 test");
}

}  // namespace apptest
