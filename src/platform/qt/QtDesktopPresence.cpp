#include "platform/qt/QtDesktopPresence.h"

#include "common/DebugLog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>

namespace {

constexpr std::chrono::milliseconds kExitDeadline{750};

} // namespace

QtDesktopPresence::QtDesktopPresence() = default;

QtDesktopPresence::~QtDesktopPresence()
{
    // An alert closed by its owner's end is no answer: nobody may be called back for it.
    for (const QPointer<QMessageBox>& box : std::as_const(m_openAlerts)) {
        if (box) {
            box->disconnect();
            delete box.data();
        }
    }
}

void QtDesktopPresence::open(const Alert& alert, AlertAnswer answer)
{
    m_openAlerts.removeIf([](const QPointer<QMessageBox>& box) { return box.isNull(); });
    auto* box = new QMessageBox;
    m_openAlerts << box;
    box->setIcon(QMessageBox::Warning);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    QList<QAbstractButton*> added;
    for (const QString& title : alert.buttons)
        added << box->addButton(title, added.isEmpty() ? QMessageBox::AcceptRole
                                                       : QMessageBox::RejectRole);
    QObject::connect(box, &QDialog::finished, &m_answers, [box, added, answer = std::move(answer)] {
        box->deleteLater();
        const qsizetype index = added.indexOf(box->clickedButton());
        answer(index < 0 ? std::nullopt : std::optional<int>(int(index)));
    });
    // As modal for the app's other windows as a blocking alert would be, without its loop.
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void QtDesktopPresence::beep()
{
    QApplication::beep();
}

void QtDesktopPresence::raiseWindows()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // The overlay never takes focus; only ordinary windows are brought forward.
        if (window->isVisible() && !window->testAttribute(Qt::WA_ShowWithoutActivating)) {
            window->raise();
            window->activateWindow();
        }
    }
}

void QtDesktopPresence::terminate()
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
