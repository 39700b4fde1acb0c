// Under sway, from the release of a held Super+D to the text in a native GTK 3 field: the
// compositor's release binding runs `wendlo --stop-dictation`, the running app stops the
// recording, a stand-in recogniser answers at once, and the text goes in through AT-SPI.
// Median over 20 dictations, beside baselines from the same run: one `wendlo --stop-dictation`
// process round trip to the idle app, the same through a minimal client, and the compositor
// running a trivial release binding. Run it inside the private Wayland desktop:
//   tests/integration/wayland-session build/bench/WaylandDictationBench [COMMAND-LINE...]
// Each COMMAND-LINE is a wendlo binary the bindings run instead of the app's own (e.g. an
// older build), measured in turns with it.
#include "Median.h"
#include "integration/FieldApp.h"
#include "integration/SessionApp.h"
#include "integration/SwaySession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <map>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kRounds = 20;
constexpr int kHoldMs = 400; // longer than a tap

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

pid_t spawn(const std::vector<std::string>& arguments, char** environment = environ)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environment) != 0)
        return -1;
    return pid;
}

// Wakes on every change in one folder, so a wait sees a file change the moment it happens
// without spinning on the machine's two cores.
class FolderEvents
{
public:
    explicit FolderEvents(const QString& folder)
    {
        m_fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                          IN_MOVED_TO | IN_CLOSE_WRITE | IN_CREATE);
    }
    ~FolderEvents() { ::close(m_fd); }

    // The moment `happened` held, or none after `ms`.
    std::optional<Clock::time_point> waitFor(const std::function<bool()>& happened, int ms)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < deadline) {
            if (happened())
                return Clock::now();
            pollfd ready{m_fd, POLLIN, 0};
            ::poll(&ready, 1, 50);
            char buffer[4096];
            while (::read(m_fd, buffer, sizeof buffer) > 0) {
            }
        }
        return std::nullopt;
    }

private:
    int m_fd = -1;
};

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString lastState(const SessionApp& app)
{
    const QStringList lines = app.lines().filter(QRegularExpression("^state="));
    return lines.isEmpty() ? QString() : lines.last();
}

// Holds Super+D in one virtual-keyboard process; returns when the release went out (wtype
// ends right after the compositor acknowledged it).
std::optional<Clock::time_point> holdSuperD()
{
    const pid_t pid = spawn({"wtype", "-M", "logo", "-P", "d", "-s", std::to_string(kHoldMs),
                             "-p", "d", "-m", "logo"});
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return Clock::now();
}

// One process from start to exit.
double runMs(const std::vector<std::string>& arguments, char** environment)
{
    const Clock::time_point start = Clock::now();
    const pid_t pid = spawn(arguments, environment);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return msSince(start);
}

// The socket exchange of `wendlo --stop-dictation` alone, from this process: the floor a
// command-line process could reach.
double bareSocketMs(const QString& socketPath)
{
    const Clock::time_point start = Clock::now();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(socketPath);
    std::copy(path.begin(), path.end(), address.sun_path);
    char answer[8] = {};
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                    ::write(fd, "stop-dictation\n", 15) == 15 && ::read(fd, answer, 3) == 3;
    ::close(fd);
    return ok && std::string(answer, 3) == "ok\n" ? msSince(start) : -1;
}

struct Environment
{
    std::vector<std::string> entries;
    std::vector<char*> pointers;

    // This process's environment with `extra` ("NAME=value") in place of the same names.
    explicit Environment(const QStringList& extra)
    {
        for (char** e = environ; *e; ++e) {
            const QString entry = QString::fromLocal8Bit(*e);
            const QString name = entry.section('=', 0, 0) + '=';
            if (extra.filter(QRegularExpression('^' + QRegularExpression::escape(name))).isEmpty())
                entries.emplace_back(*e);
        }
        for (const QString& entry : extra)
            entries.push_back(entry.toStdString());
        for (std::string& entry : entries)
            pointers.push_back(entry.data());
        pointers.push_back(nullptr);
    }
    char** get() { return pointers.data(); }
};

