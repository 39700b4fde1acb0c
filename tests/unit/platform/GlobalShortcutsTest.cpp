#include "platform/shortcuts/CompositorBindings.h"
#include "platform/shortcuts/PortalGlobalShortcuts.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TriggerCase
{
    const char* name;
    QKeyCombination key;
    const char* portal; // "" where the key has no name
    const char* sway;   // the press line's chord
};

class Triggers : public ::testing::TestWithParam<TriggerCase>
{
};

// Qt's keys as the shortcut portal and the compositors name them.
TEST_P(Triggers, NameKeysAsTheDesktopReadsThem)
{
    const TriggerCase& c = GetParam();
    const std::optional<QString> trigger = PortalGlobalShortcuts::trigger(c.key);
    if (*c.portal == '\0') {
        EXPECT_FALSE(trigger) << trigger->toStdString();
        EXPECT_TRUE(CompositorBindings::binding(Compositor::Sway, c.key, "w").lines.isEmpty());
        return;
    }
    EXPECT_EQ(trigger, QString(c.portal));
    const QStringList lines = CompositorBindings::binding(Compositor::Sway, c.key, "w").lines;
    EXPECT_EQ(lines,
              QStringList({QString("bindsym --no-repeat %1 exec w --start-dictation").arg(c.sway),
                           QString("bindsym --release %1 exec w --stop-dictation").arg(c.sway)}));
}

constexpr Qt::KeyboardModifiers ctrlAlt = Qt::ControlModifier | Qt::AltModifier;

INSTANTIATE_TEST_SUITE_P(
    Keys, Triggers,
    ::testing::Values(
        TriggerCase{"superD", QKeyCombination(Qt::MetaModifier, Qt::Key_D), "LOGO+d", "Mod4+d"},
        TriggerCase{"ctrlAltSpace", QKeyCombination(ctrlAlt, Qt::Key_Space), "CTRL+ALT+space",
                    "Ctrl+Mod1+space"},
        TriggerCase{"allModifiers",
                    QKeyCombination(ctrlAlt | Qt::ShiftModifier | Qt::MetaModifier, Qt::Key_1),
                    "CTRL+ALT+SHIFT+LOGO+1", "Ctrl+Mod1+Shift+Mod4+1"},
        TriggerCase{"f9", QKeyCombination(Qt::Key_F9), "F9", "F9"},
        TriggerCase{"f35", QKeyCombination(Qt::Key_F35), "F35", "F35"},
        TriggerCase{"keypad5", QKeyCombination(Qt::KeypadModifier, Qt::Key_5), "KP_5", "KP_5"},
        TriggerCase{"keypadEnter", QKeyCombination(Qt::KeypadModifier, Qt::Key_Enter), "KP_Enter",
                    "KP_Enter"},
        TriggerCase{"pageUp", QKeyCombination(Qt::ControlModifier, Qt::Key_PageUp), "CTRL+Page_Up",
                    "Ctrl+Page_Up"},
        TriggerCase{"punctuation", QKeyCombination(Qt::MetaModifier, Qt::Key_Comma), "LOGO+comma",
                    "Mod4+comma"},
        TriggerCase{"grave", QKeyCombination(Qt::AltModifier, Qt::Key_QuoteLeft), "ALT+grave",
                    "Mod1+grave"},
        TriggerCase{"mediaKey", QKeyCombination(Qt::Key_MediaPlay), "XF86AudioPlay",
                    "XF86AudioPlay"},
        TriggerCase{"latin1Letter", QKeyCombination(Qt::MetaModifier, Qt::Key_Eacute), "LOGO+U00E9",
                    "Mod4+U00E9"},
        TriggerCase{"noKeysym", QKeyCombination(Qt::MetaModifier, Qt::Key_Launch0), "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct DetectCase
{
    const char* name;
    QStringList variables; // NAME=VALUE
    Compositor expected;
};

class Detection : public ::testing::TestWithParam<DetectCase>
{
};

TEST_P(Detection, ReadsTheCompositorFromItsVariables)
{
    QProcessEnvironment environment;
    for (const QString& variable : GetParam().variables)
        environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
    EXPECT_EQ(CompositorBindings::detect(environment), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, Detection,
    ::testing::Values(
        DetectCase{"swaySocket", {"SWAYSOCK=/run/user/1000/sway-ipc.sock"}, Compositor::Sway},
        DetectCase{"swayDesktop", {"XDG_CURRENT_DESKTOP=sway"}, Compositor::Sway},
        DetectCase{"hyprlandSignature", {"HYPRLAND_INSTANCE_SIGNATURE=abc"}, Compositor::Hyprland},
        DetectCase{"hyprlandDesktop", {"XDG_CURRENT_DESKTOP=Hyprland"}, Compositor::Hyprland},
        DetectCase{"gnome", {"XDG_CURRENT_DESKTOP=ubuntu:GNOME"}, Compositor::Other},
        DetectCase{"swayInAName", {"XDG_CURRENT_DESKTOP=swayfx-like"}, Compositor::Other},
        DetectCase{"nothing", {}, Compositor::Other}),
    [](const auto& info) { return std::string(info.param.name); });

// The lines must run this very program: its name where PATH finds it, else its path.
TEST(CompositorBindings, TheCommandIsTheProgramThatRuns)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir().mkpath(dir.filePath("bin"));
    QDir().mkpath(dir.filePath("my build"));
    for (const QString& path : {dir.filePath("bin/wendlo"), dir.filePath("my build/wendlo")}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    const QString installed = dir.filePath("bin/wendlo");
    const QString built = dir.filePath("my build/wendlo");
    EXPECT_EQ(CompositorBindings::command(installed, "/usr/bin:" + dir.filePath("bin")), "wendlo");
    EXPECT_EQ(CompositorBindings::command(built, "/usr/bin:" + dir.filePath("bin")),
              "'" + built + "'");
    EXPECT_EQ(CompositorBindings::command(installed, "/usr/bin"), installed);
}

} // namespace
