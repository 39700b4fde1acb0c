#pragma once

#include "common/QuorError.h"
#include "onboarding/OnboardingState.h"
#include "onboarding/OnboardingStep.h"

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;
class OnboardingStarfieldView;
class OnboardingStepChipView;

// The five-step setup window. It draws whatever state it is given and reports the user's
// actions through the stored callbacks (unset callbacks do nothing); its one rule is the
// continue rule that enables Continue. Main thread only.
//
// Named child widgets (objectName) let tests and the preview find the parts: "titleLabel",
// "subtitleLabel", "footerHintLabel", "headerLabel", "backButton", "continueButton",
// "permissionButton", "permission-status", "permission-detail", "practicePromptLabel",
// "practiceInstructionLabel", "practiceTextView", "practiceStatusLabel",
// "clearPracticeButton", "hotKeySettingsButton"; the chips are the window's OnboardingStepChipView
// children.
class OnboardingWindowController : public QObject
{
    Q_OBJECT

public:
    // `clock` gives the backdrop's animation time in seconds (a monotonic clock when empty).
    explicit OnboardingWindowController(std::function<double()> clock = {},
                                        QObject* parent = nullptr);
    ~OnboardingWindowController() override;

    std::function<void()> onAdvance;
    std::function<void()> onBack;
    std::function<void()> onFinish;
    std::function<void()> onRequestMicrophone;
    std::function<void()> onRequestAccessibility;
    std::function<void(const QString&)> onPracticeTextChange;
    // The practice step's button for a hot key that cannot be grabbed.
    std::function<void()> onOpenHotKeySettings;

    void render(const OnboardingState& state);

    // The hot key the texts name ("Super + D"), and why it does not work, if it does not: the
    // practice step then shows the problem and a button to choose another key. Where the
    // user binds the key in the compositor, `binding` says how and the practice step shows
    // it (with the same button: the lines follow the key).
    void setHotKey(const QString& displayText, const std::optional<QString>& problem,
                   const std::optional<QString>& binding = std::nullopt);

    // Preview export: shows the window with a canned state for `step`.
    void showPreview(OnboardingStep step);

    // Writes a PNG of the whole window content (860 × 700 times the device pixel ratio).
    // Fails with one of the snapshot messages or the file system's own write error.
    Failure captureSnapshot(const QString& filePath);

    // Window basics: show (and raise, activate), close (hides; the window is kept and can
    // be shown again), visibility, and the window itself.
    void showWindow();
    void close();
    bool isVisible() const;
    QWidget* window() const;

    const OnboardingState& currentState() const { return m_currentState; }

    // Actions behind the controls (public so the preview and tests can trigger them too).
    void advance();
    void goBack();
    void requestMicrophone();
    void requestAccessibility();
    void clearPractice();
    void openHotKeySettings();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUI();
    QWidget* buildFooter();
    void renderShell();
    void rebuildCardContent(const OnboardingState& state);
    void clearArrangedSubviews();
    // The practice and permission controls that outlive every card rebuild.
    std::array<QWidget*, 7> cardControls() const;
    void updateDynamicContent(const OnboardingState& state);
    void updatePermissionCard(const QString& status, const QString& detail,
                              const QString& buttonTitle, bool buttonHidden,
                              void (OnboardingWindowController::*action)());
    void focusPracticeFieldSoon();
    // Where keyboard focus goes after a step change, or when it rests on Back or on a control
    // that became disabled or hidden.
    QWidget* forwardFocusTarget() const;
    void settleFocus(bool stepChanged);
    void practiceTextDidChange();
    void setPracticeFieldText(const QString& text);
    QWidget* makeChecklistCard(const QString& title, const QStringList& lines);
    QWidget* makePermissionStepCard();
    QWidget* makePracticeCard();

    std::unique_ptr<QWidget> m_window; // the root view; parent of every widget below
    OnboardingStarfieldView* m_backgroundView = nullptr;
    QWidget* m_surfaceView = nullptr;
    QLabel* m_headerLabel = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_subtitleLabel = nullptr;
    QWidget* m_cardStackView = nullptr;
    QVBoxLayout* m_cardStack = nullptr;
    QLabel* m_footerHintLabel = nullptr;
    QPushButton* m_backButton = nullptr;
    QPushButton* m_continueButton = nullptr;
    QPushButton* m_clearPracticeButton = nullptr;
    QLabel* m_practiceStatusLabel = nullptr;
    QLabel* m_practicePromptLabel = nullptr;
    QLabel* m_practiceInstructionLabel = nullptr;
    QPlainTextEdit* m_practiceTextView = nullptr;
    QWidget* m_practiceContainer = nullptr;
    QPushButton* m_permissionButton = nullptr;
    QPushButton* m_hotKeySettingsButton = nullptr;
    QString m_hotKeyText = QStringLiteral("Super + D");
    std::optional<QString> m_hotKeyProblem;
    std::optional<QString> m_hotKeyBinding;
    std::vector<OnboardingStepChipView*> m_stepViews;
    std::optional<OnboardingStep> m_renderedStep;
    OnboardingState m_currentState;
    void (OnboardingWindowController::*m_permissionAction)() = nullptr;
    bool m_writingPracticeField = false;
    QString m_practiceFieldText;
};
