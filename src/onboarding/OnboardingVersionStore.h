#pragma once

#include <QSettings>
#include <QString>
#include <memory>

// Remembers that the first-run setup was completed: an integer in the user's settings.
class OnboardingVersionStore
{
public:
    static constexpr int CurrentVersion = 1;
    static QString defaultKey() { return QStringLiteral("Wendlo.OnboardingVersion"); }
    // The application's own settings: organisation "Wendlo", application "Wendlo".
    static std::unique_ptr<QSettings> standardDefaults();

    OnboardingVersionStore(std::unique_ptr<QSettings> defaults, QString key);

    // The completed version; 0 when absent or not an integer.
    int storedVersion() const;
    // True when the stored version is CurrentVersion or later.
    bool isCompleted() const;
    // Writes CurrentVersion and flushes it to disk.
    void markCompleted();

    QSettings& defaults() const { return *m_defaults; }
    const QString& key() const { return m_key; }

private:
    std::unique_ptr<QSettings> m_defaults;
    QString m_key;
};
