#include "platform/qt/QtAppActivation.h"

#include <QApplication>
#include <QWidget>

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
    QCoreApplication::quit();
}
