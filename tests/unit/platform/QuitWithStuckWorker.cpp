// An app whose teardown would wait a minute for a stuck background task; it quits at once
// through the real QtDesktopPresence.
#include "platform/qt/QtDesktopPresence.h"

#include <QApplication>
#include <QThreadPool>
#include <QTimer>
#include <chrono>
#include <thread>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QThreadPool::globalInstance()->start(
        [] { std::this_thread::sleep_for(std::chrono::minutes(1)); });
    QtDesktopPresence presence;
    QTimer::singleShot(0, [&presence] { presence.terminate(); });
    return QApplication::exec();
}
