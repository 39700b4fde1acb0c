#include "dictation/HotKeyController.h"

#include "fakes/FakeHotKeyBackend.h"
#include "platform/shortcuts/CompositorBindings.h"

#include <gtest/gtest.h>

namespace {

TEST(HotKeyController, PressAndReleaseCallTheirCallbacks)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    QStringList calls;
    controller.onPress = [&] { calls << "press"; };
    controller.onRelease = [&] { calls << "release"; };
    ASSERT_FALSE(controller.start());

    EXPECT_TRUE(fake->press());
    EXPECT_TRUE(fake->release());
    EXPECT_EQ(calls, QStringList({"press", "release"}));
}

TEST(HotKeyController, HandlesTransitionsWithoutCallbacks)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    ASSERT_FALSE(controller.start());
    EXPECT_TRUE(fake->press());
    EXPECT_TRUE(fake->release());
}

TEST(HotKeyController, StartRegistersOnceAndReportsTheRefusal)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    fake->failure = QStringLiteral("Super + D is already taken by another program");
    HotKeyController controller(std::move(backend));
    int calls = 0;
    controller.onPress = [&] { ++calls; };

    const std::optional<QString> failure = controller.start();
    ASSERT_TRUE(failure);
    // Names the key, the reason, and where to choose another.
    EXPECT_TRUE(failure->startsWith("Super + D could not be registered: " + *fake->failure))
        << failure->toStdString();
    EXPECT_TRUE(failure->contains("Settings")) << failure->toStdString();
    EXPECT_EQ(controller.problem(), failure);
    EXPECT_EQ(fake->registerCalls, 1);
    EXPECT_FALSE(fake->press()); // no handler was installed
    EXPECT_EQ(calls, 0);
}

TEST(HotKeyController, RegistersTheChosenKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    const HotKey f9 = HotKey::parse("F9").value();
    HotKeyController controller(std::move(backend), f9);
    ASSERT_FALSE(controller.start());
    EXPECT_EQ(fake->grabbed, QKeyCombination(Qt::Key_F9));
}

TEST(HotKeyController, ChangeBeforeStartOnlyChoosesTheKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    EXPECT_FALSE(controller.change(key));
    EXPECT_EQ(fake->registerCalls, 0);
    ASSERT_FALSE(controller.start());
    EXPECT_EQ(fake->registered, QList<QKeyCombination>{key.combination()});
}

TEST(HotKeyController, RefusedChangeKeepsTheWorkingKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    const HotKey taken = HotKey::parse("Ctrl+Alt+T").value();
    fake->refused << taken.combination();
    HotKeyController controller(std::move(backend));
    int presses = 0;
    controller.onPress = [&] { ++presses; };
    ASSERT_FALSE(controller.start());

    const std::optional<QString> failure = controller.change(taken);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->startsWith("Ctrl + Alt + T could not be registered: another program"))
        << failure->toStdString();
    EXPECT_EQ(controller.hotKey(), HotKey::standard());
    EXPECT_FALSE(controller.problem());
    EXPECT_TRUE(fake->press());
    EXPECT_EQ(presses, 1);
}

TEST(HotKeyController, WorkingChangeClearsTheProblemOfAKeyThatNeverWorked)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    fake->refused << HotKey::standard().combination();
    HotKeyController controller(std::move(backend));
    ASSERT_TRUE(controller.start());
    ASSERT_TRUE(controller.problem());

    const HotKey key = HotKey::parse("Ctrl+Alt+Space").value();
    EXPECT_FALSE(controller.change(key));
    EXPECT_EQ(controller.hotKey(), key);
    EXPECT_FALSE(controller.problem());
    EXPECT_EQ(fake->grabbed, key.combination());
}

