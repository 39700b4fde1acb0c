#pragma once

#include <optional>
#include <string>
#include <string_view>

// `bin/wendlo`: a small program without Qt that hands the hot key's commands to the running
// instance itself and leaves everything else to the full app beside it (`wendlo-app`), which
// it becomes by exec, keeping the process id. A compositor binding starts it on every press
// and release; the full app's start-up (loading its libraries) would be most of the wait.
namespace CommandLineFront {

inline constexpr std::string_view appName = "wendlo-app";

// The command on the instance's socket that `argv` asks for, when the front can carry it out
// alone: exactly one argument, one of the four commands for a running instance.
std::optional<std::string_view> remoteCommand(int argc, const char* const* argv);

// The full app in the folder of the executable `front`.
std::string appBeside(std::string_view front);

// Carries out `argv` and returns the exit status, or execs the full app with the same `argv`
// (returning only when that failed, with the reason on stderr).
int run(int argc, char** argv);

} // namespace CommandLineFront
