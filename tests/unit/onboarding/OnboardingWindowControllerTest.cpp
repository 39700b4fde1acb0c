#include "onboarding/OnboardingWindowController.h"

#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingStepChipView.h"
#include "onboarding/OnboardingStyle.h"
#include "support/Wait.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

using OnboardingStyle::textColor;
using OnboardingStyle::white;

const QString sentence = QStringLiteral("Wendlo helps me write without breaking my flow.");

OnboardingState stateAt(OnboardingStep step,
                        MicrophonePermissionState microphone = MicrophonePermissionState::Granted,
                        bool accessibility = true, const QString& practiceText = {})
{
    return {step, microphone, accessibility, practiceText};
}

class OnboardingWindowTest : public ::testing::Test
{
protected:
    template <typename T> T* find(const char* name) const
    {
        return controller.window()->findChild<T*>(QString::fromLatin1(name));
    }
    QLabel* label(const char* name) const { return find<QLabel>(name); }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QPlainTextEdit* field() const { return find<QPlainTextEdit>("practiceTextView"); }

    std::vector<OnboardingStepChipView*> chips() const
    {
        auto list = controller.window()->findChildren<OnboardingStepChipView*>();
        std::vector<OnboardingStepChipView*> chips(list.begin(), list.end());
        std::sort(chips.begin(), chips.end(),
                  [](auto* a, auto* b) { return a->step().stepNumber() < b->step().stepNumber(); });
        return chips;
    }

    // The delegate's practice rule in miniature: store the sentence on a match, else the
    // text, then render.
    void wirePracticeLikeTheDelegate()
    {
        controller.onPracticeTextChange = [this](const QString& text) {
            reported.push_back(text);
            state.practiceText = OnboardingPractice::correctedTranscript(text).value_or(text);
            controller.render(state);
        };
    }

    OnboardingWindowController controller{[] { return 5.0; }};
    OnboardingState state;
    std::vector<QString> reported;
};

TEST_F(OnboardingWindowTest, CreatesTheFixedSizeWindowHidden)
{
    EXPECT_FALSE(controller.isVisible());
    EXPECT_EQ(controller.window()->size(), QSize(860, 700));
    EXPECT_EQ(controller.window()->windowTitle(), "Wendlo");
    EXPECT_EQ(label("headerLabel")->text(), "All the steps");
    controller.render(OnboardingState{});
    EXPECT_EQ(controller.window()->windowTitle(), "Wendlo Setup");
}

TEST_F(OnboardingWindowTest, RendersWelcome)
{
    controller.showWindow();
    controller.render(OnboardingState{});

    EXPECT_TRUE(button("backButton")->isHidden());
    EXPECT_TRUE(label("footerHintLabel")->isHidden());
    EXPECT_TRUE(button("continueButton")->isEnabled());
    EXPECT_EQ(button("continueButton")->text(), "Continue");
    EXPECT_EQ(label("titleLabel")->text(), "Set up Wendlo in one minute.");
    EXPECT_EQ(label("subtitleLabel")->text(),
              "Allow two permissions, try one sentence, and start dictating.");

    const auto chipViews = chips();
    ASSERT_EQ(chipViews.size(), 5u);
    EXPECT_EQ(chipViews[0]->numberLabel()->text(), "01");
    EXPECT_EQ(chipViews[0]->titleLabel()->text(), "Get Ready");
    EXPECT_EQ(chipViews[0]->look().background, QColor(Qt::black));
    EXPECT_EQ(textColor(chipViews[0]->titleLabel()), QColor(Qt::white));
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(chipViews[i]->look().background, white(0.006)) << i;
        EXPECT_EQ(textColor(chipViews[i]->numberLabel()), white(0.45)) << i;
        EXPECT_EQ(textColor(chipViews[i]->titleLabel()), white(0.6)) << i;
    }
    EXPECT_EQ(chipViews[4]->numberLabel()->text(), "05");
    EXPECT_EQ(chipViews[4]->titleLabel()->text(), "Go Live");

    // The checklist card.
    auto labels = controller.window()->findChild<QWidget*>("cardStack")->findChildren<QLabel*>();
    QStringList texts;
    for (QLabel* each : labels)
        texts << each->text();
    EXPECT_EQ(texts, QStringList({"What happens", "Allow Microphone", "Allow Accessibility",
                                  "Try one sentence", "Start dictating"}));
}

