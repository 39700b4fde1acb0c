#include "permissions/PermissionsWindowController.h"

#include "platform/desktop/SystemSettingsLinks.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

using Mic = MicrophonePermissionState;

namespace {

QString textOf(const PermissionsWindowController& controller, const char* name)
{
    return controller.window()->findChild<QLabel*>(name)->text();
}

QPushButton* button(const PermissionsWindowController& controller, const char* name)
{
    return controller.window()->findChild<QPushButton*>(name);
}

const QString micDeniedDetail = QStringLiteral(
    "The system blocked microphone access. Open Settings > Privacy > Microphone and enable "
    "Wendlo there.");
const QString axMissingDetail = QStringLiteral(
    "The system may ask you to open Accessibility settings. If Wendlo still cannot type into "
    "other apps, turn on assistive technologies in Settings > Accessibility.");

} // namespace

struct RenderCase
{
    const char* name;
    Mic microphone;
    bool accessibility;
    QString microphoneStatus, microphoneDetail, microphoneButton;
    bool microphoneButtonShown;
    QString accessibilityStatus, accessibilityDetail, accessibilityButton;
    bool accessibilityButtonShown;
};

class PermissionsRenderTest : public ::testing::TestWithParam<RenderCase>
{
};

TEST_P(PermissionsRenderTest, ShowsTextsAndButtonsForTheState)
{
    const RenderCase& c = GetParam();
    PermissionsWindowController controller;
    controller.showWindow();
    // Start from the opposite state: nothing of it may remain.
    controller.render(c.microphone == Mic::Granted ? Mic::Denied : Mic::Granted, !c.accessibility);
    controller.render(c.microphone, c.accessibility);

    EXPECT_EQ(textOf(controller, "introLabel"),
              "Wendlo needs two permissions before it can work reliably.");
    EXPECT_EQ(textOf(controller, "microphoneStatus"), c.microphoneStatus);
    EXPECT_EQ(textOf(controller, "microphoneDetail"), c.microphoneDetail);
    EXPECT_EQ(button(controller, "requestMicrophoneButton")->text(), c.microphoneButton);
    EXPECT_EQ(button(controller, "requestMicrophoneButton")->isVisible(), c.microphoneButtonShown);
    EXPECT_EQ(textOf(controller, "accessibilityStatus"), c.accessibilityStatus);
    EXPECT_EQ(textOf(controller, "accessibilityDetail"), c.accessibilityDetail);
    EXPECT_EQ(button(controller, "requestAccessibilityButton")->text(), c.accessibilityButton);
    EXPECT_EQ(button(controller, "requestAccessibilityButton")->isVisible(),
              c.accessibilityButtonShown);
    for (QLabel* label : controller.window()->findChildren<QLabel*>())
        EXPECT_TRUE(label->isVisible());
}

namespace {

RenderCase renderCase(const char* name, Mic microphone, bool accessibility)
{
    RenderCase c{name, microphone, accessibility, {}, {}, {}, false, {}, {}, {}, false};
    switch (microphone) {
    case Mic::Granted:
        c.microphoneStatus = "Microphone: Allowed";
        c.microphoneDetail = "Wendlo can record audio when you start dictation.";
        c.microphoneButton = "Allow Microphone";
        c.microphoneButtonShown = false;
        break;
    case Mic::Denied:
        c.microphoneStatus = "Microphone: Turn on in Settings";
        c.microphoneDetail = micDeniedDetail;
        c.microphoneButton = "Open Microphone Settings";
        c.microphoneButtonShown = true;
        break;
    case Mic::Undetermined:
        c.microphoneStatus = "Microphone: Permission required";
        c.microphoneDetail = "Click below to show the system microphone permission prompt.";
        c.microphoneButton = "Allow Microphone";
        c.microphoneButtonShown = true;
        break;
    }
    c.accessibilityStatus =
        accessibility ? "Accessibility: Allowed" : "Accessibility: Permission required";
    c.accessibilityDetail =
        accessibility ? "Wendlo can insert text into the focused field." : axMissingDetail;
    c.accessibilityButton = accessibility ? "Allow Accessibility" : "Set Up Accessibility";
    c.accessibilityButtonShown = !accessibility;
    return c;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Combinations, PermissionsRenderTest,
    ::testing::Values(renderCase("grantedTrusted", Mic::Granted, true),
                      renderCase("grantedUntrusted", Mic::Granted, false),
                      renderCase("deniedTrusted", Mic::Denied, true),
                      renderCase("deniedUntrusted", Mic::Denied, false),
                      renderCase("undeterminedTrusted", Mic::Undetermined, true),
                      renderCase("undeterminedUntrusted", Mic::Undetermined, false)),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PermissionsWindowTest, BuiltHiddenWithItsTitleAndSize)
{
    PermissionsWindowController controller;
    EXPECT_FALSE(controller.isVisible());
    EXPECT_EQ(controller.window()->windowTitle(), "Wendlo Permissions");
    EXPECT_EQ(controller.window()->size(), QSize(480, 290));
    EXPECT_EQ(textOf(controller, "microphoneStatus"), "");
    EXPECT_EQ(button(controller, "requestMicrophoneButton")->text(), "Allow Microphone");
    EXPECT_EQ(button(controller, "requestAccessibilityButton")->text(), "Allow Accessibility");

    controller.render(Mic::Denied, false);
    EXPECT_FALSE(controller.isVisible()); // rendering never shows
    controller.showWindow();
    EXPECT_TRUE(controller.isVisible());
    controller.close();
    EXPECT_FALSE(controller.isVisible());
}

TEST(PermissionsWindowTest, ButtonsCallTheirCallbacksWhateverTheTitle)
{
    PermissionsWindowController controller;
    controller.render(Mic::Denied, false);
    // Unset callbacks: a press does nothing.
    button(controller, "requestMicrophoneButton")->click();
    button(controller, "requestAccessibilityButton")->click();

    QStringList calls;
    controller.onRequestMicrophone = [&] { calls << "microphone"; };
    controller.onRequestAccessibility = [&] { calls << "accessibility"; };
    button(controller, "requestMicrophoneButton")->click();
    button(controller, "requestAccessibilityButton")->click();
    EXPECT_EQ(calls, (QStringList{"microphone", "accessibility"}));
}

TEST(SystemSettingsLinksTest, TriesPagesInOrderUntilOneOpens)
{
    using SystemSettingsLinks::Command;
    const QList<Command> expected = SystemSettingsLinks::candidates("Privacy_Microphone");
    ASSERT_EQ(expected.size(), 4);
    EXPECT_EQ(expected.first(), (Command{"gnome-control-center", {"microphone"}}));

    for (qsizetype opens = 0; opens <= expected.size(); ++opens) {
        QList<Command> tried;
        const bool opened = SystemSettingsLinks::openPrivacySecurity(
            "Privacy_Microphone", [&](const Command& command) {
                tried << command;
                return tried.size() == opens;
            });
        EXPECT_EQ(opened, opens > 0);
        EXPECT_EQ(tried, expected.mid(0, opens > 0 ? opens : expected.size()));
    }
}
