// libFuzzer target: the reader takes any bytes without crashing, hanging or
// leaking, and what it read can be written and read again.

#include <QGuiApplication>
#include <QTextDocument>
#include <cstdint>
#include <cstdlib>

#include "rtf.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Inputs are made to look like RTF most of the time, so that the fuzzer
    // spends its time inside the reader rather than at its first check.
    QByteArray rtf = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!rtf.startsWith("{\\rtf"))
        rtf.prepend("{\\rtf1 ");
    QTextDocument doc;
    if (!rt::readRtf(rtf, &doc))
        std::abort();
    QTextDocument again;
    if (!rt::readRtf(rt::writeRtf(doc), &again))
        std::abort();
    return 0;
}
