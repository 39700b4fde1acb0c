#include "platform/wayland/SwayFocus.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr quint32 getTree = 4;
constexpr std::size_t headerSize = sizeof magic + 8;

std::optional<SwayFocus::Window> windowOf(const QJsonObject& node)
{
    SwayFocus::Window window;
    window.pid = node.value(QStringLiteral("pid")).toInteger();
    const QString appId = node.value(QStringLiteral("app_id")).toString();
    if (!appId.isEmpty()) {
        window.names = appId.toUtf8();
        return window;
    }
    const QJsonObject x11 = node.value(QStringLiteral("window_properties")).toObject();
    for (const char* key : {"instance", "class"}) {
        window.names += x11.value(QLatin1String(key)).toString().toUtf8();
        window.names += '\0';
    }
    return window;
}

class Socket
{
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// Waits for `fd` to be ready for `events` within what is left of the deadline.
bool ready(int fd, short events, const QElapsedTimer& clock, int timeoutMs)
{
    for (;;) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, left);
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

bool readExactly(int fd, char* data, std::size_t size, const QElapsedTimer& clock, int timeoutMs)
{
    std::size_t done = 0;
    while (done < size) {
        if (!ready(fd, POLLIN, clock, timeoutMs))
            return false;
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

} // namespace

namespace SwayFocus {

std::optional<Window> focusedWindow(const QJsonObject& tree)
{
    if (tree.value(QStringLiteral("focused")).toBool() &&
        (tree.contains(QStringLiteral("app_id")) ||
         tree.contains(QStringLiteral("window_properties"))) &&
        tree.value(QStringLiteral("pid")).toInteger() > 0)
        return windowOf(tree);
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : tree.value(QLatin1String(key)).toArray()) {
            if (std::optional<Window> found = focusedWindow(child.toObject()))
                return found;
        }
    }
    return std::nullopt;
}

std::optional<Window> ask(const QString& socketPath, int timeoutMs)
{
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address{};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path)
        return std::nullopt;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0 ||
        ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return std::nullopt;

    QElapsedTimer clock;
    clock.start();
    char request[headerSize];
    std::memcpy(request, magic, sizeof magic);
    qToUnaligned<quint32>(0, request + sizeof magic);
    qToUnaligned<quint32>(getTree, request + sizeof magic + 4);
    if (::send(socket.fd(), request, sizeof request, MSG_NOSIGNAL) != qsizetype(sizeof request))
        return std::nullopt;

    char header[headerSize];
    if (!readExactly(socket.fd(), header, sizeof header, clock, timeoutMs) ||
        std::memcmp(header, magic, sizeof magic) != 0 ||
        qFromUnaligned<quint32>(header + sizeof magic + 4) != getTree)
        return std::nullopt;
    const quint32 length = qFromUnaligned<quint32>(header + sizeof magic);
    if (length > 64u * 1024 * 1024)
        return std::nullopt;
    QByteArray payload(qsizetype(length), Qt::Uninitialized);
    if (!readExactly(socket.fd(), payload.data(), length, clock, timeoutMs))
        return std::nullopt;
    return focusedWindow(QJsonDocument::fromJson(payload).object());
}

} // namespace SwayFocus
