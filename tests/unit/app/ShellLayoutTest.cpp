// Every window and alert of the shell laid out with its real texts: nothing cut, clipped or
// overlapping, at the desktop's default font and with the font enlarged by a quarter. The
// same executable runs again at 120 dpi (a 1.25 device pixel ratio), the way a desktop's
// text scale reaches Qt on X11.
//
// SHELL_LAYOUT_SNAPSHOT_DIR keeps a PNG of each case for a person to look at.

#include "app/AppSettings.h"
#include "app/QtUpdateNotifier.h"
#include "app/SettingsWindowController.h"
#include "dictation/DictationCoordinator.h"
#include "fakes/FakeDictationBackends.h"
#include "onboarding/OnboardingPractice.h"
#include "onboarding/OnboardingWindowController.h"
#include "permissions/PermissionsWindowController.h"
#include "platform/qt/QtDesktopPresence.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>
#include <optional>

namespace {

using Mic = MicrophonePermissionState;

// Runs pending layout requests until the tree is settled (each round reaches one more level).
void settleLayout()
{
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
    }
}

QString nameOf(const QWidget* widget)
{
    if (!widget->objectName().isEmpty())
        return widget->objectName();
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return '"' + label->text().left(40) + '"';
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
        return '"' + button->text() + '"';
    return QString::fromLatin1(widget->metaObject()->className());
}

QRect rectIn(const QWidget* window, const QWidget* widget)
{
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

// What a person would see as broken: a text cut short (a wrapped label lower than its lines
// need, a one-line label or a button narrower or lower than its text), a control reaching
// outside a parent that clips it, or two controls on top of each other.
QStringList layoutProblems(const QWidget* window)
{
    QList<const QWidget*> controls;
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window))
            continue;
        if (qobject_cast<const QLabel*>(widget) || qobject_cast<const QAbstractButton*>(widget) ||
            qobject_cast<const QPlainTextEdit*>(widget))
            controls << widget;
    }

    QStringList problems;
    for (const QWidget* control : controls) {
        const QString name = nameOf(control);
        if (const auto* label = qobject_cast<const QLabel*>(control)) {
            if (label->text().isEmpty() && label->pixmap().isNull())
                continue;
            if (label->wordWrap()) {
                const int needed = label->heightForWidth(label->width());
                if (label->height() < needed) {
                    problems << QStringLiteral("%1: %2 px high, its text needs %3 at width %4")
                                    .arg(name)
                                    .arg(label->height())
                                    .arg(needed)
                                    .arg(label->width());
                }
            } else {
                const QSize needed = label->sizeHint();
                if (label->width() < needed.width() || label->height() < needed.height()) {
                    problems << QStringLiteral("%1: %2×%3, its text needs %4×%5")
                                    .arg(name)
                                    .arg(label->width())
                                    .arg(label->height())
                                    .arg(needed.width())
                                    .arg(needed.height());
                }
            }
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
            const QSize needed = button->sizeHint();
            if (button->width() < needed.width() || button->height() < needed.height()) {
                problems << QStringLiteral("%1: %2×%3, its title needs %4×%5")
                                .arg(name)
                                .arg(button->width())
                                .arg(button->height())
                                .arg(needed.width())
                                .arg(needed.height());
            }
        }
        const QRect own = rectIn(window, control);
        for (const QWidget* parent = control->parentWidget(); parent;
             parent = parent->parentWidget()) {
            const QRect area = parent == window ? window->rect() : rectIn(window, parent);
            if (!area.contains(own)) {
                problems << QStringLiteral("%1 reaches outside %2").arg(name, nameOf(parent));
                break;
            }
            if (parent == window)
                break;
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i) {
        for (qsizetype j = i + 1; j < controls.size(); ++j) {
            const QWidget* a = controls[i];
            const QWidget* b = controls[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            if (rectIn(window, a).intersects(rectIn(window, b)))
                problems << QStringLiteral("%1 overlaps %2").arg(nameOf(a), nameOf(b));
        }
    }
    return problems;
}

QString snapshotDirectory()
{
    static QTemporaryDir scratch;
    const QString directory = qEnvironmentVariable("SHELL_LAYOUT_SNAPSHOT_DIR", scratch.path());
    QDir().mkpath(directory);
    return directory;
}

// The application font enlarged by `scale` for the life of the object.
class ScaledApplicationFont
{
public:
    explicit ScaledApplicationFont(double scale) : m_saved(QApplication::font())
    {
        QFont font = m_saved;
        if (font.pointSizeF() > 0)
            font.setPointSizeF(font.pointSizeF() * scale);
        else
            font.setPixelSize(qRound(font.pixelSize() * scale));
        QApplication::setFont(font);
    }
    ~ScaledApplicationFont() { QApplication::setFont(m_saved); }

private:
    QFont m_saved;
};

// "font1.25-dpr1" and the like: what a picture was taken under.
QString conditionName(double fontScale, const QWidget* window)
{
    return QStringLiteral("font%1-dpr%2").arg(fontScale).arg(window->devicePixelRatioF());
}

void keepPicture(QWidget* window, const QString& name)
{
    const QString path = QDir(snapshotDirectory()).filePath(name + ".png");
    EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
}

std::string joined(const QStringList& problems)
{
    return problems.join(QStringLiteral("\n  ")).toStdString();
}

struct PermissionsCase
{
    const char* name;
    Mic microphone;
    bool accessibility;
};

class PermissionsLayout : public ::testing::TestWithParam<std::tuple<PermissionsCase, double>>
{
};

TEST_P(PermissionsLayout, ShowsEveryTextWhole)
{
    const auto& [c, fontScale] = GetParam();
    ScaledApplicationFont font(fontScale);
    PermissionsWindowController controller;
    controller.showWindow();
    controller.render(c.microphone, c.accessibility);
    settleLayout();
    QWidget* window = controller.window();

    EXPECT_EQ(window->width(), 480);
    EXPECT_GE(window->height(), 290);
    EXPECT_EQ(layoutProblems(window), QStringList()) << "  " << joined(layoutProblems(window));
    keepPicture(window, QStringLiteral("permissions-%1-%2")
                            .arg(QLatin1String(c.name), conditionName(fontScale, window)));
}

INSTANTIATE_TEST_SUITE_P(
    States, PermissionsLayout,
    ::testing::Combine(
        ::testing::Values(PermissionsCase{"grantedTrusted", Mic::Granted, true},
                          PermissionsCase{"grantedUntrusted", Mic::Granted, false},
                          PermissionsCase{"deniedTrusted", Mic::Denied, true},
                          PermissionsCase{"deniedUntrusted", Mic::Denied, false},
                          PermissionsCase{"undeterminedTrusted", Mic::Undetermined, true},
                          PermissionsCase{"undeterminedUntrusted", Mic::Undetermined, false}),
        ::testing::Values(1.0, 1.25)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) > 1 ? "_largerFont" : "_defaultFont");
    });

