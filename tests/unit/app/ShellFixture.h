#pragma once

#include "app/AppDelegate.h"
#include "app/AppLaunch.h"
#include "app/OnboardingFlow.h"
#include "app/TrayMenu.h"
#include "dictation/DictationCoordinator.h"
#include "dictation/ModelPrefetcher.h"
#include "fakes/FakeAccessibility.h"
#include "fakes/FakeDesktopPresence.h"
#include "fakes/FakeDictationBackends.h"
#include "fakes/FakeResumeNotifier.h"
#include "fakes/FakeUpdateNotifier.h"
#include "fakes/GatedTranscriber.h"
#include "platform/ResumeNotifier.h"

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>
#include <QThreadPool>
#include <memory>
#include <optional>

// An AppDelegate over the real coordinator and fakes, with its settings in a private file.
// The raw pointers are the test's control face and stay valid while the delegate lives.
struct ShellFixture
{
    QTemporaryDir dir;
    // The coordinator's platform services.
    FakeDictationBackends fakes;
    // Transcriptions wait here until opened (at once unless `holdTranscriptions`).
    std::shared_ptr<GatedTranscriber> gate;
    bool holdTranscriptions = false;
    DictationCoordinator* coordinator = nullptr;
    // The shell's own view of the accessibility permission.
    FakeAccessibilityTrust* trust = nullptr;
    FakeDesktopPresence* presence = nullptr;
    FakeUpdateNotifier* notifier = nullptr;
    bool trayAvailable = true;
    // Handed to the next delegate made, if set.
    std::unique_ptr<ModelPrefetcher> prefetcher;
    FakeResumeNotifier* resume = nullptr; // once the launch has made it
    QString modelPath; // what the model lookup finds for large-v3-turbo; empty: nothing
    QMap<QString, QString> otherModels; // further installed models: name, file
    std::unique_ptr<AppDelegate> delegate;

    ~ShellFixture()
    {
        if (gate)
            gate->open();
        delegate.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

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
        if (gate)
            gate->open(); // lets a previous delegate's runs end
        AppDelegateServices services;
        DictationBackends backends = fakes.make();
        backends.keepRecordings = false;
        gate = std::make_shared<GatedTranscriber>(fakes.transcriber);
        if (!holdTranscriptions)
            gate->open();
        backends.transcriber = gate;
        services.coordinator = std::make_unique<DictationCoordinator>(std::move(backends));
        coordinator = services.coordinator.get();
        auto ownTrust = std::make_unique<FakeAccessibilityTrust>();
        trust = ownTrust.get();
        services.accessibilityTrust = std::move(ownTrust);
        setPermissions(microphone, accessibility);
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
        if (prefetcher) {
            services.prefetcher = std::move(prefetcher);
            services.makeResumeNotifier = [this]() -> std::unique_ptr<ResumeNotifier> {
                auto notifier = std::make_unique<FakeResumeNotifier>();
                resume = notifier.get();
                return notifier;
            };
        }
        delegate = std::make_unique<AppDelegate>(std::move(services));
        return *delegate;
    }

    AppDelegate& launch(QProcessEnvironment environment = {},
                        MicrophonePermissionState microphone = MicrophonePermissionState::Granted,
                        bool accessibility = true)
    {
        make(std::move(environment), microphone, accessibility);
        delegate->launch().applicationDidFinishLaunching();
        return *delegate;
    }

    // Both the shell's and the coordinator's view of them.
    void setPermissions(MicrophonePermissionState microphone, bool accessibility)
    {
        fakes.recordPermission->current = microphone;
        fakes.accessibilityTrust->trusted = accessibility;
        trust->trusted = accessibility;
    }

    // Reports a state as the coordinator does (the shell may get it on any thread).
    void report(const DictationState& state) { coordinator->onStateChange(state); }

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
