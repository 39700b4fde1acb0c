#include "app/OnboardingFlow.h"

#include "dictation/DictationCoordinator.h"
#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingVersionStore.h"
#include "onboarding/OnboardingWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/DesktopPresence.h"

#include <QPointer>
#include <QSettings>

OnboardingFlow::OnboardingFlow(OnboardingWindowController& window,
                               PermissionsWindowController& permissionsWindow,
                               std::unique_ptr<QSettings> defaults,
                               const DictationCoordinator& coordinator,
                               PermissionStatus permissions, DesktopPresence& presence,
                               QObject* parent)
    : QObject(parent), m_window(window), m_permissionsWindow(permissionsWindow),
      m_store(std::make_unique<OnboardingVersionStore>(std::move(defaults),
                                                       OnboardingVersionStore::defaultKey())),
      m_coordinator(coordinator), m_permissions(permissions), m_presence(presence)
{
}

OnboardingFlow::~OnboardingFlow() = default;

void OnboardingFlow::attachWindow()
{
    QPointer<OnboardingFlow> weak(this);
    const auto weakly = [weak](void (OnboardingFlow::*operation)()) {
        return [weak, operation] {
            if (weak)
                (weak.data()->*operation)();
        };
    };
    m_window.onAdvance = weakly(&OnboardingFlow::advance);
    m_window.onBack = weakly(&OnboardingFlow::goBack);
    m_window.onFinish = weakly(&OnboardingFlow::complete);
    m_window.onPracticeTextChange = [weak](const QString& text) {
        if (weak)
            weak->updatePractice(text);
    };
}

bool OnboardingFlow::isDue() const
{
    return m_store->storedVersion() < 1;
}

void OnboardingFlow::reset()
{
    m_state = OnboardingState{OnboardingStep::Welcome, m_permissions.microphone(),
                              m_permissions.accessibility(), QString()};
}

void OnboardingFlow::present(bool resetProgress)
{
    if (resetProgress) {
        reset();
    } else {
        m_state.microphoneState = m_permissions.microphone();
        m_state.accessibilityGranted = m_permissions.accessibility();
    }
    m_window.showWindow();
    m_presence.raiseWindows();
    m_permissionsWindow.close();
    refresh();
}

void OnboardingFlow::advance()
{
    if (mayContinue(m_state)) {
        if (const auto next = m_state.step.next())
            m_state.step = *next;
    }
    refresh();
}

void OnboardingFlow::goBack()
{
    if (const auto previous = m_state.step.previous())
        m_state.step = *previous;
    refresh();
}

void OnboardingFlow::updatePractice(const QString& text)
{
    m_state.practiceText = OnboardingPractice::correctedTranscript(text).value_or(text);
    refresh();
}

void OnboardingFlow::complete()
{
    m_store->markCompleted();
    m_window.close();
    if (onCompleted)
        onCompleted();
}

void OnboardingFlow::refresh()
{
    m_state.microphoneState = m_permissions.microphone();
    m_state.accessibilityGranted = m_permissions.accessibility();
    m_window.render(m_state);
}

void OnboardingFlow::showHotKey()
{
    m_window.setHotKey(m_coordinator.hotKeyText(), m_coordinator.hotKeyProblem(),
                       m_coordinator.hotKeyBinding());
}

bool OnboardingFlow::isVisible() const
{
    return m_window.isVisible();
}
