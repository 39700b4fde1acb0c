#include "platform/pulse/PulseRecordPermission.h"

#include <atomic>
#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/operation.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <vector>

namespace {

// A server that takes longer than this to accept us counts as not there for now.
constexpr pa_usec_t connectTimeout = 3 * PA_USEC_PER_SEC;
// How soon a vanished or unreachable server is looked for again.
constexpr pa_usec_t retryDelay = 2 * PA_USEC_PER_SEC;
// How long a prompt made before the first answer waits for it.
constexpr pa_usec_t promptTimeout = 3 * PA_USEC_PER_SEC;

} // namespace

// Everything here runs on the mainloop's thread with its lock held, except where a function
// takes the lock itself.
class PulseRecordPermission::Monitor
{
public:
    explicit Monitor(QString server) : m_server(server.toLocal8Bit()) {}

    ~Monitor()
    {
        if (!m_loop)
            return;
        pa_threaded_mainloop_stop(m_loop);
        // The thread is gone: nothing below can race a callback.
        dropContext();
        freeTimer(m_retryTimer);
        freeTimer(m_connectTimer);
        freeTimer(m_promptTimer);
        freeTimer(m_firstAnswerTimer);
        pa_threaded_mainloop_free(m_loop);
    }

    void start(int firstAnswerMs)
    {
        m_loop = pa_threaded_mainloop_new();
        if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
            m_state.store(MicrophonePermissionState::Denied);
            return;
        }
        pa_threaded_mainloop_lock(m_loop);
        connect();
        if (firstAnswerMs > 0) {
            arm(m_firstAnswerTimer, pa_usec_t(firstAnswerMs) * PA_USEC_PER_MSEC,
                onFirstAnswerTimeout);
            while (!m_answered && !m_firstAnswerExpired)
                pa_threaded_mainloop_wait(m_loop);
            freeTimer(m_firstAnswerTimer);
        }
        pa_threaded_mainloop_unlock(m_loop);
    }

    MicrophonePermissionState state() const { return m_state.load(); }

    void requestAccess(std::function<void(bool)> completion)
    {
        if (!m_loop) {
            completion(false);
            return;
        }
        pa_threaded_mainloop_lock(m_loop);
        if (m_answered) {
            const bool granted = m_state.load() == MicrophonePermissionState::Granted;
            pa_threaded_mainloop_unlock(m_loop);
            completion(granted);
            return;
        }
        m_waiters.push_back(std::move(completion));
        if (!m_promptTimer)
            arm(m_promptTimer, promptTimeout, onPromptTimeout);
        pa_threaded_mainloop_unlock(m_loop);
    }

