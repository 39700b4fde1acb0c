#include "app/InstanceCommandClient.h"

#include "app/SingleInstance.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace InstanceCommandClient {

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

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

Answer failed(const QString& error)
{
    return {Outcome::Failed, error};
}

} // namespace

Answer send(const QString& socketPath, InstanceCommand command, int answerTimeoutMs)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return {};
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));

    Socket socket;
    // Non-blocking: a full backlog (an instance that does not accept) must not hang us here.
    if (socket.fd() < 0 ||
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return {};

    const QByteArray request = SingleInstance::requestLine(command);
    // The request is a few bytes into an empty socket buffer: one send takes it all or fails.
    if (::send(socket.fd(), request.constData(), size_t(request.size()), MSG_NOSIGNAL) !=
        request.size())
        return {};

    QByteArray answer;
    QElapsedTimer waited;
    waited.start();
    while (!answer.endsWith('\n')) {
        const qint64 left = answerTimeoutMs - waited.elapsed();
        if (left <= 0)
            return failed(SingleInstance::noAnswerReason());
        pollfd readable{socket.fd(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return failed(systemError());
        if (ready == 0)
            continue;
        char buffer[64];
        const ssize_t got = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got < 0)
            return failed(systemError());
        if (got == 0)
            return failed(SingleInstance::noAnswerReason());
        answer.append(buffer, got);
    }
    if (answer != SingleInstance::answerOk())
        return failed(SingleInstance::refusedReason());
    return {Outcome::Accepted, {}};
}

} // namespace InstanceCommandClient
