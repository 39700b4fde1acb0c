#pragma once

#include "dictation/QuorError.h"

#include <QString>
#include <functional>

struct pa_context;
struct pa_threaded_mainloop;

// A client connection to the sound server, served by a mainloop thread of its own so that
// callbacks (capture data included) never wait for the main thread. Calls into libpulse are
// made with the lock held; `waitFor` blocks only with a bound.
class PulseConnection
{
public:
    PulseConnection();
    ~PulseConnection();
    PulseConnection(const PulseConnection&) = delete;
    PulseConnection& operator=(const PulseConnection&) = delete;

    // `server` empty means the session's own (PULSE_SERVER, or the per-user socket). Never
    // starts a server of its own.
    Failure connect(const QString& server, int timeoutMs);

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

    // With the lock held: waits until `done` holds or `timeoutMs` passes; returns whether it
    // held. Callbacks wake it through `signal()`.
    bool waitFor(const std::function<bool()>& done, int timeoutMs);
    // From a callback (lock held): wakes `waitFor`.
    void signal();

    // The server's reason for the last failure on this connection.
    QString lastError() const;

private:
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
};