private:
    pa_mainloop_api* api() const { return pa_threaded_mainloop_get_api(m_loop); }

    void arm(pa_time_event*& slot, pa_usec_t delay, pa_time_event_cb_t callback)
    {
        timeval when{};
        pa_timeval_add(pa_gettimeofday(&when), delay);
        if (slot)
            api()->time_restart(slot, &when);
        else
            slot = api()->time_new(api(), &when, callback, this);
    }

    void freeTimer(pa_time_event*& slot)
    {
        if (slot)
            api()->time_free(slot);
        slot = nullptr;
    }

    void connect()
    {
        m_context = pa_context_new(api(), "Wendlo");
        if (!m_context) {
            lost(true);
            return;
        }
        pa_context_set_state_callback(m_context, onContextState, this);
        if (pa_context_connect(m_context, m_server.isEmpty() ? nullptr : m_server.constData(),
                               PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
            lost(true);
            return;
        }
        arm(m_connectTimer, connectTimeout, onConnectTimeout);
    }

    void dropContext()
    {
        if (!m_context)
            return;
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
        m_queryRunning = false;
        m_queryAgain = false;
    }

    // The connection is gone or never came. `known`: the server refused or vanished, so the
    // microphone is not available; otherwise it only did not answer, and the last known
    // state stands.
    void lost(bool known)
    {
        dropContext();
        freeTimer(m_connectTimer);
        if (known)
            publish(MicrophonePermissionState::Denied);
        arm(m_retryTimer, retryDelay, onRetry);
    }

    static void onContextState(pa_context* context, void* data)
    {
        auto* self = static_cast<Monitor*>(data);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            self->freeTimer(self->m_connectTimer);
            pa_context_set_subscribe_callback(context, onEvent, self);
            if (pa_operation* op =
                    pa_context_subscribe(context,
                                         pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER |
                                                                PA_SUBSCRIPTION_MASK_SOURCE),
                                         nullptr, nullptr))
                pa_operation_unref(op);
            self->query();
        } else if (!PA_CONTEXT_IS_GOOD(state)) {
            self->lost(true);
        }
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* data)
    {
        // Server events cover a new default source; source events its arrival and removal.
        static_cast<Monitor*>(data)->query();
    }

    void query()
    {
        if (m_queryRunning) {
            m_queryAgain = true;
            return;
        }
        m_queryRunning = true;
        m_sourceIsInput = false;
        pa_operation* op = pa_context_get_server_info(m_context, onServerInfo, this);
        if (!op) {
            finishQuery(MicrophonePermissionState::Denied);
            return;
        }
        pa_operation_unref(op);
    }

    static void onServerInfo(pa_context* context, const pa_server_info* info, void* data)
    {
        auto* self = static_cast<Monitor*>(data);
        if (!info || !info->default_source_name || !*info->default_source_name) {
            self->finishQuery(MicrophonePermissionState::Denied);
            return;
        }
        pa_operation* op = pa_context_get_source_info_by_name(context, info->default_source_name,
                                                              onSourceInfo, self);
        if (!op) {
            self->finishQuery(MicrophonePermissionState::Denied);
            return;
        }
        pa_operation_unref(op);
    }

    static void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* data)
    {
        auto* self = static_cast<Monitor*>(data);
        if (info)
            self->m_sourceIsInput = info->monitor_of_sink == PA_INVALID_INDEX;
        if (eol)
            self->finishQuery(self->m_sourceIsInput ? MicrophonePermissionState::Granted
                                                    : MicrophonePermissionState::Denied);
    }

    void finishQuery(MicrophonePermissionState state)
    {
        m_queryRunning = false;
        publish(state);
        if (std::exchange(m_queryAgain, false))
            query();
    }

    void publish(MicrophonePermissionState state)
    {
        m_state.store(state);
        m_answered = true;
        pa_threaded_mainloop_signal(m_loop, 0);
        answerWaiters();
    }

    void answerWaiters()
    {
        freeTimer(m_promptTimer);
        const bool granted = m_state.load() == MicrophonePermissionState::Granted;
        for (auto& waiter : std::exchange(m_waiters, {}))
            waiter(granted);
    }

    static void onConnectTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* data)
    {
        static_cast<Monitor*>(data)->lost(false);
    }
    static void onRetry(pa_mainloop_api*, pa_time_event*, const timeval*, void* data)
    {
        auto* self = static_cast<Monitor*>(data);
        self->freeTimer(self->m_retryTimer);
        self->connect();
    }
    static void onPromptTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* data)
    {
        static_cast<Monitor*>(data)->answerWaiters();
    }
    static void onFirstAnswerTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* data)
    {
        auto* self = static_cast<Monitor*>(data);
        self->m_firstAnswerExpired = true;
        pa_threaded_mainloop_signal(self->m_loop, 0);
    }

    const QByteArray m_server;
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_time_event* m_retryTimer = nullptr;
    pa_time_event* m_connectTimer = nullptr;
    pa_time_event* m_promptTimer = nullptr;
    pa_time_event* m_firstAnswerTimer = nullptr;
    std::atomic<MicrophonePermissionState> m_state{MicrophonePermissionState::Undetermined};
    std::vector<std::function<void(bool)>> m_waiters;
    bool m_answered = false;
    bool m_firstAnswerExpired = false;
    bool m_queryRunning = false;
    bool m_queryAgain = false;
    bool m_sourceIsInput = false;
};

PulseRecordPermission::PulseRecordPermission(QString server, int firstAnswerMs)
    : m_monitor(std::make_unique<Monitor>(std::move(server)))
{
    m_monitor->start(firstAnswerMs);
}

PulseRecordPermission::~PulseRecordPermission() = default;

MicrophonePermissionState PulseRecordPermission::state() const
{
    return m_monitor->state();
}

void PulseRecordPermission::requestAccess(std::function<void(bool granted)> completion)
{
    m_monitor->requestAccess(std::move(completion));
}
