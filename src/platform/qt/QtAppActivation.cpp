#include "platform/qt/QtAppActivation.h"

#include "common/DebugLog.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kExitDeadline{750};

} // namespace

void QtAppActivation::activateIgnoringOtherApps()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // The overlay never takes focus; only ordinary windows are brought forward.
        if (window->isVisible() && !window->testAttribute(Qt::WA_ShowWithoutActivating)) {
            window->raise();
            window->activateWindow();
        }
    }
}

void QtAppActivation::terminate()
{
    // Quit must end the process whatever still runs: the teardown stops every child process
    // Wendlo started, and should anything else hold the exit up, the process ends regardless
    // (the kernel then kills the children, which are bound to die with it).
    std::thread([] {
        std::this_thread::sleep_for(kExitDeadline);
        DebugLog::write(QStringLiteral("quit: teardown took too long, exiting at once"));
        std::_Exit(0);
    }).detach();
    QCoreApplication::quit();
}
