#pragma once
// The two roles of a test program that drives the whole program: run plainly,
// it runs its outer cases, which start this same binary as the program (with
// `programVariable` set in its environment); started so, thread 1 runs the
// program body as `kaldor` does, and the one selected case of suite
// `programSuite` runs on a thread beside it and closes the frame when done.

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <vector>

namespace apptest {

struct ProgramRole {
    const char* programVariable;
    const char* programSuite;
    std::atomic<bool>* mainReturned;     // set when the program body has returned
    std::function<void()> beforeMain{};  // on thread 1, before the program body
    std::function<void()> afterMain{};   // on thread 1, after it
};

int main(int argc, char** argv, const ProgramRole& role);

// In the program: the threads other than the frame's and the calling one that
// show a window.
std::vector<int> childThreads();

// A sandbox of the program: its own settings, drive C and system settings;
// runs this binary as the program there, with one case of the program suite.
class ProgramRun {
  public:
    explicit ProgramRun(const ProgramRole& role) : role_(role) {}
    QString path(const QString& rel) const { return dir_.path() + u'/' + rel; }
    // The sandbox's environment, offscreen unless keepPlatform.
    QProcessEnvironment environment() const;
    // True when the program ended normally and case `test` passed.
    bool run(const QString& test, int timeoutMs = 60000);
    QString output() const { return QString::fromUtf8(output_); }

    bool keepPlatform = false;

  private:
    const ProgramRole& role_;
    QTemporaryDir dir_;
    QByteArray output_;
};

}  // namespace apptest
