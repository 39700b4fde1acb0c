#include "platform/qt/QtDesktopPresence.h"

#include "support/Wait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProcess>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

const Alert microphoneAlert{QStringLiteral("Microphone Permission Needed"),
                            QStringLiteral("Enable Microphone for Wendlo so it can record your "
                                           "speech."),
                            {QStringLiteral("Open Settings"), QStringLiteral("Cancel")}};

QMessageBox* openAlert()
{
    return qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
}

// Each way an alert ends, and what its answer is.
struct AnswerCase
{
    const char* name;
    std::function<void(QMessageBox*)> end;
    std::optional<int> answer;
};

class QtDesktopPresenceAnswer : public ::testing::TestWithParam<AnswerCase>
{
};

TEST_P(QtDesktopPresenceAnswer, ComesAfterOpenReturnedWithTheButtonsIndex)
{
    QtDesktopPresence presence;
    int answers = 0;
    std::optional<int> answer;
    presence.open(microphoneAlert, [&](std::optional<int> button) {
        ++answers;
        answer = button;
    });
    QMessageBox* box = openAlert();
    ASSERT_NE(box, nullptr) << "the alert is not shown as a modal window";
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    EXPECT_EQ(box->text(), microphoneAlert.messageText);
    EXPECT_EQ(box->informativeText(), microphoneAlert.informativeText);
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(answers, 0);

    GetParam().end(box);
    ASSERT_TRUE(waitUntil([&] { return answers > 0; }));
    spinFor(20);
    EXPECT_EQ(answers, 1);
    EXPECT_EQ(answer, GetParam().answer);
    EXPECT_TRUE(waitUntil([] { return openAlert() == nullptr; }));
}

QAbstractButton* buttonTitled(QMessageBox* box, const QString& title)
{
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return button;
    }
    return nullptr;
}

INSTANTIATE_TEST_SUITE_P(
    Endings, QtDesktopPresenceAnswer,
    ::testing::Values(
        AnswerCase{"openSettings",
                   [](QMessageBox* box) { buttonTitled(box, "Open Settings")->click(); }, 0},
        AnswerCase{"cancel", [](QMessageBox* box) { buttonTitled(box, "Cancel")->click(); }, 1},
        AnswerCase{"escapeIsCancel",
                   [](QMessageBox* box) {
                       QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                       QApplication::sendEvent(box, &escape);
                   },
                   1},
        AnswerCase{"closedWithoutAButton", [](QMessageBox* box) { box->done(-1); }, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QtDesktopPresence, GoingAwayClosesItsAlertsUnanswered)
{
    auto presence = std::make_unique<QtDesktopPresence>();
    int answers = 0;
    presence->open(microphoneAlert, [&](std::optional<int>) { ++answers; });
    presence->open(microphoneAlert, [&](std::optional<int>) { ++answers; });
    ASSERT_NE(openAlert(), nullptr);
    presence.reset();
    spinFor(50);
    EXPECT_EQ(openAlert(), nullptr);
    EXPECT_EQ(answers, 0);
}

// Quit ends the process even when something it would wait for at exit never finishes.
TEST(QtDesktopPresence, TerminateEndsTheProcessWhateverStillRuns)
{
    QProcess app;
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    app.start(QStringLiteral(QUIT_WITH_STUCK_WORKER), {});
    ASSERT_TRUE(app.waitForFinished(10000));
    RecordProperty("exit_ms", int(clock.elapsed()));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
}

} // namespace
