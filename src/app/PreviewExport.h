#pragma once

#include "onboarding/OnboardingStep.h"

#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <optional>

class DesktopPresence;
class OnboardingWindowController;
class RecordingOverlayWindowController;

enum class OverlayPreviewMode
{
    Recording,
    Transcribing,
    Cycle
};

// The development mode that shows the onboarding window at one step, or the pill in one mode,
// chosen by environment variables, and optionally writes PNG snapshots and quits.
class PreviewExport : public QObject
{
    Q_OBJECT

public:
    // QUOR_ONBOARDING_PREVIEW_STEP, trimmed and lower-cased; nothing when blank or unknown.
    static std::optional<OnboardingStep> onboardingPreviewStep(const QProcessEnvironment& env);
    // QUOR_OVERLAY_PREVIEW_MODE: "recording", "transcribing" or "cycle", read the same way.
    static std::optional<OverlayPreviewMode> overlayPreviewMode(const QProcessEnvironment& env);
    // QUOR_ONBOARDING_EXPORT_DIR if present (even blank), else QUOR_OVERLAY_EXPORT_DIR;
    // trimmed, nothing when blank; relative paths from the current directory.
    static std::optional<QString> previewExportDirectory(const QProcessEnvironment& env);

    PreviewExport(QProcessEnvironment environment, DesktopPresence& presence,
                  OnboardingWindowController& onboarding, RecordingOverlayWindowController& overlay,
                  QObject* parent = nullptr);

    // Enters the requested preview (the onboarding step wins over the overlay mode). False
    // when none is requested: the ordinary launch runs then.
    bool startIfRequested();

    bool isOnboardingPreview() const { return onboardingPreviewStep(m_environment).has_value(); }

private:
    void scheduleOnboardingPreviewExportIfNeeded(OnboardingStep step);
    void renderPreview(OverlayPreviewMode mode);
    void schedulePreviewExportsIfNeeded(OverlayPreviewMode mode);
    void schedulePreviewSnapshot(const QString& fileName, const QString& directory,
                                 double delaySeconds);
    void schedulePreviewTermination(double delaySeconds);

    QProcessEnvironment m_environment;
    DesktopPresence& m_presence;
    OnboardingWindowController& m_onboarding;
    RecordingOverlayWindowController& m_overlay;
};