// The design's size stays where the texts fit, and the window shrinks back to it.
TEST(PermissionsLayoutSize, KeepsItsSizeWhereTheContentFits)
{
    PermissionsWindowController controller;
    controller.showWindow();
    controller.render(Mic::Denied, false);
    settleLayout();
    controller.render(Mic::Granted, true);
    settleLayout();
    EXPECT_EQ(controller.window()->size(), QSize(480, 290));
}

struct OnboardingCase
{
    const char* name;
    OnboardingState state;
};

OnboardingCase onboardingCase(const char* name, OnboardingStep step, Mic microphone,
                              bool accessibility, bool matched = false)
{
    return {name,
            {step, microphone, accessibility,
             matched ? OnboardingPractice::expectedSentence() : QString()}};
}

class OnboardingLayout : public ::testing::TestWithParam<std::tuple<OnboardingCase, double>>
{
};

TEST_P(OnboardingLayout, ShowsEveryTextWhole)
{
    const auto& [c, fontScale] = GetParam();
    ScaledApplicationFont font(fontScale);
    OnboardingWindowController controller([] { return 42.0; });
    controller.showWindow();
    controller.render(c.state);
    settleLayout();
    QWidget* window = controller.window();

    EXPECT_EQ(window->size(), QSize(860, 700));
    EXPECT_EQ(layoutProblems(window), QStringList()) << "  " << joined(layoutProblems(window));
    const QString path =
        QDir(snapshotDirectory())
            .filePath(QStringLiteral("onboarding-%1-%2.png")
                          .arg(QLatin1String(c.name), conditionName(fontScale, window)));
    EXPECT_EQ(controller.captureSnapshot(path), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OnboardingLayout,
    ::testing::Combine(
        ::testing::Values(
            onboardingCase("welcome", OnboardingStep::Welcome, Mic::Undetermined, false),
            onboardingCase("microphoneUndetermined", OnboardingStep::Microphone, Mic::Undetermined,
                           false),
            onboardingCase("microphoneDenied", OnboardingStep::Microphone, Mic::Denied, false),
            onboardingCase("microphoneGranted", OnboardingStep::Microphone, Mic::Granted, false),
            onboardingCase("accessibilityMissing", OnboardingStep::Accessibility, Mic::Granted,
                           false),
            onboardingCase("accessibilityGranted", OnboardingStep::Accessibility, Mic::Granted,
                           true),
            onboardingCase("practiceEmpty", OnboardingStep::Practice, Mic::Granted, true),
            onboardingCase("practiceMatched", OnboardingStep::Practice, Mic::Granted, true, true),
            onboardingCase("ready", OnboardingStep::Ready, Mic::Granted, true, true)),
        ::testing::Values(1.0, 1.25)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) > 1 ? "_largerFont" : "_defaultFont");
    });

