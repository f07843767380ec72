#include <QApplication>
#include <gtest/gtest.h>

#include "platform/curl_global.h"

// Window tests need a QApplication for the whole run. The offscreen platform
// is set by CTest; a direct run (or test discovery) falls back to it too.
int main(int argc, char** argv) {
    tarvesk::EnsureCurlInitialised();  // as the program does, before any thread
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
