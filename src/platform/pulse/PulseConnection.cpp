#include "platform/pulse/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace {

struct TimeoutFlag
{
    PulseConnection* connection;
    bool expired = false;
};

void onTimeout(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* data)
{
    auto* flag = static_cast<TimeoutFlag*>(data);
    flag->expired = true;
    flag->connection->signal();
}

void onContextState(pa_context*, void* data)
{
    static_cast<PulseConnection*>(data)->signal();
}

} // namespace

PulseConnection::PulseConnection() : m_mainloop(pa_threaded_mainloop_new()) {}

PulseConnection::~PulseConnection()
{
    if (!m_mainloop)
        return;
    if (m_context) {
        {
            Lock lock(*this);
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
        }
        pa_threaded_mainloop_stop(m_mainloop);
        pa_context_unref(m_context);
    } else {
        pa_threaded_mainloop_stop(m_mainloop);
    }
    pa_threaded_mainloop_free(m_mainloop);
}

Failure PulseConnection::connect(const QString& server, int timeoutMs)
{
    const QString cannotConnect = QStringLiteral("Could not connect to the sound server: %1");
    if (!m_mainloop)
        return QuorError{cannotConnect.arg(QStringLiteral("out of memory"))};
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Wendlo");
    if (!m_context || pa_threaded_mainloop_start(m_mainloop) < 0)
        return QuorError{cannotConnect.arg(QStringLiteral("out of memory"))};

    Lock lock(*this);
    pa_context_set_state_callback(m_context, onContextState, this);
    const QByteArray address = server.toLocal8Bit();
    if (pa_context_connect(m_context, address.isEmpty() ? nullptr : address.constData(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return QuorError{cannotConnect.arg(lastError())};

    const bool settled = waitFor(
        [this] {
            const pa_context_state_t state = pa_context_get_state(m_context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        },
        timeoutMs);
    if (!settled)
        return QuorError{cannotConnect.arg(QStringLiteral("no answer"))};
    if (pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return QuorError{cannotConnect.arg(lastError())};
    return std::nullopt;
}

bool PulseConnection::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    TimeoutFlag flag{this};
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(m_mainloop);
    pa_time_event* timer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC, onTimeout, &flag);
    if (!timer)
        return false;
    while (!done() && !flag.expired)
        pa_threaded_mainloop_wait(m_mainloop);
    api->time_free(timer);
    return done();
}

void PulseConnection::signal()
{
    pa_threaded_mainloop_signal(m_mainloop, 0);
}

QString PulseConnection::lastError() const
{
    return QString::fromUtf8(pa_strerror(m_context ? pa_context_errno(m_context) : PA_ERR_UNKNOWN));
}

PulseConnection::Lock::Lock(const PulseConnection& connection) : m_mainloop(connection.mainloop())
{
    pa_threaded_mainloop_lock(m_mainloop);
}

PulseConnection::Lock::~Lock()
{
    pa_threaded_mainloop_unlock(m_mainloop);
}
