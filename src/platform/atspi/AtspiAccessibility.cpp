#include "platform/atspi/AtspiAccessibility.h"

#include "common/DebugLog.h"
#include "platform/atspi/AtspiTextElement.h"

#include <QCoreApplication>
#include <QTimer>
#include <atspi/atspi.h>
#include <vector>

namespace {

bool failed(GError*& error)
{
    if (!error)
        return false;
    g_clear_error(&error);
    return true;
}

bool hasState(AtspiStateSet* states, AtspiStateType state)
{
    return states && atspi_state_set_contains(states, state);
}

std::vector<AtspiHandle> children(AtspiAccessible* parent)
{
    std::vector<AtspiHandle> result;
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(parent, &error);
    if (failed(error))
        return result;
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(parent, i, &error);
        if (failed(error))
            break; // the application stopped answering: leave it
        if (child)
            result.emplace_back(child);
    }
    return result;
}

QString busName(AtspiAccessible* accessible)
{
    const AtspiObject* object = &accessible->parent;
    return object->app && object->app->bus_name ? QString::fromUtf8(object->app->bus_name)
                                                : QString();
}

// After the app's first window is up; the first search walks every application's tree.
constexpr int trackingStartMs = 1000;

} // namespace

AtspiAccessibility::AtspiAccessibility(std::unique_ptr<AccessibilityTrust> trust)
    : AtspiAccessibility(std::move(trust), Limits{})
{
}

AtspiAccessibility::AtspiAccessibility(std::unique_ptr<AccessibilityTrust> trust, Limits limits)
    : m_trust(std::move(trust)), m_limits(limits)
{
    QTimer::singleShot(trackingStartMs, &m_context, [this] {
        if (m_trust->isTrusted())
            startTracking();
    });
}

AtspiAccessibility::~AtspiAccessibility()
{
    if (m_listener) {
        atspi_event_listener_deregister(m_listener, "object:state-changed:focused", nullptr);
        g_object_unref(m_listener);
    }
}

void AtspiAccessibility::startTracking()
{
    if (m_listener || !connect())
        return;
    m_listener = atspi_event_listener_new(&AtspiAccessibility::focusChanged, this, nullptr);
    GError* error = nullptr;
    if (!atspi_event_listener_register(m_listener, "object:state-changed:focused", &error) ||
        failed(error)) {
        DebugLog::write(QStringLiteral("focus events unavailable; the focused field is searched"));
        g_object_unref(m_listener);
        m_listener = nullptr;
        return;
    }
    // Focus given before the listener existed produced no event: find it once now, unless an
    // event (dispatched while libatspi waits for replies) names it first.
    if (!m_lastFocused) {
        AtspiHandle found = searchApplications();
        if (!m_lastFocused)
            m_lastFocused = std::move(found);
    }
}

void AtspiAccessibility::focusChanged(AtspiEvent* event, void* self)
{
    if (!event)
        return;
    // Only a gain of focus names the new field; the loss that precedes it is not needed.
    if (event->source && event->detail1 == 1)
        static_cast<AtspiAccessibility*>(self)->m_lastFocused = shareHandle(event->source);
    g_boxed_free(atspi_event_get_type(), event); // the callback owns the event
}

bool AtspiAccessibility::isTrusted()
{
    return m_trust->isTrusted() && connect();
}

bool AtspiAccessibility::isTrustedWithPrompt()
{
    return m_trust->isTrustedWithPrompt() && connect();
}

bool AtspiAccessibility::connect()
{
    if (m_connected || m_connectFailed)
        return m_connected;
    // libatspi connects once per process; 1 means another user in this process already did.
    const int status = atspi_init();
    m_connected = status == 0 || status == 1;
    m_connectFailed = !m_connected;
    if (m_connected)
        atspi_set_timeout(m_limits.callTimeoutMs, m_limits.callTimeoutMs);
    else
        DebugLog::write(QStringLiteral("accessibility bus unreachable"));
    return m_connected;
}

