#include "app/QtUpdateNotifier.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

QtUpdateNotifier::~QtUpdateNotifier()
{
    delete m_box.data();
}

QMessageBox* QtUpdateNotifier::replaceBox()
{
    delete m_box.data();
    auto* box = new QMessageBox();
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(QStringLiteral("Wendlo Updates"));
    m_box = box;
    return box;
}

void QtUpdateNotifier::showUpToDate(const QString& currentVersion)
{
    QMessageBox* box = replaceBox();
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("You're up to date."));
    box->setInformativeText(
        QStringLiteral("Wendlo %1 is the newest version available.").arg(currentVersion));
    box->addButton(QMessageBox::Ok);
    box->open();
}

void QtUpdateNotifier::showUpdateAvailable(const QString& newVersion, const QString& currentVersion,
                                           const QUrl& downloadPage)
{
    QMessageBox* box = replaceBox();
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("Wendlo %1 is available.").arg(newVersion));
    box->setInformativeText(QStringLiteral("You have version %1.").arg(currentVersion));
    QPushButton* download =
        box->addButton(QStringLiteral("Open Download Page"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    QObject::connect(download, &QPushButton::clicked, box,
                     [downloadPage] { QDesktopServices::openUrl(downloadPage); });
    box->open();
}

void QtUpdateNotifier::showCheckFailed(const QString& reason)
{
    QMessageBox* box = replaceBox();
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("Could not check for updates."));
    box->setInformativeText(reason);
    box->addButton(QMessageBox::Ok);
    box->open();
}

void QtUpdateNotifier::showNoUpdateSource()
{
    QMessageBox* box = replaceBox();
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("This build of Wendlo has no update source."));
    box->setInformativeText(
        QStringLiteral("Updates come through your distribution's package manager."));
    box->addButton(QMessageBox::Ok);
    box->open();
}