// A hot key that cannot be grabbed: the practice step shows the whole problem and its button.
class OnboardingHotKeyLayout : public ::testing::TestWithParam<double>
{
};

// The practice step at the window's fixed size with nothing clipped or overlapping; its picture
// is kept as `picture`-<condition>.
void expectPracticeStepWhole(OnboardingWindowController& controller, double fontScale,
                             const QString& picture)
{
    controller.showWindow();
    controller.render({OnboardingStep::Practice, Mic::Granted, true, QString()});
    settleLayout();
    QWidget* window = controller.window();
    EXPECT_EQ(window->size(), QSize(860, 700));
    EXPECT_EQ(layoutProblems(window), QStringList()) << "  " << joined(layoutProblems(window));
    keepPicture(window, picture + u'-' + conditionName(fontScale, window));
}

TEST_P(OnboardingHotKeyLayout, PracticeStepShowsTheProblemWhole)
{
    const double fontScale = GetParam();
    ScaledApplicationFont font(fontScale);
    OnboardingWindowController controller([] { return 42.0; });
    controller.setHotKey(QStringLiteral("Ctrl + Alt + Shift + Super + Keypad Enter"),
                         QStringLiteral("Ctrl + Alt + Shift + Super + Keypad Enter could not be "
                                        "registered: another program already uses it. Choose "
                                        "another hot key in Settings\u2026 (tray menu, or wendlo "
                                        "--settings)."));
    expectPracticeStepWhole(controller, fontScale,
                            QStringLiteral("onboarding-practiceHotKeyProblem"));
}

// The compositor's binding lines in the practice step, whole, to be copied.
TEST_P(OnboardingHotKeyLayout, PracticeStepShowsTheBindingLinesWhole)
{
    const double fontScale = GetParam();
    ScaledApplicationFont font(fontScale);
    OnboardingWindowController controller([] { return 42.0; });
    controller.setHotKey(
        QStringLiteral("Ctrl + Alt + Shift + Super + Keypad Enter"), std::nullopt,
        QStringLiteral("Bind Ctrl + Alt + Shift + Super + Keypad Enter in sway: add these lines "
                       "to ~/.config/sway/config, then run swaymsg reload:\n"
                       "bindsym --no-repeat Ctrl+Mod1+Shift+Mod4+KP_Enter exec wendlo "
                       "--start-dictation\n"
                       "bindsym --release Ctrl+Mod1+Shift+Mod4+KP_Enter exec wendlo "
                       "--stop-dictation"));
    expectPracticeStepWhole(controller, fontScale,
                            QStringLiteral("onboarding-practiceHotKeyBinding"));
}

INSTANTIATE_TEST_SUITE_P(FontScales, OnboardingHotKeyLayout, ::testing::Values(1.0, 1.25),
                         [](const auto& info) {
                             return std::string(info.param > 1 ? "largerFont" : "defaultFont");
                         });

struct SettingsCase
{
    const char* name;
    bool conflict;     // a refused key shown in place
    bool modelMissing; // the recogniser's long "where it goes" message
};

class SettingsLayout : public ::testing::TestWithParam<std::tuple<SettingsCase, double>>
{
};

