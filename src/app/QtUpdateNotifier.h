#pragma once

#include "app/UpdateNotifier.h"

#include <QPointer>

class QMessageBox;

// Non-modal message boxes; the download button opens the page in the user's browser. A new
// message replaces one still on screen.
class QtUpdateNotifier : public UpdateNotifier
{
public:
    ~QtUpdateNotifier() override;

    void showUpToDate(const QString& currentVersion) override;
    void showUpdateAvailable(const QString& newVersion, const QString& currentVersion,
                             const QUrl& downloadPage) override;
    void showCheckFailed(const QString& reason) override;
    void showNoUpdateSource() override;

private:
    QMessageBox* replaceBox();

    QPointer<QMessageBox> m_box;
};
