#include "platform/pulse/PulseRecordPermission.h"

#include "platform/pulse/PulseConnection.h"

#include <optional>
#include <pulse/introspect.h>
#include <pulse/operation.h>

namespace {

constexpr int queryTimeoutMs = 1500;

struct Query
{
    PulseConnection* connection = nullptr;
    bool done = false;
    QByteArray defaultSource;
    std::optional<bool> sourceIsInput;
};

void onServerInfo(pa_context*, const pa_server_info* info, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (info && info->default_source_name)
        query->defaultSource = info->default_source_name;
    query->done = true;
    query->connection->signal();
}

void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* data)
{
    auto* query = static_cast<Query*>(data);
    if (info)
        query->sourceIsInput = info->monitor_of_sink == PA_INVALID_INDEX;
    if (eol) {
        query->done = true;
        query->connection->signal();
    }
}

// Runs `operation` to its end (or the bound); false when it could not be sent or timed out.
bool await(PulseConnection& connection, Query& query, pa_operation* operation)
{
    if (!operation)
        return false;
    const bool finished = connection.waitFor([&] { return query.done; }, queryTimeoutMs);
    if (!finished)
        pa_operation_cancel(operation);
    pa_operation_unref(operation);
    return finished;
}

} // namespace

PulseRecordPermission::PulseRecordPermission(QString server) : m_server(std::move(server)) {}

MicrophonePermissionState PulseRecordPermission::state() const
{
    PulseConnection connection;
    if (connection.connect(m_server, queryTimeoutMs))
        return MicrophonePermissionState::Denied;

    PulseConnection::Lock lock(connection);
    Query query;
    query.connection = &connection;
    if (!await(connection, query,
               pa_context_get_server_info(connection.context(), onServerInfo, &query)) ||
        query.defaultSource.isEmpty())
        return MicrophonePermissionState::Denied;

    query.done = false;
    if (!await(connection, query,
               pa_context_get_source_info_by_name(
                   connection.context(), query.defaultSource.constData(), onSourceInfo, &query)))
        return MicrophonePermissionState::Denied;
    return query.sourceIsInput.value_or(false) ? MicrophonePermissionState::Granted
                                               : MicrophonePermissionState::Denied;
}

void PulseRecordPermission::requestAccess(std::function<void(bool granted)> completion)
{
    completion(state() == MicrophonePermissionState::Granted);
}