TEST_P(SettingsLayout, ShowsEveryTextWhole)
{
    const auto& [c, fontScale] = GetParam();
    ScaledApplicationFont font(fontScale);
    QTemporaryDir dir;
    AppSettings settings(std::make_unique<QSettings>(dir.filePath("s.ini"), QSettings::IniFormat),
                         {});
    FakeDictationBackends fakes;
    DictationCoordinator dictation(fakes.make());
    fakes.hotKey->refused << QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_T);
    dictation.start();
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));
    const bool missing = c.modelMissing;
    SettingsWindowController controller(
        settings, dictation, AutostartEntry(environment, QStringLiteral("/usr/bin/wendlo")),
        ModelFiles{
            [missing] {
                return missing
                           ? QStringList{QStringLiteral("small")}
                           : QStringList{QStringLiteral("large-v3-turbo"), QStringLiteral("small")};
            },
            [missing](const QString&) -> Result<QString> {
                if (missing)
                    return QuorError{QStringLiteral(
                        "Bundled large-v3-turbo model not found. Put ggml-large-v3-turbo.bin into "
                        "/home/someone/.local/share/wendlo/Whisper/ (run wendlo-fetch-model to "
                        "download it there).")};
                return QStringLiteral("/usr/share/wendlo/Whisper/ggml-large-v3-turbo.bin");
            }});
    controller.showWindow();
    controller.setStartAtLogin(true);
    if (c.conflict)
        controller.chooseHotKey(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_T));
    settleLayout();
    QWidget* window = controller.window();
    EXPECT_EQ(layoutProblems(window), QStringList()) << "  " << joined(layoutProblems(window));
    keepPicture(window, QStringLiteral("settings-%1-%2")
                            .arg(QLatin1String(c.name), conditionName(fontScale, window)));
}

INSTANTIATE_TEST_SUITE_P(
    States, SettingsLayout,
    ::testing::Combine(::testing::Values(SettingsCase{"ready", false, false},
                                         SettingsCase{"conflictAndNoModel", true, true}),
                       ::testing::Values(1.0, 1.25)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) > 1 ? "_largerFont" : "_defaultFont");
    });

class AlertLayout : public ::testing::TestWithParam<double>
{
};

// The visible message box, laid out; its picture is kept under `name`.
QStringList checkMessageBox(QMessageBox* box, const QString& name, double fontScale)
{
    settleLayout();
    keepPicture(box, QStringLiteral("alert-%1-%2").arg(name, conditionName(fontScale, box)));
    return layoutProblems(box);
}

TEST_P(AlertLayout, MicrophoneAlertShowsEveryTextWhole)
{
    ScaledApplicationFont font(GetParam());
    QtDesktopPresence presence;
    std::optional<std::optional<int>> answer;
    presence.open(Alert{QStringLiteral("Microphone Permission Needed"),
                        QStringLiteral("Enable Microphone for Wendlo so it can record your speech."),
                        {QStringLiteral("Open Settings"), QStringLiteral("Cancel")}},
                  [&](std::optional<int> button) { answer = button; });
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    const QStringList problems = checkMessageBox(box, QStringLiteral("microphone"), GetParam());
    box->buttons().constFirst()->click();
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(problems, QStringList()) << "  " << joined(problems);
}

TEST_P(AlertLayout, UpdateMessagesShowEveryTextWhole)
{
    ScaledApplicationFont font(GetParam());
    QtUpdateNotifier notifier;
    const auto shownBox = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
                return box;
        }
        return static_cast<QMessageBox*>(nullptr);
    };
    const std::vector<std::pair<QString, std::function<void()>>> messages{
        {QStringLiteral("upToDate"), [&] { notifier.showUpToDate(QStringLiteral("1.4.0")); }},
        {QStringLiteral("updateAvailable"),
         [&] {
             notifier.showUpdateAvailable(QStringLiteral("1.5.0"), QStringLiteral("1.4.0"),
                                          QUrl(QStringLiteral("https://example.org/wendlo")));
         }},
        {QStringLiteral("checkFailed"), [&] {
             notifier.showCheckFailed(QStringLiteral(
                 "The update server could not be reached: Connection refused by the host "
                 "updates.example.org"));
         }}};
    for (const auto& [name, show] : messages) {
        show();
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr) << name.toStdString();
        const QStringList problems = checkMessageBox(box, name, GetParam());
        EXPECT_EQ(problems, QStringList()) << name.toStdString() << "\n  " << joined(problems);
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, AlertLayout, ::testing::Values(1.0, 1.25), [](const auto& info) {
    return std::string(info.param > 1 ? "largerFont" : "defaultFont");
});

} // namespace
