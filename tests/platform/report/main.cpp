#include <gtest/gtest.h>

#include <QApplication>

#include "core/resources.h"

int main(int argc, char** argv) {
    // Listing the tests (ctest does it before running them) happens without the
    // tests' environment: no display is needed for that either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    rt::addResourceFolder(QStringLiteral(KALDOR_SOURCE_DIR "/resources"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
