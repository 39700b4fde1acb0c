#include "platform/shortcuts/PortalGlobalShortcuts.h"

#include "common/DebugLog.h"
#include "platform/KeySyms.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusServiceWatcher>
#include <QStringList>
#include <algorithm>

namespace {

using Portal::pathText;
using Portal::sessionInterface;
using Portal::vardict;
const QString& portalService = Portal::service;
const QString& portalPath = Portal::path;
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    (void)registered;
}

QList<PortalShortcut> shortcutList(const QVariant& value)
{
    QList<PortalShortcut> list;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> list;
    return list;
}

QString responseReason(uint response)
{
    switch (response) {
    case 1:
        return QStringLiteral("the desktop's shortcut dialog was cancelled");
    case 2:
        return QStringLiteral("the desktop refused the shortcut");
    default:
        return QStringLiteral("the desktop's shortcut portal answered %1").arg(response);
    }
}

struct TriggerModifier
{
    Qt::KeyboardModifier modifier;
    const char* name;
};
constexpr TriggerModifier triggerModifiers[] = {{Qt::ControlModifier, "CTRL"},
                                                {Qt::AltModifier, "ALT"},
                                                {Qt::ShiftModifier, "SHIFT"},
                                                {Qt::MetaModifier, "LOGO"}};

} // namespace

const QString PortalGlobalShortcuts::shortcutId = QStringLiteral("dictate");

bool PortalGlobalShortcuts::isOffered(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << shortcutsInterface << QStringLiteral("version");
    // Blocks without an event loop, once at start, before any window exists.
    const QDBusMessage reply = bus.call(get, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        DebugLog::write(QStringLiteral("shortcut portal: not offered (") + reply.errorName() +
                        QStringLiteral(")"));
        return false;
    }
    const uint version = reply.arguments().first().value<QDBusVariant>().variant().toUInt();
    DebugLog::write(QStringLiteral("shortcut portal: version ") + QString::number(version));
    return version >= 1;
}

std::optional<QString> PortalGlobalShortcuts::trigger(QKeyCombination key)
{
    const std::optional<QString> keysym = KeySyms::name(key);
    if (!keysym)
        return std::nullopt;
    QStringList parts;
    for (const TriggerModifier& modifier : triggerModifiers) {
        if (key.keyboardModifiers() & modifier.modifier)
            parts << QString::fromLatin1(modifier.name);
    }
    parts << *keysym;
    return parts.join(QLatin1Char('+'));
}

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus, Compositor compositor,
                                             QString command, QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_compositor(compositor),
      m_command(std::move(command)),
      m_requests(new PortalRequests(m_bus, QStringLiteral("wendlo"), this))
{
    registerTypes();
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(handleActivated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Deactivated"),
                  this, SLOT(handleDeactivated(QDBusMessage)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"),
                  this, SLOT(handleShortcutsChanged(QDBusMessage)));
    auto* watcher = new QDBusServiceWatcher(portalService, m_bus,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &PortalGlobalShortcuts::handlePortalGone);
}

PortalGlobalShortcuts::~PortalGlobalShortcuts()
{
    closeSession();
}

std::optional<QString> PortalGlobalShortcuts::registerHotKey(QKeyCombination key, Handler handler)
{
    const std::optional<QString> wanted = trigger(key);
    if (!wanted)
        return QStringLiteral("the desktop's shortcut portal has no name for this key");
    if (!m_bus.isConnected())
        return QStringLiteral("there is no connection to the session bus");
    // Portals bind a session's shortcuts once: a new key needs a session of its own.
    if (m_pressed) {
        m_pressed = false;
        if (m_handler)
            m_handler(HotKeyTransition::Released);
    }
    closeSession();
    m_requests->cancelAll();
    m_key = key;
    m_trigger = *wanted;
    m_boundTrigger.clear();
    m_handler = std::move(handler);

    const QString token = m_requests->nextToken();
    QDBusMessage create = QDBusMessage::createMethodCall(
        portalService, portalPath, shortcutsInterface, QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), m_requests->nextToken()}};
    sendRequest(create, token, Step::CreateSession);
    DebugLog::write(QStringLiteral("shortcut portal: asking for ") + m_trigger);
    return std::nullopt;
}

std::optional<CompositorBinding> PortalGlobalShortcuts::compositorBinding(QKeyCombination key) const
{
    return CompositorBindings::binding(m_compositor, key, m_command);
}

void PortalGlobalShortcuts::sendRequest(const QDBusMessage& call, const QString& token, Step step)
{
    m_requests->send(call, token, [this, step](const PortalRequests::Answer& answer) {
        handleAnswer(step, answer);
    });
}

