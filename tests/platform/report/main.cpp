#include <gtest/gtest.h>

#include <QApplication>

#include "core/resources.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    rt::addResourceFolder(QStringLiteral(KALDOR_SOURCE_DIR "/resources"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
