#pragma once

#include "common/QuorError.h"

#include <QString>
#include <functional>

struct pa_context;
struct pa_threaded_mainloop;

// A client connection to the sound server, served by a mainloop thread of its own so that
// callbacks (capture data included) never wait for the main thread. Calls into libpulse are
// made with the lock held. Connecting never blocks the caller: the answer arrives through the
// state callback, on the connection's thread.
class PulseConnection
{
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // Starts connecting and returns at once. `server` empty means the session's own
    // (PULSE_SERVER, or the per-user socket); never starts a server of its own.
    // `onStateChange` runs on the connection's thread, lock held, at every change of the
    // context's state. Fails only when nothing could be started.
    Failure beginConnect(const QString& server, std::function<void()> onStateChange);

    // Lock held: the connection is up / has ended for good.
    bool isReady() const;
    bool hasFailed() const;

    pa_context* context() const { return m_context; }
    pa_threaded_mainloop* mainloop() const { return m_mainloop; }

    // Holds the mainloop lock for its lifetime.
    class Lock
    {
    public:
        explicit Lock(const PulseConnection& connection);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        pa_threaded_mainloop* m_mainloop;
    };

    // The server's reason for the last failure on this connection.
    QString lastError() const;

private:
    static void onContextState(pa_context* context, void* data);

    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    std::function<void()> m_onStateChange;
};