void PortalGlobalShortcuts::handleAnswer(Step step, const PortalRequests::Answer& answer)
{
    if (!answer.callError.isEmpty()) {
        fail(QStringLiteral("the desktop's shortcut portal failed (%1)").arg(answer.callError));
        return;
    }
    if (!answer.answered || answer.response != 0) {
        fail(!answer.answered
                 ? QStringLiteral("the desktop's shortcut portal answered with nothing")
                 : responseReason(answer.response));
        return;
    }
    const QVariantMap& results = answer.results;
    switch (step) {
    case Step::CreateSession: {
        const QString session = pathText(results.value(QStringLiteral("session_handle")));
        if (session.isEmpty()) {
            fail(QStringLiteral("the desktop's shortcut portal opened no session"));
            return;
        }
        m_session = session;
        // The desktop may end the session itself (the user withdrew the shortcut).
        m_bus.connect(portalService, session, sessionInterface, QStringLiteral("Closed"), this,
                      SLOT(handleSessionClosed(QDBusMessage)));
        bindShortcut(session);
        return;
    }
    case Step::BindShortcuts: {
        const auto bound = results.constFind(QStringLiteral("shortcuts"));
        if (bound != results.constEnd()) {
            const QList<PortalShortcut> shortcuts = shortcutList(*bound);
            const auto ours =
                std::find_if(shortcuts.begin(), shortcuts.end(),
                             [](const PortalShortcut& s) { return s.id == shortcutId; });
            if (ours == shortcuts.end()) {
                fail(QStringLiteral("the desktop bound no shortcut for Wendlo"));
                return;
            }
            DebugLog::write(
                QStringLiteral("shortcut portal: bound ") + m_trigger +
                QStringLiteral(" trigger=") +
                ours->properties.value(QStringLiteral("trigger_description")).toString());
            setBoundTrigger(
                ours->properties.value(QStringLiteral("trigger_description")).toString());
        } else {
            DebugLog::write(QStringLiteral("shortcut portal: bound ") + m_trigger);
        }
        return;
    }
    }
}

void PortalGlobalShortcuts::bindShortcut(const QString& sessionHandle)
{
    const QString token = m_requests->nextToken();
    QDBusMessage bind = QDBusMessage::createMethodCall(
        portalService, portalPath, shortcutsInterface, QStringLiteral("BindShortcuts"));
    const QList<PortalShortcut> shortcuts{
        {shortcutId,
         {{QStringLiteral("description"), QStringLiteral("Dictate with Wendlo (hold to talk)")},
          {QStringLiteral("preferred_trigger"), m_trigger}}}};
    bind << QVariant::fromValue(QDBusObjectPath(sessionHandle)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    sendRequest(bind, token, Step::BindShortcuts);
}

bool PortalGlobalShortcuts::isOurs(const QDBusMessage& message) const
{
    const QList<QVariant> arguments = message.arguments();
    return !m_session.isEmpty() && arguments.size() >= 2 &&
           pathText(arguments.at(0)) == m_session && arguments.at(1).toString() == shortcutId;
}

void PortalGlobalShortcuts::handleActivated(const QDBusMessage& message)
{
    // The portal reports a held key once; a repeat would be a second press.
    if (!isOurs(message) || m_pressed)
        return;
    m_pressed = true;
    if (m_handler)
        m_handler(HotKeyTransition::Pressed);
}

void PortalGlobalShortcuts::handleDeactivated(const QDBusMessage& message)
{
    if (!isOurs(message) || !m_pressed)
        return;
    m_pressed = false;
    if (m_handler)
        m_handler(HotKeyTransition::Released);
}

void PortalGlobalShortcuts::handleShortcutsChanged(const QDBusMessage& message)
{
    const QList<QVariant> arguments = message.arguments();
    if (m_session.isEmpty() || arguments.size() < 2 || pathText(arguments.at(0)) != m_session)
        return;
    for (const PortalShortcut& shortcut : shortcutList(arguments.at(1))) {
        if (shortcut.id != shortcutId)
            continue;
        const QString described =
            shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        DebugLog::write(QStringLiteral("shortcut portal: shortcuts changed trigger=") + described);
        setBoundTrigger(described);
    }
}

void PortalGlobalShortcuts::setBoundTrigger(const QString& described)
{
    // A portal that says nothing, or names the trigger asked for, fires the key itself.
    const QString own = described == m_trigger ? QString() : described;
    if (own == m_boundTrigger)
        return;
    m_boundTrigger = own;
    if (m_onTrigger)
        m_onTrigger(m_key, m_boundTrigger);
}

void PortalGlobalShortcuts::handleSessionClosed(const QDBusMessage& message)
{
    if (message.path() != m_session)
        return;
    m_bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(handleSessionClosed(QDBusMessage)));
    m_session.clear();
    fail(QStringLiteral("the desktop ended Wendlo's shortcut session"));
}

void PortalGlobalShortcuts::handlePortalGone()
{
    if (m_session.isEmpty() && m_requests->isEmpty())
        return;
    m_session.clear();
    m_requests->cancelAll();
    fail(QStringLiteral("the desktop's shortcut portal stopped"));
}

void PortalGlobalShortcuts::fail(const QString& reason)
{
    DebugLog::write(QStringLiteral("shortcut portal: ") + m_trigger + QStringLiteral(" refused: ") +
                    reason);
    closeSession();
    m_boundTrigger.clear();
    // A release that can no longer come must not leave a recording running.
    if (m_pressed) {
        m_pressed = false;
        if (m_handler)
            m_handler(HotKeyTransition::Released);
    }
    if (m_onFailure)
        m_onFailure(m_key, reason);
}

void PortalGlobalShortcuts::closeSession()
{
    if (m_session.isEmpty())
        return;
    m_bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(handleSessionClosed(QDBusMessage)));
    m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                   QStringLiteral("Close")));
    m_session.clear();
}
