#pragma once

#include <string>
#include <string_view>

// The client side of the single-instance socket in plain POSIX and the standard library, so
// that the small command-line front can use it without Qt: a compositor binding starts a
// process on every hot-key release, and every shared library it loads is part of the wait.
namespace InstanceSocketClient {

// The socket's name in the instance's private folder.
inline constexpr std::string_view socketName = "wendlo.socket";
// How long a launch waits for the running instance to answer.
inline constexpr int answerTimeoutMs = 3000;

// The protocol: one request line (the command's name), one answer line.
inline constexpr std::string_view answerOk = "ok\n";
// Why a command that went out was not taken.
inline constexpr std::string_view refusedReason = "it refused the command";
inline constexpr std::string_view noAnswerReason = "no answer from the running instance";

enum class Outcome
{
    Accepted,   // the instance answered that it took the command
    NotReached, // nothing listens (yet) or the socket would not take it: nothing was sent
    Failed,     // the command went out but was not taken; `error` says why
};

struct Reply
{
    Outcome outcome = Outcome::NotReached;
    std::string error;
};

// Sends `commandName` plus a newline and waits up to `answerTimeoutMs` for the answer.
Reply send(const std::string& socketPath, std::string_view commandName, int answerTimeoutMs);

} // namespace InstanceSocketClient
