#include "app/PreviewExport.h"

#include "common/DebugLog.h"
#include "common/MainThreadTask.h"
#include "onboarding/OnboardingWindowController.h"
#include "overlay/RecordingOverlayWindowController.h"
#include "platform/DesktopPresence.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <utility>
#include <vector>

namespace {

int milliseconds(double seconds)
{
    return int(std::lround(seconds * 1000));
}

QString readWord(const QProcessEnvironment& env, const QString& name)
{
    return env.value(name).trimmed().toLower();
}

} // namespace

std::optional<OnboardingStep> PreviewExport::onboardingPreviewStep(const QProcessEnvironment& env)
{
    const QString word = readWord(env, QStringLiteral("QUOR_ONBOARDING_PREVIEW_STEP"));
    if (word.isEmpty())
        return std::nullopt;
    return OnboardingStep::fromRawValue(word);
}

std::optional<OverlayPreviewMode> PreviewExport::overlayPreviewMode(const QProcessEnvironment& env)
{
    const QString word = readWord(env, QStringLiteral("QUOR_OVERLAY_PREVIEW_MODE"));
    if (word == QLatin1String("recording"))
        return OverlayPreviewMode::Recording;
    if (word == QLatin1String("transcribing"))
        return OverlayPreviewMode::Transcribing;
    if (word == QLatin1String("cycle"))
        return OverlayPreviewMode::Cycle;
    return std::nullopt;
}

std::optional<QString> PreviewExport::previewExportDirectory(const QProcessEnvironment& env)
{
    QString value;
    if (env.contains(QStringLiteral("QUOR_ONBOARDING_EXPORT_DIR")))
        value = env.value(QStringLiteral("QUOR_ONBOARDING_EXPORT_DIR"));
    else if (env.contains(QStringLiteral("QUOR_OVERLAY_EXPORT_DIR")))
        value = env.value(QStringLiteral("QUOR_OVERLAY_EXPORT_DIR"));
    value = value.trimmed();
    if (value.isEmpty())
        return std::nullopt;
    return QFileInfo(value).absoluteFilePath();
}

PreviewExport::PreviewExport(QProcessEnvironment environment, DesktopPresence& presence,
                             OnboardingWindowController& onboarding,
                             RecordingOverlayWindowController& overlay, QObject* parent)
    : QObject(parent), m_environment(std::move(environment)), m_presence(presence),
      m_onboarding(onboarding), m_overlay(overlay)
{
}

bool PreviewExport::startIfRequested()
{
    if (const auto step = onboardingPreviewStep(m_environment)) {
        DebugLog::write(QStringLiteral("onboarding preview step=") + step->rawValue());
        m_presence.raiseWindows();
        m_onboarding.showPreview(*step);
        scheduleOnboardingPreviewExportIfNeeded(*step);
        return true;
    }
    if (const auto mode = overlayPreviewMode(m_environment)) {
        m_presence.raiseWindows();
        renderPreview(*mode);
        schedulePreviewExportsIfNeeded(*mode);
        return true;
    }
    return false;
}

void PreviewExport::scheduleOnboardingPreviewExportIfNeeded(OnboardingStep step)
{
    const auto directory = previewExportDirectory(m_environment);
    if (!directory) {
        DebugLog::write(QStringLiteral("onboarding preview missing export directory"));
        schedulePreviewTermination(0.6);
        return;
    }
    // A failure here shows up as the snapshot's own write error.
    QDir().mkpath(*directory);
    const QString fileName = step.rawValue() + QStringLiteral(".png");
    const QString path = QDir(*directory).filePath(fileName);
    DebugLog::write(QStringLiteral("onboarding preview export=") + path);
    postDelayed(this, milliseconds(0.35), [this, path, fileName] {
        if (const Failure failure = m_onboarding.captureSnapshot(path))
            DebugLog::write(QStringLiteral("onboarding snapshot failed: ") +
                            failure->localizedDescription());
        else
            DebugLog::write(QStringLiteral("onboarding snapshot wrote ") + fileName);
    });
    schedulePreviewTermination(0.6);
}

void PreviewExport::renderPreview(OverlayPreviewMode mode)
{
    switch (mode) {
    case OverlayPreviewMode::Recording:
        m_overlay.render(DictationState::recording());
        break;
    case OverlayPreviewMode::Transcribing:
        m_overlay.render(DictationState::transcribing());
        break;
    case OverlayPreviewMode::Cycle:
        m_overlay.showPreviewLoop();
        break;
    }
}

void PreviewExport::schedulePreviewExportsIfNeeded(OverlayPreviewMode mode)
{
    const auto directory = previewExportDirectory(m_environment);
    if (!directory)
        return;
    QDir().mkpath(*directory);

    std::vector<std::pair<QString, double>> snapshots;
    double termination = 0;
    switch (mode) {
    case OverlayPreviewMode::Recording:
        snapshots = {{QStringLiteral("recording.png"), 0.35}};
        termination = 0.55;
        break;
    case OverlayPreviewMode::Transcribing:
        snapshots = {{QStringLiteral("collapse.png"), 0.48},
                     {QStringLiteral("transcribing.png"), 0.82}};
        termination = 1.05;
        break;
    case OverlayPreviewMode::Cycle:
        snapshots = {{QStringLiteral("recording.png"), 0.35},
                     {QStringLiteral("collapse.png"), 2.65},
                     {QStringLiteral("transcribing.png"), 2.98}};
        termination = 3.2;
        break;
    }
    for (const auto& [fileName, delay] : snapshots)
        schedulePreviewSnapshot(fileName, *directory, delay);
    schedulePreviewTermination(termination);
}

void PreviewExport::schedulePreviewSnapshot(const QString& fileName, const QString& directory,
                                            double delaySeconds)
{
    const QString path = QDir(directory).filePath(fileName);
    postDelayed(this, milliseconds(delaySeconds), [this, path] {
        if (const Failure failure = m_overlay.captureSnapshot(path))
            DebugLog::write(QStringLiteral("preview snapshot failed: ") +
                            failure->localizedDescription());
    });
}

void PreviewExport::schedulePreviewTermination(double delaySeconds)
{
    postDelayed(this, milliseconds(delaySeconds), [this] { m_presence.terminate(); });
}
