// Every test executable gets a QApplication, so queued tasks and timers run on its event loop.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gmock/gmock.h>

int main(int argc, char** argv)
{
    // Keep tests away from the user's real runtime folder, log and settings.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("WENDLO_KEEP_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (runtime.path() + "/config").toLocal8Bit());
        qputenv("QUOR_DEBUG_LOG", (runtime.path() + "/test.log").toLocal8Bit());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