// A desktop that answers later (a portal): its refusal becomes the problem of the key in use,
// with what to do, and a refusal of a key replaced since is dropped.
TEST(HotKeyController, ALaterRefusalIsTheProblemOfTheKeyInUseOnly)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    int changes = 0;
    controller.onStatusChange = [&] { ++changes; };
    ASSERT_FALSE(controller.start());

    const HotKey f9 = HotKey::parse("F9").value();
    ASSERT_FALSE(controller.change(f9));
    ASSERT_TRUE(fake->refuseLater(HotKey::standard().combination(), "the desktop refused it"));
    EXPECT_FALSE(controller.problem());
    EXPECT_EQ(changes, 0);

    ASSERT_TRUE(fake->refuseLater(f9.combination(), "the desktop refused the shortcut"));
    EXPECT_EQ(controller.problem(),
              QString("F9 could not be registered: the desktop refused the shortcut. Choose "
                      "another hot key in Settings\u2026 (tray menu, or wendlo --settings)."));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(controller.hotKey(), f9);

    // A key that works ends it.
    EXPECT_FALSE(controller.change(HotKey::parse("F10").value()));
    EXPECT_FALSE(controller.problem());
}

TEST(HotKeyController, TheDesktopsOwnTriggerNamesTheKeyInUseUntilItChanges)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    int changes = 0;
    controller.onStatusChange = [&] { ++changes; };
    ASSERT_FALSE(controller.start());
    const QKeyCombination superD = HotKey::standard().combination();

    ASSERT_TRUE(fake->chooseTrigger(superD, "Ctrl+Alt+K"));
    EXPECT_EQ(controller.keyText(), "Ctrl+Alt+K");
    EXPECT_EQ(controller.hotKey(), HotKey::standard());
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(fake->chooseTrigger(superD, "Ctrl+Alt+K"));
    EXPECT_EQ(changes, 1) << "the same trigger again is no change";
    ASSERT_TRUE(fake->chooseTrigger(superD, ""));
    EXPECT_EQ(controller.keyText(), "Super + D");
    EXPECT_EQ(changes, 2);

    // An answer about a key replaced since is dropped; the new key starts from its own name.
    ASSERT_TRUE(fake->chooseTrigger(superD, "Ctrl+Alt+K"));
    const HotKey f9 = HotKey::parse("F9").value();
    ASSERT_FALSE(controller.change(f9));
    EXPECT_EQ(controller.keyText(), "F9");
    ASSERT_TRUE(fake->chooseTrigger(superD, "Ctrl+Alt+L"));
    EXPECT_EQ(controller.keyText(), "F9");
}

TEST(HotKeyController, AKeyThatWorksAgainEndsItsLaterProblem)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    HotKeyController controller(std::move(backend));
    int changes = 0;
    controller.onStatusChange = [&] { ++changes; };
    ASSERT_FALSE(controller.start());
    const QKeyCombination superD = HotKey::standard().combination();
    ASSERT_TRUE(fake->recover(superD));
    EXPECT_EQ(changes, 0) << "nothing was wrong";

    ASSERT_TRUE(fake->refuseLater(superD, "another program took it"));
    ASSERT_TRUE(controller.problem());
    ASSERT_TRUE(fake->recover(QKeyCombination(Qt::Key_F9)));
    EXPECT_TRUE(controller.problem()) << "another key working says nothing of this one";
    ASSERT_TRUE(fake->recover(superD));
    EXPECT_FALSE(controller.problem());
    EXPECT_EQ(changes, 2);
}

