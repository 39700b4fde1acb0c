#pragma once

#include "app/PermissionStatus.h"
#include "onboarding/OnboardingState.h"

#include <QObject>
#include <functional>
#include <memory>

class DesktopPresence;
class DictationCoordinator;
class OnboardingVersionStore;
class OnboardingWindowController;
class PermissionsWindowController;
class QSettings;

// The five-step onboarding: whether it is due, moving between the steps by the Continue rule,
// the practice dictation's text and hot key, and its completion. Main thread only.
class OnboardingFlow : public QObject
{
    Q_OBJECT

public:
    // `defaults` holds the completed onboarding version.
    OnboardingFlow(OnboardingWindowController& window,
                   PermissionsWindowController& permissionsWindow,
                   std::unique_ptr<QSettings> defaults, const DictationCoordinator& coordinator,
                   PermissionStatus permissions, DesktopPresence& presence,
                   QObject* parent = nullptr);
    ~OnboardingFlow() override;

    // After completion, once the window is closed and the version stored.
    std::function<void()> onCompleted;

    // Hands the window's navigation and practice text to this flow (not done for a preview,
    // whose window only shows).
    void attachWindow();
    // Until a version is stored, every launch and every reopen shows onboarding.
    bool isDue() const;
    // Back to the first step with the permissions as they are, without showing the window.
    void reset();

    void present(bool resetProgress);
    void advance();
    void goBack();
    void updatePractice(const QString& text);
    void complete();
    // Renders the window with the permissions read afresh.
    void refresh();
    // The practice step names the hot key in use, why it does not work, or how to bind it in
    // the compositor.
    void showHotKey();

    bool isVisible() const;
    const OnboardingState& state() const { return m_state; }
    OnboardingVersionStore& store() const { return *m_store; }

private:
    OnboardingWindowController& m_window;
    PermissionsWindowController& m_permissionsWindow;
    std::unique_ptr<OnboardingVersionStore> m_store;
    const DictationCoordinator& m_coordinator;
    PermissionStatus m_permissions;
    DesktopPresence& m_presence;
    OnboardingState m_state;
};
