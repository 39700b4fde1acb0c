#include "app/AppSettings.h"
#include "app/AutostartEntry.h"
#include "app/SettingsWindowController.h"
#include "onboarding/OnboardingWindowController.h"
#include "unit/app/ShellFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QProcessEnvironment environmentWith(std::initializer_list<std::pair<QString, QString>> values)
{
    QProcessEnvironment environment;
    for (const auto& [name, value] : values)
        environment.insert(name, value);
    return environment;
}

class Settings : public ::testing::Test
{
protected:
    std::unique_ptr<QSettings> store()
    {
        return std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
    }
    void storeValue(const QString& key, const QVariant& value) { store()->setValue(key, value); }

    QTemporaryDir m_dir;
};

// --- What the settings file and WENDLO_HOTKEY give -----------------------------------------

struct HotKeySettingCase
{
    const char* name;
    std::optional<QVariant> stored;
    const char* environment; // WENDLO_HOTKEY, or nullptr
    const char* expected;    // portable text
    bool fromEnvironment;
};

class HotKeySetting : public Settings, public ::testing::WithParamInterface<HotKeySettingCase>
{
};

TEST_P(HotKeySetting, ReadsTheKeyOrTheDefault)
{
    const HotKeySettingCase& c = GetParam();
    if (c.stored)
        storeValue(AppSettings::hotKeyKey(), *c.stored);
    QProcessEnvironment environment;
    if (c.environment)
        environment.insert("WENDLO_HOTKEY", c.environment);
    const AppSettings settings(store(), environment);
    EXPECT_EQ(settings.hotKey().portableText(), QString::fromUtf8(c.expected));
    EXPECT_EQ(settings.hotKeyFromEnvironment(), c.fromEnvironment);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HotKeySetting,
    ::testing::Values(
        HotKeySettingCase{"Absent", std::nullopt, nullptr, "Super+D", false},
        HotKeySettingCase{"Stored", QVariant("Ctrl+Alt+Space"), nullptr, "Ctrl+Alt+Space", false},
        HotKeySettingCase{"StoredKeypad", QVariant("Num+5"), nullptr, "Num+5", false},
        HotKeySettingCase{"Junk", QVariant("%%% not a key"), nullptr, "Super+D", false},
        HotKeySettingCase{"ModifierOnly", QVariant("Ctrl+Alt"), nullptr, "Super+D", false},
        HotKeySettingCase{"Number", QVariant(42), nullptr, "Super+D", false},
        HotKeySettingCase{"List", QVariant(QStringList{"F9", "F10"}), nullptr, "Super+D", false},
        HotKeySettingCase{"EnvironmentWins", QVariant("Ctrl+Alt+Space"), "F9", "F9", true},
        HotKeySettingCase{"BadEnvironmentFallsBackToStored", QVariant("Ctrl+Alt+Space"), "Ctrl",
                          "Ctrl+Alt+Space", false},
        HotKeySettingCase{"BlankEnvironmentIgnored", std::nullopt, "  ", "Super+D", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Settings, HotKeyAndLanguageRoundTrip)
{
    {
        AppSettings settings(store(), {});
        settings.setHotKey(HotKey::parse("Ctrl+Alt+Space").value());
        settings.setLanguage("de");
    }
    EXPECT_EQ(store()->value(AppSettings::hotKeyKey()).toString(), "Ctrl+Alt+Space");
    AppSettings again(store(), {});
    EXPECT_EQ(again.hotKey().displayText(), "Ctrl + Alt + Space");
    EXPECT_EQ(again.language(), "de");
    again.setLanguage(QString());
    EXPECT_FALSE(store()->contains(AppSettings::languageKey()));
    EXPECT_EQ(again.language(), QString());
}

TEST_F(Settings, LanguageJunkReadsAsTheDefault)
{
    for (const QVariant& junk :
         {QVariant("klingon"), QVariant(7), QVariant(""), QVariant(QStringList{"de"})}) {
        storeValue(AppSettings::languageKey(), junk);
        EXPECT_EQ(AppSettings(store(), {}).language(), QString()) << junk.toString().toStdString();
    }
    storeValue(AppSettings::languageKey(), " DE ");
    EXPECT_EQ(AppSettings(store(), {}).language(), "de");
    storeValue(AppSettings::languageKey(), "auto");
    EXPECT_EQ(AppSettings(store(), {}).language(), "auto");
}

// --- Start at login -------------------------------------------------------------------------

TEST_F(Settings, ModelRoundTrip)
{
    {
        AppSettings settings(store(), {});
        EXPECT_EQ(settings.model(), "large-v3-turbo");
        settings.setModel("small-q5_1");
    }
    AppSettings again(store(), {});
    EXPECT_EQ(again.model(), "small-q5_1");
    QSettings other(m_dir.filePath("settings.ini"), QSettings::IniFormat);
    EXPECT_EQ(AppSettings::modelIn(other), "small-q5_1");
    again.setModel(QString());
    EXPECT_EQ(again.model(), "large-v3-turbo");
    EXPECT_FALSE(store()->contains(AppSettings::modelKey()));
}

TEST_F(Settings, ModelJunkReadsAsTheDefault)
{
    for (const QVariant& junk :
         {QVariant(QString()), QVariant("../../etc/passwd"), QVariant("-v"),
          QVariant("small model"), QVariant(42), QVariant(QStringList{"small", "base"})}) {
        storeValue(AppSettings::modelKey(), junk);
        EXPECT_EQ(AppSettings(store(), {}).model(), "large-v3-turbo")
            << junk.toString().toStdString();
    }
}

TEST_F(Settings, AutostartEntryIsWrittenAndRemoved)
{
    const AutostartEntry entry(environmentWith({{"XDG_CONFIG_HOME", m_dir.filePath("config")}}),
                               "/opt/wendlo/bin/wendlo");
    EXPECT_EQ(entry.path(), m_dir.filePath("config/autostart/wendlo.desktop"));
    EXPECT_FALSE(entry.isEnabled());

    AutostartEntry writer = entry;
    ASSERT_EQ(writer.setEnabled(true), std::nullopt);
    QFile file(entry.path());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray contents = file.readAll();
    file.close();
    EXPECT_TRUE(contents.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(contents.contains("\nType=Application\n"));
    EXPECT_TRUE(contents.contains("\nExec=/opt/wendlo/bin/wendlo\n")) << contents.toStdString();
    EXPECT_TRUE(entry.isEnabled());

    ASSERT_EQ(writer.setEnabled(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry.path()));
    EXPECT_FALSE(entry.isEnabled());
    // Switching off twice is no failure.
    EXPECT_EQ(writer.setEnabled(false), std::nullopt);
}

TEST_F(Settings, AutostartFolderFollowsTheBaseDirectoryRules)
{
    const QString home = m_dir.filePath("home");
    EXPECT_EQ(AutostartEntry(environmentWith({{"HOME", home}}), "w").path(),
              home + "/.config/autostart/wendlo.desktop");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(
        AutostartEntry(environmentWith({{"HOME", home}, {"XDG_CONFIG_HOME", "rel"}}), "w").path(),
        home + "/.config/autostart/wendlo.desktop");
}

TEST_F(Settings, AutostartEntrySwitchedOffByTheDesktopCountsAsOff)
{
    AutostartEntry entry(environmentWith({{"XDG_CONFIG_HOME", m_dir.path()}}), "wendlo");
    ASSERT_EQ(entry.setEnabled(true), std::nullopt);
    QFile file(entry.path());
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(entry.isEnabled());
}

TEST_F(Settings, AutostartFailureNamesTheFile)
{
    // A file where the folder should be.
    QFile blocker(m_dir.filePath("autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AutostartEntry entry(environmentWith({{"XDG_CONFIG_HOME", m_dir.path()}}), "wendlo");
    const Failure failure = entry.setEnabled(true);
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->message.contains(m_dir.filePath("autostart")))
        << failure->message.toStdString();
}

TEST(AutostartExec, QuotesWhatTheDesktopEntryRulesReserve)
{
    EXPECT_EQ(AutostartEntry::execValue("/usr/bin/wendlo"), "/usr/bin/wendlo");
    EXPECT_EQ(AutostartEntry::execValue("/home/a b/wendlo"), "\"/home/a b/wendlo\"");
    EXPECT_EQ(AutostartEntry::execValue("/x/$HOME\"q\"/w"), "\"/x/\\\\$HOME\\\\\"q\\\\\"/w\"");
    EXPECT_EQ(AutostartEntry::execValue("/x/100%/w"), "/x/100%%/w");
}

// --- The window -----------------------------------------------------------------------------

class SettingsWindow : public ::testing::Test
{
protected:
    SettingsWindow()
    {
        shell.storeVersion(1);
        shell.launch();
        window = &shell.delegate->settingsWindowController();
        shell.delegate->openSettings();
    }

    template <typename T> T* child(const char* name) const
    {
        return window->window()->findChild<T*>(QString::fromLatin1(name));
    }
    QString status() const { return child<QLabel>("hotKeyStatus")->text(); }
    QString stored(const QString& key) const
    {
        return QSettings(shell.settingsPath(), QSettings::IniFormat).value(key).toString();
    }

    ShellFixture shell;
    SettingsWindowController* window = nullptr;
};

TEST_F(SettingsWindow, TheTrayItemOpensIt)
{
    window->close();
    shell.delegate->trayMenu().settingsMenuItem()->trigger();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->window()->windowTitle(), "Wendlo Settings");
    EXPECT_EQ(status(), "Hold Super + D to dictate.");
    EXPECT_EQ(child<QKeySequenceEdit>("hotKeyEdit")->keySequence(),
              QKeySequence(Qt::META | Qt::Key_D));
    EXPECT_EQ(child<QKeySequenceEdit>("hotKeyEdit")->findChild<QLineEdit*>()->text(), "Super + D");
}

TEST_F(SettingsWindow, NewKeyIsGrabbedStoredAndNamedEverywhere)
{
    const QKeyCombination key(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space);
    EXPECT_EQ(window->chooseHotKey(key), std::nullopt);
    EXPECT_EQ(shell.fakes.hotKey->grabbed, key);
    EXPECT_EQ(stored(AppSettings::hotKeyKey()), "Ctrl+Alt+Space");
    EXPECT_EQ(status(), "Hold Ctrl + Alt + Space to dictate.");

    // The onboarding names it too.
    shell.delegate->onboarding().present(true);
    shell.delegate->onboarding().advance();
    shell.delegate->onboarding().advance();
    shell.delegate->onboarding().advance();
    ASSERT_EQ(shell.delegate->onboarding().state().step, OnboardingStep::Practice);
    QWidget* onboarding = shell.delegate->onboardingWindowController().window();
    EXPECT_EQ(onboarding->findChild<QLabel*>("subtitleLabel")->text(),
              "Click the field. Hold Ctrl + Alt + Space. Speak. Release.");
    EXPECT_FALSE(onboarding->findChild<QPushButton*>("hotKeySettingsButton")->isVisible());
}

// Where the compositor binds the key, the settings window and the practice step show how,
// as information; a refusal that comes later (a portal) shows as the problem in both.
TEST(SettingsWindowOnWayland, TheCompositorsBindingAndALaterRefusalAreShownWhereTheKeyIs)
{
    const QString lines = "Bind Super + D in sway: add these lines to ~/.config/sway/config, then "
                          "run swaymsg reload:\nbindsym --no-repeat Mod4+d exec wendlo "
                          "--start-dictation\nbindsym --release Mod4+d exec wendlo --stop-dictation";
    ShellFixture shell;
    shell.make();
    shell.fakes.hotKey->bindingNeeded = true;
    shell.fakes.hotKey->binding = CompositorBinding{
        "sway",
        "~/.config/sway/config",
        "swaymsg reload",
        {"bindsym --no-repeat Mod4+d exec wendlo --start-dictation",
         "bindsym --release Mod4+d exec wendlo --stop-dictation"},
        "wendlo --start-dictation",
        "wendlo --stop-dictation",
        "wendlo --toggle-dictation"};
    shell.delegate->launch().applicationDidFinishLaunching();
    ASSERT_EQ(shell.delegate->onboarding().state().step, OnboardingStep::Welcome);
    for (int step = 0; step < 3; ++step)
        shell.delegate->onboarding().advance();
    ASSERT_EQ(shell.delegate->onboarding().state().step, OnboardingStep::Practice);
    QWidget* onboarding = shell.delegate->onboardingWindowController().window();
    auto* instruction = onboarding->findChild<QLabel*>("practiceInstructionLabel");
    EXPECT_EQ(instruction->text(), lines);
    EXPECT_TRUE(instruction->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_TRUE(onboarding->findChild<QPushButton*>("hotKeySettingsButton")->isVisible());
    EXPECT_EQ(onboarding->findChild<QLabel*>("subtitleLabel")->text(),
              "Click the field. Hold Super + D. Speak. Release.");

    shell.delegate->openSettings();
    QWidget* settings = shell.delegate->settingsWindowController().window();
    const auto status = [&] { return settings->findChild<QLabel*>("hotKeyStatus")->text(); };
    EXPECT_EQ(status(), "Super + D is bound in the compositor on this desktop, not by Wendlo. " +
                            lines);

    // A refusal that comes later (a portal's answer) is the problem in both places at once.
    const QString refused = "Super + D could not be registered: the desktop refused the shortcut. "
                            "Choose another hot key in Settings\u2026 (tray menu, or wendlo "
                            "--settings).";
    shell.fakes.hotKey->bindingNeeded = false;
    shell.fakes.hotKey->binding.reset();
    ASSERT_TRUE(shell.fakes.hotKey->refuseLater(HotKey::standard().combination(),
                                                "the desktop refused the shortcut"));
    EXPECT_EQ(status(), refused);
    EXPECT_EQ(instruction->text(), refused);
    EXPECT_EQ(onboarding->findChild<QLabel*>("subtitleLabel")->text(),
              "Super + D cannot be used here. Choose another hot key first.");
}

TEST_F(SettingsWindow, ConflictIsShownInPlaceAndTheOldKeyStays)
{
    const QKeyCombination taken(Qt::ControlModifier | Qt::AltModifier, Qt::Key_T);
    shell.fakes.hotKey->refused << taken;
    const std::optional<QString> failure = window->chooseHotKey(taken);
    ASSERT_TRUE(failure);
    EXPECT_EQ(status(), "Ctrl + Alt + T could not be registered: another program already uses it. "
                        "Still using Super + D.");
    EXPECT_EQ(shell.coordinator->hotKey(), HotKey::standard());
    EXPECT_EQ(shell.fakes.hotKey->grabbed, HotKey::standard().combination());
    EXPECT_EQ(stored(AppSettings::hotKeyKey()), QString());
    EXPECT_EQ(child<QKeySequenceEdit>("hotKeyEdit")->keySequence(),
              QKeySequence(Qt::META | Qt::Key_D));
}

TEST_F(SettingsWindow, KeyThatCannotBeAHotKeyIsRefusedWithoutAGrab)
{
    const qsizetype before = shell.fakes.hotKey->registered.size();
    EXPECT_TRUE(window->chooseHotKey(QKeyCombination(Qt::Key_A)));
    EXPECT_EQ(shell.fakes.hotKey->registered.size(), before);
    EXPECT_TRUE(status().startsWith("That key cannot be the hot key: A alone would be taken from every "
                                  "other program; add Ctrl, Alt or Super."))
        << status().toStdString();
}

TEST_F(SettingsWindow, LanguageChoiceIsStoredAndAutomaticIsOffered)
{
    auto* box = child<QComboBox>("languageBox");
    EXPECT_EQ(box->currentData().toString(), QString());
    EXPECT_EQ(box->count(), 102); // the default, automatic, and whisper's hundred languages
    box->setCurrentIndex(box->findData("de"));
    EXPECT_EQ(stored(AppSettings::languageKey()), "de");
    EXPECT_EQ(box->itemText(box->findData("de")), "German");
    box->setCurrentIndex(box->findData("auto"));
    EXPECT_EQ(stored(AppSettings::languageKey()), "auto");
    box->setCurrentIndex(0);
    EXPECT_FALSE(
        QSettings(shell.settingsPath(), QSettings::IniFormat).contains(AppSettings::languageKey()));
}

TEST_F(SettingsWindow, StartAtLoginSwitchWritesTheEntry)
{
    QTemporaryDir config;
    ShellFixture own;
    own.storeVersion(1);
    QProcessEnvironment environment;
    environment.insert("XDG_CONFIG_HOME", config.path());
    own.launch(environment);
    own.delegate->openSettings();
    QWidget* root = own.delegate->settingsWindowController().window();
    auto* box = root->findChild<QCheckBox*>("autostartBox");
    ASSERT_FALSE(box->isChecked());
    box->setChecked(true);
    const QString path = config.filePath("autostart/wendlo.desktop");
    ASSERT_TRUE(QFile::exists(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("Exec=/opt/wendlo/bin/wendlo\n"));
    box->setChecked(false);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(SettingsWindow, ShowsTheModelInUseOrHowToGetIt)
{
    EXPECT_EQ(child<QLabel>("modelPath")->text(), "Not found");
    EXPECT_EQ(child<QLabel>("modelHint")->text(), "Bundled large-v3-turbo model not found");
    shell.modelPath = "/data/Whisper/ggml-large-v3-turbo.bin";
    window->render();
    EXPECT_EQ(child<QLabel>("modelPath")->text(), shell.modelPath);
    EXPECT_FALSE(child<QLabel>("modelHint")->isVisible());
}

TEST_F(SettingsWindow, ModelChoiceListsTheInstalledAndKeepsAMissingChoice)
{
    auto* box = child<QComboBox>("modelBox");
    // Nothing installed: the default is still the choice, marked missing.
    ASSERT_EQ(box->count(), 1);
    EXPECT_EQ(box->itemText(0), "large-v3-turbo (not found)");

    shell.modelPath = "/data/Whisper/ggml-large-v3-turbo.bin";
    shell.otherModels = {{"base", "/res/Whisper/ggml-base.bin"},
                         {"small", "/data/Whisper/ggml-small.bin"}};
    window->render();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentData().toString(), "large-v3-turbo");
    EXPECT_EQ(box->itemText(1), "base");

    int changes = 0;
    window->onModelChanged = [&changes] { ++changes; };
    box->setCurrentIndex(box->findData("small"));
    EXPECT_EQ(stored(AppSettings::modelKey()), "small");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(child<QLabel>("modelPath")->text(), "/data/Whisper/ggml-small.bin");
    EXPECT_FALSE(child<QLabel>("modelHint")->isVisible());

    shell.otherModels.remove("small");
    window->render();
    EXPECT_EQ(box->count(), 3);
    EXPECT_EQ(box->currentText(), "small (not found)");
    EXPECT_EQ(child<QLabel>("modelPath")->text(), "Not found");
    EXPECT_EQ(child<QLabel>("modelHint")->text(), "Bundled small model not found");
    EXPECT_EQ(stored(AppSettings::modelKey()), "small");
    EXPECT_EQ(changes, 1); // showing the window again chooses nothing
}

// The user picked another trigger in the desktop's shortcut dialog: the texts name what fires
// the key now, while the setting (and what Wendlo asks the desktop for) stays the hot key.
TEST_F(SettingsWindow, TheDesktopsOwnTriggerIsNamedWhereTheKeyIs)
{
    shell.delegate->onboarding().present(true);
    for (int step = 0; step < 3; ++step)
        shell.delegate->onboarding().advance();
    ASSERT_EQ(shell.delegate->onboarding().state().step, OnboardingStep::Practice);
    QWidget* onboarding = shell.delegate->onboardingWindowController().window();
    const auto subtitle = [&] { return onboarding->findChild<QLabel*>("subtitleLabel")->text(); };

    ASSERT_TRUE(shell.fakes.hotKey->chooseTrigger(HotKey::standard().combination(), "Ctrl+Alt+K"));
    EXPECT_EQ(subtitle(), "Click the field. Hold Ctrl+Alt+K. Speak. Release.");
    EXPECT_EQ(status(), "Hold Ctrl+Alt+K to dictate: the desktop's shortcut settings chose it. "
                        "Super + D stays the key Wendlo asks for.");
    EXPECT_EQ(child<QKeySequenceEdit>("hotKeyEdit")->findChild<QLineEdit*>()->text(), "Super + D");
    EXPECT_EQ(stored(AppSettings::hotKeyKey()), QString());

    // Refused later, the problem names what the user pressed.
    ASSERT_TRUE(shell.fakes.hotKey->refuseLater(HotKey::standard().combination(),
                                                "the desktop ended Wendlo's shortcut session"));
    EXPECT_TRUE(status().startsWith("Ctrl+Alt+K could not be registered: the desktop ended "
                                    "Wendlo's shortcut session."))
        << status().toStdString();

    // A new key is the desktop's to describe anew.
    EXPECT_EQ(window->chooseHotKey(QKeyCombination(Qt::Key_F9)), std::nullopt);
    EXPECT_EQ(status(), "Hold F9 to dictate.");
    EXPECT_EQ(subtitle(), "Click the field. Hold F9. Speak. Release.");
}

// --- A hot key that cannot be grabbed -------------------------------------------------------

TEST(HotKeyProblem, PracticeStepShowsItAndOffersTheSetting)
{
    ShellFixture shell;
    shell.make();
    shell.fakes.hotKey->refused << HotKey::standard().combination();
    shell.delegate->launch().applicationDidFinishLaunching();
    for (int i = 0; i < 3; ++i)
        shell.delegate->onboarding().advance();
    ASSERT_EQ(shell.delegate->onboarding().state().step, OnboardingStep::Practice);

    QWidget* onboarding = shell.delegate->onboardingWindowController().window();
    EXPECT_EQ(onboarding->findChild<QLabel*>("subtitleLabel")->text(),
              "Super + D cannot be used here. Choose another hot key first.");
    EXPECT_EQ(onboarding->findChild<QLabel*>("practiceInstructionLabel")->text(),
              "Super + D could not be registered: another program already uses it. Choose "
              "another hot key in Settings\u2026 (tray menu, or wendlo --settings).");
    auto* button = onboarding->findChild<QPushButton*>("hotKeySettingsButton");
    ASSERT_TRUE(button->isVisible());
    button->click();
    EXPECT_TRUE(shell.delegate->settingsWindowController().isVisible());

    // A key that works takes the problem away at once.
    EXPECT_EQ(shell.delegate->settingsWindowController().chooseHotKey(
                  QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space)),
              std::nullopt);
    EXPECT_FALSE(button->isVisible());
    EXPECT_EQ(onboarding->findChild<QLabel*>("subtitleLabel")->text(),
              "Click the field. Hold Ctrl + Alt + Space. Speak. Release.");
}

TEST(HotKeyProblem, LaunchRegistersTheStoredKey)
{
    ShellFixture shell;
    QSettings(shell.settingsPath(), QSettings::IniFormat)
        .setValue(AppSettings::hotKeyKey(), "Ctrl+Alt+Space");
    shell.storeVersion(1);
    shell.launch();
    EXPECT_EQ(shell.fakes.hotKey->registered,
              QList{QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space)});
}

} // namespace
