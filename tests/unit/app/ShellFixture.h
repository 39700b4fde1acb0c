#pragma once

#include "app/AppDelegate.h"
#include "fakes/FakeAccessibility.h"
#include "fakes/FakeDesktopPresence.h"
#include "fakes/FakeDictationControl.h"
#include "fakes/FakeUpdateNotifier.h"

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>
#include <memory>
#include <optional>

// An AppDelegate over fakes, with its settings in a private file. The raw pointers are the
// test's control face and stay valid while the delegate lives.
struct ShellFixture
{
    QTemporaryDir dir;
    FakeDictationControl* dictation = nullptr;
    FakeAccessibilityTrust* trust = nullptr;
    FakeDesktopPresence* presence = nullptr;
    FakeUpdateNotifier* notifier = nullptr;
    bool trayAvailable = true;
    QString modelPath; // what the model lookup finds for large-v3-turbo; empty: nothing
    QMap<QString, QString> otherModels; // further installed models: name, file
    std::unique_ptr<AppDelegate> delegate;

    QString settingsPath() const { return dir.filePath(QStringLiteral("settings.ini")); }

    // Writes the stored onboarding version (any value; nothing removes it).
    void storeVersion(const std::optional<QVariant>& value)
    {
        QSettings settings(settingsPath(), QSettings::IniFormat);
        if (value)
            settings.setValue(OnboardingVersionKey, *value);
        else
            settings.remove(OnboardingVersionKey);
    }

    AppDelegate& make(QProcessEnvironment environment = {},
                      MicrophonePermissionState microphone = MicrophonePermissionState::Granted,
                      bool accessibility = true)
    {
        AppDelegateServices services;
        auto control = std::make_unique<FakeDictationControl>();
        control->microphone = microphone;
        dictation = control.get();
        services.dictation = std::move(control);
        auto ownTrust = std::make_unique<FakeAccessibilityTrust>();
        ownTrust->trusted = accessibility;
        trust = ownTrust.get();
        services.accessibilityTrust = std::move(ownTrust);
        auto ownPresence = std::make_unique<FakeDesktopPresence>();
        presence = ownPresence.get();
        services.presence = std::move(ownPresence);
        services.defaults = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
        services.version = QVersionNumber(1, 0, 0);
        auto ownNotifier = std::make_unique<FakeUpdateNotifier>();
        notifier = ownNotifier.get();
        services.updateNotifier = std::move(ownNotifier);
        services.isTrayAvailable = [this] { return trayAvailable; };
        services.environment = environment;
        services.settings = std::make_unique<AppSettings>(
            std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat), environment);
        services.models.installed = [this] {
            QStringList names = otherModels.keys();
            if (!modelPath.isEmpty())
                names.prepend(QStringLiteral("large-v3-turbo"));
            return names;
        };
        services.models.lookup = [this](const QString& name) -> Result<QString> {
            const QString path =
                name == QStringLiteral("large-v3-turbo") ? modelPath : otherModels.value(name);
            if (path.isEmpty())
                return QuorError{QStringLiteral("Bundled %1 model not found").arg(name)};
            return path;
        };
        services.executable = QStringLiteral("/opt/wendlo/bin/wendlo");
        delegate = std::make_unique<AppDelegate>(std::move(services));
        return *delegate;
    }

    AppDelegate& launch(QProcessEnvironment environment = {},
                        MicrophonePermissionState microphone = MicrophonePermissionState::Granted,
                        bool accessibility = true)
    {
        make(std::move(environment), microphone, accessibility);
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }

    void setPermissions(MicrophonePermissionState microphone, bool accessibility)
    {
        dictation->microphone = microphone;
        trust->trusted = accessibility;
    }

    static inline const QString OnboardingVersionKey = QStringLiteral("Wendlo.OnboardingVersion");
};

// The lines of the debug log written since `offset` (a byte position in the file).
inline QStringList logLinesSince(qint64 offset)
{
    QFile log(qEnvironmentVariable("QUOR_DEBUG_LOG"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    log.seek(offset);
    return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

inline qint64 logSize()
{
    return QFile(qEnvironmentVariable("QUOR_DEBUG_LOG")).size();
}
