#include "app/CommandLineFront.h"

#include "app/InstanceSocketClient.h"
#include "common/PrivateTempPath.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace CommandLineFront {

namespace {

constexpr int exitFailure = 1;

void printError(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

std::string ownExecutable()
{
    std::array<char, PATH_MAX> path{};
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || size_t(length) >= path.size())
        return {};
    return std::string(path.data(), size_t(length));
}

int execApp(char** argv)
{
    const std::string front = ownExecutable();
    if (front.empty()) {
        printError(std::string("wendlo: cannot find its own executable: ") + std::strerror(errno) +
                   '\n');
        return exitFailure;
    }
    const std::string app = appBeside(front);
    ::execv(app.c_str(), argv);
    printError("wendlo: cannot start " + app + ": " + std::strerror(errno) + '\n');
    return exitFailure;
}

} // namespace

std::optional<std::string_view> remoteCommand(int argc, const char* const* argv)
{
    if (argc != 2 || argv[1] == nullptr)
        return std::nullopt;
    const std::string_view argument = argv[1];
    for (const std::string_view command :
         {"start-dictation", "stop-dictation", "toggle-dictation", "quit"}) {
        if (argument.size() == command.size() + 2 && argument.starts_with("--") &&
            argument.substr(2) == command)
            return command;
    }
    return std::nullopt;
}

std::string appBeside(std::string_view front)
{
    const size_t slash = front.rfind('/');
    const std::string_view folder =
        slash == std::string_view::npos ? std::string_view(".") : front.substr(0, slash);
    return std::string(folder) + '/' + std::string(appName);
}

int run(int argc, char** argv)
{
    if (const std::optional<std::string_view> command = remoteCommand(argc, argv)) {
        const std::string socket =
            PrivateTempPath::folderPath(PrivateTempPath::appFolderName) + '/' +
            std::string(InstanceSocketClient::socketName);
        const InstanceSocketClient::Reply reply = InstanceSocketClient::send(
            socket, *command, InstanceSocketClient::answerTimeoutMs);
        switch (reply.outcome) {
        case InstanceSocketClient::Outcome::Accepted:
            return 0;
        case InstanceSocketClient::Outcome::Failed:
            // The instance has the command: handing it on would send it a second time (a
            // toggle would undo itself). The text is the full app's own.
            printError("Wendlo did not take the command: " + reply.error + '\n');
            return exitFailure;
        case InstanceSocketClient::Outcome::NotReached:
            // Perhaps still starting, or not running: the full app waits and tells which.
            break;
        }
    }
    return execApp(argv);
}

} // namespace CommandLineFront
