#include "platform/qt/QtUserAlerts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

int QtUserAlerts::runModal(const QString& messageText, const QString& informativeText,
                           const QStringList& buttons)
{
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(messageText);
    box.setInformativeText(informativeText);
    QList<QAbstractButton*> added;
    for (const QString& title : buttons)
        added << box.addButton(title, added.isEmpty() ? QMessageBox::AcceptRole
                                                      : QMessageBox::RejectRole);
    box.exec();
    const auto index = added.indexOf(box.clickedButton());
    return FirstButton + int(index < 0 ? added.size() - 1 : index);
}

void QtUserAlerts::beep()
{
    QApplication::beep();
}

void QtUserAlerts::activateApp()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->testAttribute(Qt::WA_ShowWithoutActivating)) {
            window->raise();
            window->activateWindow();
        }
    }
}