TEST_F(OnboardingWindowTest, RendersAnEmptyPracticeAsBlocked)
{
    controller.render(stateAt(OnboardingStep::Practice));

    EXPECT_FALSE(button("continueButton")->isEnabled());
    EXPECT_EQ(label("practiceStatusLabel")->text(), "Match the sentence to continue.");
    EXPECT_EQ(textColor(label("practiceStatusLabel")), white(0.62));
    EXPECT_EQ(
        label("practicePromptLabel")->text(),
        QString::fromUtf8("Say: \u201cWendlo helps me write without breaking my flow.\u201d"));
    EXPECT_EQ(label("subtitleLabel")->text(), "Click the field. Hold Super + D. Speak. Release.");
    EXPECT_FALSE(label("footerHintLabel")->isHidden());
    EXPECT_FALSE(button("backButton")->isHidden());

    const auto chipViews = chips();
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(chipViews[i]->look().background, white(0.012)) << i;
        EXPECT_EQ(textColor(chipViews[i]->numberLabel()), white(0.7)) << i;
        EXPECT_EQ(textColor(chipViews[i]->titleLabel()), white(0.92)) << i;
    }
    EXPECT_EQ(chipViews[3]->look().background, QColor(Qt::black));
    EXPECT_EQ(chipViews[4]->look().background, white(0.006));
}

TEST_F(OnboardingWindowTest, KeepsTheUsersTextCaretAndFocusAcrossRenders)
{
    controller.showWindow();
    state = stateAt(OnboardingStep::Practice);
    wirePracticeLikeTheDelegate();
    controller.render(state);
    ASSERT_TRUE(waitUntil([&] { return controller.window()->focusWidget() == field(); }));

    QTest::keyClicks(field(), "hello there");
    ASSERT_EQ(field()->toPlainText(), "hello there");
    ASSERT_EQ(reported.size(), 11u);
    EXPECT_EQ(reported.back(), "hello there");

    QTextCursor caret = field()->textCursor();
    caret.setPosition(5);
    field()->setTextCursor(caret);
    controller.render(state);
    controller.render(state);

    EXPECT_EQ(field()->textCursor().position(), 5);
    EXPECT_TRUE(field()->document()->isUndoAvailable()) << "the field was rewritten";
    EXPECT_EQ(controller.window()->focusWidget(), field());
    EXPECT_EQ(reported.size(), 11u) << "a render was reported as an edit";
}

// A keyboard-only user from welcome to finish, in every starting permission state, pressing
// Space or Enter on whatever has focus: focus never rests on Back, Continue acts only when
// enabled, and nothing ever goes back a step.
class OnboardingFocusWalk
    : public OnboardingWindowTest,
      public ::testing::WithParamInterface<std::tuple<MicrophonePermissionState, bool>>
{
};

