#include <QApplication>
#include <gtest/gtest.h>

// Interface and shell tests: a full application object on the offscreen platform
// (scripts/run-tests.sh sets QT_QPA_PLATFORM=offscreen).
int main(int argc, char** argv) {
    // Also when CTest lists the cases at build time, outside the test script.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
