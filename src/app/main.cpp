#include "dictation/DebugLog.h"
#include "dictation/DictationCoordinator.h"
#include "app/PlatformFactory.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Wendlo"));
    QApplication::setApplicationName(QStringLiteral("Wendlo"));
    QApplication::setQuitOnLastWindowClosed(false);

    DictationCoordinator coordinator(PlatformFactory::makeDictationBackends());
    coordinator.onStateChange = [](const DictationState& state) {
        DebugLog::write(QStringLiteral("state=") + state.label());
    };
    coordinator.start();
    return QApplication::exec();
}