TEST_P(OnboardingFocusWalk, SpaceAndEnterOnlyEverGoForward)
{
    const auto [microphone, accessibility] = GetParam();
    QStringList events;
    bool finished = false;
    // The delegate in miniature: the continue rule guards advancing, and a permission request
    // is granted by the refresh that follows it.
    controller.onAdvance = [&] {
        events << "advance";
        ASSERT_TRUE(mayContinue(state)) << "advanced past a blocked step";
        state.step = *state.step.next();
        controller.render(state);
    };
    controller.onBack = [&] { events << "back"; };
    controller.onFinish = [&] {
        events << "finish";
        finished = true;
    };
    controller.onRequestMicrophone = [&] {
        events << "microphone";
        state.microphoneState = MicrophonePermissionState::Granted;
        controller.render(state);
    };
    controller.onRequestAccessibility = [&] {
        events << "accessibility";
        state.accessibilityGranted = true;
        controller.render(state);
    };
    wirePracticeLikeTheDelegate();

    controller.showWindow();
    state = stateAt(OnboardingStep::Welcome, microphone, accessibility);
    controller.render(state);
    for (int press = 0; press < 24 && !finished; ++press) {
        const std::string where = state.step.rawValue().toStdString();
        QWidget* focused = controller.window()->focusWidget();
        ASSERT_NE(focused, nullptr) << where;
        ASSERT_NE(focused, button("backButton")) << where;
        // A render of the same state (a refresh) leaves focus where it is.
        controller.render(state);
        ASSERT_EQ(controller.window()->focusWidget(), focused) << where;

        const Qt::Key key = press % 2 ? Qt::Key_Return : Qt::Key_Space;
        if (focused == field()) {
            // Keys type into the field and press nothing; then the dictation matches, and
            // Shift+Tab leads to Continue.
            const qsizetype before = events.size();
            QTest::keyClick(focused, key);
            EXPECT_EQ(events.size(), before) << where;
            state.practiceText = sentence;
            controller.render(state);
            ASSERT_EQ(controller.window()->focusWidget(), field());
            QTest::keyClick(field(), Qt::Key_Backtab, Qt::ShiftModifier);
            ASSERT_EQ(controller.window()->focusWidget(), button("continueButton")) << where;
            continue;
        }
        auto* pressed = qobject_cast<QPushButton*>(focused);
        ASSERT_NE(pressed, nullptr) << where;
        ASSERT_TRUE(pressed->isEnabled()) << where;
        const qsizetype before = events.size();
        QTest::keyClick(pressed, key);
        ASSERT_EQ(events.size(), before + 1) << where << ": the key pressed nothing";
    }
    EXPECT_TRUE(finished) << events.join(' ').toStdString();
    EXPECT_FALSE(events.contains("back")) << events.join(' ').toStdString();
    EXPECT_EQ(events.count("microphone"), microphone == MicrophonePermissionState::Granted ? 0 : 1);
    EXPECT_EQ(events.count("accessibility"), accessibility ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    PermissionStates, OnboardingFocusWalk,
    ::testing::Combine(::testing::Values(MicrophonePermissionState::Granted,
                                         MicrophonePermissionState::Denied,
                                         MicrophonePermissionState::Undetermined),
                       ::testing::Bool()),
    [](const auto& info) {
        return toString(std::get<0>(info.param)).toStdString() +
               (std::get<1>(info.param) ? "Trusted" : "Untrusted");
    });

// A permission granted while its button has focus hides the button; focus moves on to
// Continue, not along Qt's chain to Back.
TEST_F(OnboardingWindowTest, FocusFollowsAGrantToContinue)
{
    controller.showWindow();
    for (OnboardingStep step : {OnboardingStep::Microphone, OnboardingStep::Accessibility}) {
        controller.render(stateAt(OnboardingStep::Welcome));
        controller.render(stateAt(step, MicrophonePermissionState::Undetermined, false));
        ASSERT_EQ(controller.window()->focusWidget(), button("permissionButton"));
        controller.render(stateAt(step, MicrophonePermissionState::Granted, true));
        EXPECT_EQ(controller.window()->focusWidget(), button("continueButton"))
            << step.rawValue().toStdString();
    }
}

TEST_F(OnboardingWindowTest, SnapsAMatchedAttemptToTheSentence)
{
    controller.render(stateAt(OnboardingStep::Practice));
    QTest::keyClicks(field(), "wendlo helps me write without breaking my flow");
    ASSERT_EQ(field()->toPlainText(), "wendlo helps me write without breaking my flow");

    controller.render(
        stateAt(OnboardingStep::Practice, MicrophonePermissionState::Granted, true, sentence));

    EXPECT_EQ(field()->toPlainText(), sentence);
    EXPECT_EQ(label("practiceStatusLabel")->text(), "Matched. Continue.");
    EXPECT_EQ(textColor(label("practiceStatusLabel")), QColor::fromRgbF(0.48f, 0.88f, 0.58f, 1));
    EXPECT_TRUE(button("continueButton")->isEnabled());
}

TEST_F(OnboardingWindowTest, TypingThatMatchesSnapsInsideTheEditWithoutAnExtraReport)
{
    state = stateAt(OnboardingStep::Practice);
    wirePracticeLikeTheDelegate();
    controller.render(state);

    const QString typed = QStringLiteral("Wendlo helps me write without breaking my flo");
    QTest::keyClicks(field(), typed);

    // One report per keystroke, in order; the snap itself is never reported.
    ASSERT_EQ(reported.size(), size_t(typed.size()));
    EXPECT_EQ(reported.front(), "W");
    EXPECT_EQ(field()->toPlainText(), sentence);
    EXPECT_EQ(field()->textCursor().position(), sentence.size());
    EXPECT_TRUE(button("continueButton")->isEnabled());
}

TEST_F(OnboardingWindowTest, ClearTextEmptiesTheFieldAndReportsEmpty)
{
    state = stateAt(OnboardingStep::Practice, MicrophonePermissionState::Granted, true, sentence);
    wirePracticeLikeTheDelegate();
    controller.render(state);
    ASSERT_EQ(field()->toPlainText(), sentence);

    QTest::mouseClick(button("clearPracticeButton"), Qt::LeftButton);

    EXPECT_EQ(field()->toPlainText(), "");
    EXPECT_EQ(reported, std::vector<QString>{QString()});
    EXPECT_FALSE(button("continueButton")->isEnabled());
}

TEST_F(OnboardingWindowTest, ContinueFinishesOnReadyAndAdvancesElsewhere)
{
    int advanced = 0, finished = 0, wentBack = 0;
    // Unset callbacks do nothing.
    controller.render(stateAt(OnboardingStep::Ready));
    button("continueButton")->click();
    button("backButton")->click();

    controller.onAdvance = [&] { ++advanced; };
    controller.onFinish = [&] { ++finished; };
    controller.onBack = [&] { ++wentBack; };
    EXPECT_EQ(button("continueButton")->text(), "Finish Setup");
    EXPECT_EQ(label("titleLabel")->text(), QString::fromUtf8("You\u2019re ready."));
    button("continueButton")->click();
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(advanced, 0);

    controller.render(stateAt(OnboardingStep::Welcome));
    button("continueButton")->click();
    EXPECT_EQ(advanced, 1);
    EXPECT_EQ(finished, 1);

    controller.render(stateAt(OnboardingStep::Microphone));
    button("backButton")->click();
    EXPECT_EQ(wentBack, 1);
}

struct PermissionCase
{
    const char* name;
    OnboardingStep step;
    MicrophonePermissionState microphone;
    bool accessibility;
    const char* status;
    const char* detail;
    const char* buttonTitle; // empty: hidden
    bool canContinue;
};

class OnboardingPermissionStep : public OnboardingWindowTest,
                                 public ::testing::WithParamInterface<PermissionCase>
{
};

TEST_P(OnboardingPermissionStep, ShowsStatusButtonAndContinue)
{
    const PermissionCase& row = GetParam();
    int microphoneRequests = 0, accessibilityRequests = 0;
    controller.onRequestMicrophone = [&] { ++microphoneRequests; };
    controller.onRequestAccessibility = [&] { ++accessibilityRequests; };
    controller.showWindow();
    // Through welcome first, so the card is rebuilt and its update runs on the new card.
    controller.render(OnboardingState{});
    controller.render(stateAt(row.step, row.microphone, row.accessibility));

    EXPECT_EQ(label("permission-status")->text(), row.status);
    EXPECT_EQ(label("permission-detail")->text(), row.detail);
    EXPECT_EQ(button("continueButton")->isEnabled(), row.canContinue);
    QPushButton* permission = button("permissionButton");
    const bool hidden = QString::fromLatin1(row.buttonTitle).isEmpty();
    EXPECT_EQ(permission->isHidden(), hidden);
    if (hidden) {
        EXPECT_EQ(permission->text(), "Allowed");
        return;
    }
    EXPECT_EQ(permission->text(), row.buttonTitle);
    permission->click();
    const bool microphoneStep = row.step == OnboardingStep::Microphone;
    EXPECT_EQ(microphoneRequests, microphoneStep ? 1 : 0);
    EXPECT_EQ(accessibilityRequests, microphoneStep ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OnboardingPermissionStep,
    ::testing::Values(
        PermissionCase{"MicrophoneDenied", OnboardingStep::Microphone,
                       MicrophonePermissionState::Denied, false, "Turn microphone back on",
                       "Open Settings and enable Wendlo.", "Open Microphone Settings", false},
        PermissionCase{"MicrophoneUndetermined", OnboardingStep::Microphone,
                       MicrophonePermissionState::Undetermined, false, "Allow microphone access",
                       "The system will ask once.", "Allow Microphone", false},
        PermissionCase{"MicrophoneGranted", OnboardingStep::Microphone,
                       MicrophonePermissionState::Granted, false, "Microphone is ready",
                       "Recording is ready.", "", true},
        PermissionCase{"AccessibilityMissing", OnboardingStep::Accessibility,
                       MicrophonePermissionState::Granted, false, "Allow Accessibility",
                       "Open Accessibility and turn Wendlo on.", "Set Up Accessibility", false},
        PermissionCase{"AccessibilityGranted", OnboardingStep::Accessibility,
                       MicrophonePermissionState::Denied, true, "Text insertion is ready",
                       "Wendlo can type into your active field.", "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OnboardingWindowTest, UpdatesThePermissionCardInPlaceUntilTheWindowCloses)
{
    controller.showWindow();
    controller.render(
        stateAt(OnboardingStep::Accessibility, MicrophonePermissionState::Granted, false));
    QPointer<QLabel> firstStatus = label("permission-status");
    ASSERT_TRUE(firstStatus);

    controller.render(stateAt(OnboardingStep::Accessibility));
    EXPECT_EQ(label("permission-status"), firstStatus.data()) << "rebuilt without a step change";
    EXPECT_EQ(firstStatus->text(), "Text insertion is ready");

    controller.close();
    EXPECT_FALSE(controller.isVisible());
    controller.render(
        stateAt(OnboardingStep::Accessibility, MicrophonePermissionState::Granted, false));
    EXPECT_TRUE(firstStatus.isNull()) << "the card was not rebuilt after closing";
    EXPECT_EQ(label("permission-status")->text(), "Allow Accessibility");
    EXPECT_EQ(label("permission-detail")->text(), "Open Accessibility and turn Wendlo on.");
    EXPECT_EQ(button("permissionButton")->text(), "Set Up Accessibility");

    // Shown again, the same window object comes back.
    controller.showWindow();
    EXPECT_TRUE(controller.isVisible());
}

TEST_F(OnboardingWindowTest, KeepsThePracticeControlsAcrossCardRebuilds)
{
    controller.render(stateAt(OnboardingStep::Practice));
    QPointer<QPlainTextEdit> practiceField = field();
    QPointer<QPushButton> permission = button("permissionButton");
    controller.render(stateAt(OnboardingStep::Microphone));
    controller.render(stateAt(OnboardingStep::Welcome));
    controller.render(
        stateAt(OnboardingStep::Practice, MicrophonePermissionState::Granted, true, sentence));
    ASSERT_TRUE(practiceField);
    ASSERT_TRUE(permission);
    EXPECT_EQ(field(), practiceField.data());
    EXPECT_EQ(practiceField->toPlainText(), sentence);
    EXPECT_TRUE(label("practiceStatusLabel")->isVisibleTo(controller.window()));
    EXPECT_FALSE(permission->isVisibleTo(controller.window()));
}

TEST_F(OnboardingWindowTest, FocusesThePracticeFieldOnlyIfStillOnPractice)
{
    controller.showWindow();
    controller.render(stateAt(OnboardingStep::Practice));
    controller.render(stateAt(OnboardingStep::Ready));
    spinFor(50);
    EXPECT_NE(controller.window()->focusWidget(), field());

    controller.render(stateAt(OnboardingStep::Practice));
    EXPECT_TRUE(waitUntil([&] { return controller.window()->focusWidget() == field(); }));
}

TEST_F(OnboardingWindowTest, PreviewOfAccessibilityTreatsTheMicrophoneAsGranted)
{
    controller.showPreview(OnboardingStep::Accessibility);

    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(controller.currentState(),
              stateAt(OnboardingStep::Accessibility, MicrophonePermissionState::Granted, false));
    EXPECT_EQ(label("permission-status")->text(), "Allow Accessibility");
    EXPECT_FALSE(button("permissionButton")->isHidden());
    EXPECT_FALSE(button("continueButton")->isEnabled());

    controller.showPreview(OnboardingStep::Practice);
    EXPECT_EQ(field()->toPlainText(), sentence);
    EXPECT_TRUE(button("continueButton")->isEnabled());
}

TEST_F(OnboardingWindowTest, SnapshotIntoAMissingDirectoryFailsWithTheFileSystemError)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/welcome.png");
    controller.showPreview(OnboardingStep::Welcome);

    const Failure failure = controller.captureSnapshot(path);

    ASSERT_TRUE(failure.has_value());
    EXPECT_TRUE(failure->message.startsWith(path)) << failure->message.toStdString();
    EXPECT_FALSE(failure->message.contains("onboarding snapshot"));
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
