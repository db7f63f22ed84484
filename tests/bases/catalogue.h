#pragma once
// What the tests of the catalogue's windows share: a drive C and settings of
// their own, a catalogue of bases and topics written on thread 1, and reads of
// what the windows wrote.

#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

#include "core/values.h"
#include "program_environment.h"  // the sandbox

namespace cattest {

// "c:\bases\<name>\": a folder with its separator, as the form stores it.
QString folder(const QString& name);

struct Topic {
    int kod;
    QString name1;
    QString name2;
    LONG rtg;
};

struct Base {
    int kod;
    int topic;
    QString path;
    QString name;
    BYTE on;
};

// The catalogue holds these bases and topics and nothing else (thread 1).
void setCatalogue(const std::vector<Base>& bases, const std::vector<Topic>& topics = {});
// The catalogue's base `kod` into CON (topic into RUB), read on thread 1; false
// when there is none.
bool readBase(int kod);
bool readTopic(int kod);
std::int64_t baseCount();

// The register report started from a window of thread `th`: waits until its
// preview shows; the report's thread, 0 when no preview came.
int waitRegister(int th);
// Closes the preview and waits until the report's thread has ended.
bool closeRegister(int report);

// The entry of a test program: the sandbox, the thread hooks, thread 1's
// dictionary and services, then the tests in a running program.
int runTests(int argc, char** argv);

}  // namespace cattest