std::unique_ptr<FocusedTextElement> AtspiAccessibility::focusedElement()
{
    if (!connect())
        return nullptr;
    startTracking();
    // libatspi dispatches events while it waits for replies, so m_lastFocused may change
    // during any call below: work on a reference of our own and keep a newer one.
    AtspiHandle focused;
    for (int attempt = 0; attempt < 2 && !focused; ++attempt) {
        AtspiHandle tracked = shareHandle(m_lastFocused.get());
        // Our own windows cannot answer while this thread waits on them: not even asked.
        if (tracked && !isOwn(tracked.get()) && isFocused(tracked.get()))
            focused = std::move(tracked);
        else if (m_lastFocused.get() == tracked.get())
            break;
    }
    if (!focused) {
        const AtspiAccessible* before = m_lastFocused.get();
        focused = searchApplications();
        if (!focused && m_lastFocused.get() != before) {
            AtspiHandle newer = shareHandle(m_lastFocused.get()); // named by an event meanwhile
            if (newer && !isOwn(newer.get()))
                focused = std::move(newer);
        }
    }
    m_lastFocused = shareHandle(focused.get());
    if (!focused)
        return nullptr;
    const Application* app = application(focused.get());
    if (!app)
        return nullptr;
    return std::make_unique<AtspiTextElement>(std::move(focused), app->offsets);
}

const AtspiAccessibility::Application* AtspiAccessibility::application(AtspiAccessible* accessible)
{
    const QString bus = busName(accessible);
    if (bus.isEmpty())
        return nullptr;
    auto it = m_applications.constFind(bus);
    if (it != m_applications.constEnd())
        return &*it;

    GError* error = nullptr;
    Application app;
    // Answered by the bus, not the application.
    app.pid = atspi_accessible_get_process_id(accessible, &error);
    if (failed(error))
        return nullptr;
    if (app.pid == QCoreApplication::applicationPid())
        return &*m_applications.insert(bus, app);
    gchar* toolkit = atspi_accessible_get_toolkit_name(accessible, &error);
    if (failed(error)) {
        g_free(toolkit);
        return nullptr;
    }
    app.offsets = ToolkitOffsets::forToolkit(QString::fromUtf8(toolkit));
    g_free(toolkit);
    return &*m_applications.insert(bus, app);
}

bool AtspiAccessibility::isOwn(AtspiAccessible* accessible)
{
    const Application* app = application(accessible);
    return !app || app->pid == QCoreApplication::applicationPid();
}

bool AtspiAccessibility::isFocused(AtspiAccessible* accessible)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(accessible);
    const bool focused =
        hasState(states, ATSPI_STATE_FOCUSED) && !hasState(states, ATSPI_STATE_DEFUNCT);
    if (states)
        g_object_unref(states);
    return focused;
}

bool AtspiAccessibility::outOfTime(const Search& search) const
{
    return search.clock.elapsed() > m_limits.searchMs || search.nodes > m_limits.maxNodes;
}

AtspiHandle AtspiAccessibility::searchApplications()
{
    Search search;
    search.clock.start();
    AtspiHandle desktop(atspi_get_desktop(0));
    if (!desktop)
        return nullptr;

    // The focused field lives in the active window. Applications that never mark a window
    // active are searched whole, but only when no window anywhere is active.
    std::vector<AtspiHandle> active;
    std::vector<AtspiHandle> all;
    const qint64 ownPid = QCoreApplication::applicationPid();
    for (AtspiHandle& app : children(desktop.get())) {
        if (outOfTime(search))
            break;
        const Application* info = application(app.get());
        // Our own windows cannot answer while this thread waits on them.
        if (!info || info->pid == ownPid)
            continue;
        for (AtspiHandle& window : children(app.get())) {
            AtspiStateSet* states = atspi_accessible_get_state_set(window.get());
            const bool isActive = hasState(states, ATSPI_STATE_ACTIVE);
            if (states)
                g_object_unref(states);
            (isActive ? active : all).push_back(std::move(window));
        }
    }
    for (AtspiHandle& window : active.empty() ? all : active) {
        if (AtspiHandle found = findFocused(window.get(), search, 0))
            return found;
        if (outOfTime(search)) {
            DebugLog::write(QStringLiteral("focused field search ran out of time"));
            break;
        }
    }
    return nullptr;
}

AtspiHandle AtspiAccessibility::findFocused(AtspiAccessible* node, Search& search, int depth)
{
    ++search.nodes;
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool focused = hasState(states, ATSPI_STATE_FOCUSED);
    const bool defunct = hasState(states, ATSPI_STATE_DEFUNCT);
    // Lists and tables that manage their descendants can hold thousands of rows; a text
    // field is not among them.
    const bool manages = hasState(states, ATSPI_STATE_MANAGES_DESCENDANTS);
    if (states)
        g_object_unref(states);
    if (defunct)
        return nullptr;
    if (focused)
        return shareHandle(node);
    if (manages || depth > 64)
        return nullptr;
    for (AtspiHandle& child : children(node)) {
        if (outOfTime(search))
            return nullptr;
        if (AtspiHandle found = findFocused(child.get(), search, depth + 1))
            return found;
    }
    return nullptr;
}
