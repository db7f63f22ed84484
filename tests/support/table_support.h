#pragma once
// Shared by the table and dictionary tests: a drive C in a fresh temporary folder,
// an error reporter that records what the user would have been shown, and whole
// files (files.h).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "core/errors.h"
#include "files.h"
#include "thread_log.h"

class RecordingReporter : public ErrorReporter {
  public:
    bool report(const ErrorReport& r) override {
        reports_.add(r);
        return answer_;
    }
    std::vector<ErrorReport> reports() const { return reports_.entries(); }
    void clear() { reports_.clear(); }
    void setAnswer(bool yes) { answer_ = yes; }

  private:
    ThreadLog<ErrorReport> reports_;
    bool answer_ = true;
};

// Points drive C at a temporary folder for the test's life and records reports.
class TestDrive {
  public:
    TestDrive() {
        qputenv("KALDOR_DRIVE_C", dir_.path().toLocal8Bit());
        reporter_ = std::make_shared<RecordingReporter>();
        ErrorClass::setReporter(reporter_);
    }
    ~TestDrive() { ErrorClass::setReporter(nullptr); }
    QString root() const { return dir_.path(); }
    // The native path of a name under drive C ("kaldor_demo/config.dat").
    QString native(const QString& rel) const { return dir_.path() + u'/' + rel; }
    bool mkdir(const QString& rel) const { return QDir(dir_.path()).mkpath(rel); }
    RecordingReporter& reporter() { return *reporter_; }

  private:
    QTemporaryDir dir_;
    std::shared_ptr<RecordingReporter> reporter_;
};