// A prefix with the app, a recogniser that answers at once, and a model file (only its
// presence is checked).
QString makePrefix(const QTemporaryDir& dir)
{
    const QString whisper = dir.filePath("share/wendlo/Whisper");
    QDir().mkpath(dir.filePath("bin"));
    QDir().mkpath(whisper);
    const QString app = dir.filePath("bin/wendlo");
    const QFileInfo built(QStringLiteral(WENDLO_EXECUTABLE));
    if (!QFile::copy(built.filePath(), app) ||
        !QFile::copy(built.dir().filePath("wendlo-app"), dir.filePath("bin/wendlo-app")))
        return {};
    QFile recogniser(whisper + "/whisper-cli");
    if (!recogniser.open(QIODevice::WriteOnly) ||
        recogniser.write("#!/bin/sh\necho hello there\n") < 0)
        return {};
    recogniser.close();
    recogniser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile model(whisper + "/ggml-large-v3-turbo.bin");
    if (!model.open(QIODevice::WriteOnly) || model.write("m") != 1)
        return {};
    return app;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "WaylandDictationBench: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (const std::optional<QString> missing = SwaySession::missing())
        return fail(*missing);
    qputenv("GDK_BACKEND", "wayland");

    QTemporaryDir prefix;
    const QString app = makePrefix(prefix);
    if (app.isEmpty())
        return fail(QStringLiteral("could not make the prefix"));
    QStringList commandLines{app};
    for (int i = 1; i < argc; ++i)
        commandLines << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();

    FieldApp field(FieldApp::Toolkit::Gtk, "line", "");
    if (!field.started() || !waitUntil([] { return !SwaySession::focusedAppId().isEmpty(); }))
        return fail(QStringLiteral("the GTK field did not start with the focus"));
    SessionApp wendlo(app);
    if (!wendlo.start())
        return fail(QStringLiteral("the app did not start:\n") + wendlo.diagnostics());
    if (!SwaySession::command("bindsym --no-repeat Mod4+d " + wendlo.exec("--start-dictation")))
        return fail(QStringLiteral("sway took no binding"));

    Environment appEnvironment(wendlo.environment());
    const QString socketPath =
        wendlo.environment().filter("XDG_RUNTIME_DIR=").first().section('=', 1) +
        "/QuorDictation/wendlo.socket";
    FolderEvents fieldEvents(QFileInfo(field.stateFilePath()).path());
    QTemporaryDir marks;
    FolderEvents markEvents(marks.path());

    std::map<QString, std::vector<double>> releaseToText;
    std::map<QString, std::vector<double>> commandRoundTrip;
    std::vector<double> bareSocket;
    std::vector<double> bareProcess;
    std::vector<double> trivialBinding;
    for (int round = 0; round < kRounds; ++round) {
        // Turns, so that a slow moment of the machine hits every variant alike.
        for (const QString& commandLine : commandLines) {
            if (!SwaySession::command("bindsym --release Mod4+d " +
                                      wendlo.exec("--stop-dictation", commandLine)))
                return fail(QStringLiteral("sway took no binding"));
            const QByteArray before = contents(field.stateFilePath());
            const std::optional<Clock::time_point> released = holdSuperD();
            if (!released)
                return fail(QStringLiteral("wtype failed"));
            const std::optional<Clock::time_point> typed = fieldEvents.waitFor(
                [&] { return contents(field.stateFilePath()) != before; }, 10000);
            if (!typed)
                return fail(QStringLiteral("no text arrived:\n") + wendlo.diagnostics());
            releaseToText[commandLine].push_back(
                std::chrono::duration<double, std::milli>(*typed - *released).count());
            if (!waitUntil([&] { return lastState(wendlo) == QStringLiteral("state=Idle"); }, 5000))
                return fail(QStringLiteral("the app did not come back to idle"));

            commandRoundTrip[commandLine].push_back(runMs(
                {commandLine.toStdString(), "--stop-dictation"}, appEnvironment.get()));
        }
        bareSocket.push_back(bareSocketMs(socketPath));
        bareProcess.push_back(runMs({"true"}, appEnvironment.get()));

        // The compositor's own part: a release binding that only touches a file.
        const QString mark = marks.filePath(QString::number(round));
        if (!SwaySession::command("bindsym --release Mod4+d exec touch " + mark))
            return fail(QStringLiteral("sway took no binding"));
        const std::optional<Clock::time_point> released = holdSuperD();
        const std::optional<Clock::time_point> seen =
            released ? markEvents.waitFor([&] { return QFile::exists(mark); }, 5000)
                     : std::nullopt;
        if (!seen)
            return fail(QStringLiteral("the trivial binding did not run"));
        trivialBinding.push_back(std::chrono::duration<double, std::milli>(*seen - *released).count());
    }

    std::printf("Under headless sway, median of %d (ms); goal: release to text <= 30\n", kRounds);
    for (const QString& commandLine : commandLines) {
        const QString name = commandLine == app ? QStringLiteral("this build") : commandLine;
        std::printf("  release -> text in the GTK field, command line %-20s %7.2f\n",
                    qPrintable(name), median(releaseToText[commandLine], -1));
        std::printf("  baseline: one `wendlo --stop-dictation` process, %-20s %7.2f\n",
                    qPrintable(name), median(commandRoundTrip[commandLine], -1));
    }
    std::printf("  baseline: the same socket exchange from a running process     %7.2f\n",
                median(bareSocket, -1));
    std::printf("  baseline: one `true` process                                   %7.2f\n",
                median(bareProcess, -1));
    std::printf("  baseline: release -> a binding's `touch` has run              %7.2f\n",
                median(trivialBinding, -1));
    return 0;
}