// Where the compositor binds the key there is no problem, only how to bind it, for the key
// in use; elsewhere the binding is the way out of a refusal.
TEST(HotKeyController, TheCompositorsBindingFollowsTheKey)
{
    auto backend = std::make_unique<FakeHotKeyBackend>();
    FakeHotKeyBackend* fake = backend.get();
    fake->bindingNeeded = true;
    fake->binding = CompositorBinding{"sway", "~/.config/sway/config", "swaymsg reload",
                                      {"press KEY", "release KEY"}, "w --start-dictation",
                                      "w --stop-dictation", "w --toggle-dictation"};
    HotKeyController controller(std::move(backend));
    ASSERT_FALSE(controller.start());
    EXPECT_FALSE(controller.problem());
    const QString superD = QString::number(HotKey::standard().combination().toCombined(), 16);
    EXPECT_EQ(controller.binding(),
              "Bind Super + D in sway: add these lines to ~/.config/sway/config, then run "
              "swaymsg reload:\npress " + superD + "\nrelease " + superD);
    const HotKey f9 = HotKey::parse("F9").value();
    ASSERT_FALSE(controller.change(f9));
    EXPECT_TRUE(controller.binding()->contains("press " +
                                               QString::number(f9.combination().toCombined(), 16)));

    fake->bindingNeeded = false;
    EXPECT_FALSE(controller.binding()) << "a key the app takes itself needs no binding";
    fake->failure = "the desktop refused it";
    HotKeyController refused(std::make_unique<FakeHotKeyBackend>(*fake));
    ASSERT_TRUE(refused.start());
    EXPECT_TRUE(refused.problem()->endsWith("(tray menu, or wendlo --settings). Or bind Super + D "
                                            "in sway: add these lines to ~/.config/sway/config, "
                                            "then run swaymsg reload:\npress " + superD +
                                            "\nrelease " + superD))
        << refused.problem()->toStdString();
}

struct BindingTextCase
{
    const char* name;
    Compositor compositor;
    const char* key;
    const char* text;
};

class BindingTexts : public ::testing::TestWithParam<BindingTextCase>
{
};

// What the user reads and copies into the compositor's configuration.
TEST_P(BindingTexts, NameTheKeyAndGiveTheExactLines)
{
    const BindingTextCase& c = GetParam();
    const HotKey key = HotKey::parse(c.key).value();
    const CompositorBinding binding =
        CompositorBindings::binding(c.compositor, key.combination(), "wendlo");
    EXPECT_EQ(HotKeyController::bindingInstructions(key, binding), QString(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Compositors, BindingTexts,
    ::testing::Values(
        BindingTextCase{"swaySuperD", Compositor::Sway, "Super+D",
                        "Bind Super + D in sway: add these lines to ~/.config/sway/config, then "
                        "run swaymsg reload:\n"
                        "bindsym --no-repeat Mod4+d exec wendlo --start-dictation\n"
                        "bindsym --release Mod4+d exec wendlo --stop-dictation"},
        BindingTextCase{"swayCtrlAltSpace", Compositor::Sway, "Ctrl+Alt+Space",
                        "Bind Ctrl + Alt + Space in sway: add these lines to "
                        "~/.config/sway/config, then run swaymsg reload:\n"
                        "bindsym --no-repeat Ctrl+Mod1+space exec wendlo --start-dictation\n"
                        "bindsym --release Ctrl+Mod1+space exec wendlo --stop-dictation"},
        BindingTextCase{"hyprlandSuperD", Compositor::Hyprland, "Super+D",
                        "Bind Super + D in Hyprland: add these lines to "
                        "~/.config/hypr/hyprland.conf:\n"
                        "bind = SUPER, D, exec, wendlo --start-dictation\n"
                        "bindr = SUPER, D, exec, wendlo --stop-dictation"},
        BindingTextCase{"hyprlandF9", Compositor::Hyprland, "F9",
                        "Bind F9 in Hyprland: add these lines to ~/.config/hypr/hyprland.conf:\n"
                        "bind = , F9, exec, wendlo --start-dictation\n"
                        "bindr = , F9, exec, wendlo --stop-dictation"},
        BindingTextCase{"hyprlandShiftSuperKeypad5", Compositor::Hyprland, "Shift+Super+Num+5",
                        "Bind Shift + Super + Keypad 5 in Hyprland: add these lines to "
                        "~/.config/hypr/hyprland.conf:\n"
                        "bind = SHIFT SUPER, KP_5, exec, wendlo --start-dictation\n"
                        "bindr = SHIFT SUPER, KP_5, exec, wendlo --stop-dictation"},
        BindingTextCase{"otherDesktop", Compositor::Other, "Super+D",
                        "Bind Super + D in your desktop's keyboard shortcuts: run wendlo "
                        "--start-dictation when it is pressed and wendlo --stop-dictation when "
                        "it is released, or wendlo --toggle-dictation where a shortcut can only "
                        "start a command."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
