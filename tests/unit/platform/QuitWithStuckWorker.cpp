// An app whose teardown would wait a minute for a stuck background task; it quits at once
// through the real QtAppActivation.
#include "platform/qt/QtAppActivation.h"

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
    QtAppActivation activation;
    QTimer::singleShot(0, [&activation] { activation.terminate(); });
    return QApplication::exec();
}
