#include "app/InstanceSocketClient.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace InstanceSocketClient {

namespace {

class Socket
{
public:
    Socket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

Reply failed(std::string_view error)
{
    return {Outcome::Failed, std::string(error)};
}

} // namespace

Reply send(const std::string& socketPath, std::string_view commandName, int answerTimeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());

    Socket socket;
    // Non-blocking: a full backlog (an instance that does not accept) must not hang us here.
    if (socket.fd() < 0 ||
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};

    const std::string request = std::string(commandName) + '\n';
    // The request is a few bytes into an empty socket buffer: one send takes it all or fails.
    if (::send(socket.fd(), request.data(), request.size(), MSG_NOSIGNAL) !=
        ssize_t(request.size()))
        return {};

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(answerTimeoutMs);
    std::string answer;
    while (answer.empty() || answer.back() != '\n') {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return failed(noAnswerReason);
        pollfd readable{socket.fd(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return failed(std::strerror(errno));
        if (ready == 0)
            continue;
        char buffer[64];
        const ssize_t got = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return failed(std::strerror(errno));
        if (got == 0)
            return failed(noAnswerReason);
        answer.append(buffer, size_t(got));
    }
    if (answer != answerOk)
        return failed(refusedReason);
    return {Outcome::Accepted, {}};
}

} // namespace InstanceSocketClient
