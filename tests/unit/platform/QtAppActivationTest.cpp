#include <QElapsedTimer>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

// Quit ends the process even when something it would wait for at exit never finishes.
TEST(QtAppActivation, TerminateEndsTheProcessWhateverStillRuns)
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
