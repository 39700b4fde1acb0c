#include "platform/pulse/PulseConnection.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/thread-mainloop.h>

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

Failure PulseConnection::beginConnect(const QString& server, std::function<void()> onStateChange)
{
    const QString cannotConnect = QStringLiteral("Could not connect to the sound server: %1");
    if (!m_mainloop || m_context)
        return QuorError{cannotConnect.arg(QStringLiteral("out of memory"))};
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_mainloop), "Wendlo");
    if (!m_context || pa_threaded_mainloop_start(m_mainloop) < 0)
        return QuorError{cannotConnect.arg(QStringLiteral("out of memory"))};

    Lock lock(*this);
    m_onStateChange = std::move(onStateChange);
    pa_context_set_state_callback(m_context, onContextState, this);
    const QByteArray address = server.toLocal8Bit();
    if (pa_context_connect(m_context, address.isEmpty() ? nullptr : address.constData(),
                           PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        return QuorError{cannotConnect.arg(lastError())};
    }
    return std::nullopt;
}

void PulseConnection::onContextState(pa_context*, void* data)
{
    auto* connection = static_cast<PulseConnection*>(data);
    if (connection->m_onStateChange)
        connection->m_onStateChange();
}

bool PulseConnection::isReady() const
{
    return m_context && pa_context_get_state(m_context) == PA_CONTEXT_READY;
}

bool PulseConnection::hasFailed() const
{
    return !m_context || !PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context));
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
