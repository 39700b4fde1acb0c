#include "platform/portal/RemoteDesktopKeyboard.h"

#include "common/DebugLog.h"
#include "platform/KeySyms.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {

using Portal::pathText;
using Portal::sessionInterface;
using Portal::vardict;
const QString& portalService = Portal::service;
const QString& portalPath = Portal::path;
const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

constexpr uint keyboardDevice = 1;
// Kept until the user revokes it, across runs.
constexpr uint persistUntilRevoked = 2;

QVariant unwrapped(const QVariant& value)
{
    if (value.userType() == qMetaTypeId<QDBusVariant>())
        return value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

// One send's strokes, answered one by one; the first failure is the answer.
struct RemoteDesktopKeyboard::Typing
{
    std::size_t waiting = 0;
    std::optional<QString> failure;
    std::function<void(std::optional<QString>)> done;

    void answer(std::optional<QString> result)
    {
        if (!done)
            return;
        auto finished = std::move(done);
        done = nullptr;
        finished(std::move(result));
    }
};

bool RemoteDesktopKeyboard::isOffered(const QDBusConnection& bus, int timeoutMs)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage getAll = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    getAll << remoteDesktopInterface;
    // Blocks without an event loop, once at start, before any window exists.
    const QDBusMessage reply = bus.call(getAll, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        DebugLog::write(QStringLiteral("remote-desktop portal: not offered (") + reply.errorName() +
                        QStringLiteral(")"));
        return false;
    }
    const QVariantMap properties = vardict(reply.arguments().first());
    const uint version = unwrapped(properties.value(QStringLiteral("version"))).toUInt();
    const uint types = unwrapped(properties.value(QStringLiteral("AvailableDeviceTypes"))).toUInt();
    DebugLog::write(QStringLiteral("remote-desktop portal: version %1 device types %2")
                        .arg(version)
                        .arg(types));
    return version >= 1 && (types & keyboardDevice) != 0;
}

RemoteDesktopKeyboard::RemoteDesktopKeyboard(QDBusConnection bus, KeyboardTokenStore tokens,
                                             QObject* parent)
    : QObject(parent), m_bus(std::move(bus)), m_tokens(std::move(tokens)),
      m_requests(new PortalRequests(m_bus, QStringLiteral("wendlo_rd"), this))
{
    auto* watcher = new QDBusServiceWatcher(portalService, m_bus,
                                            QDBusServiceWatcher::WatchForUnregistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceUnregistered, this,
            &RemoteDesktopKeyboard::handlePortalGone);
}

RemoteDesktopKeyboard::~RemoteDesktopKeyboard()
{
    m_requests->cancelAll();
    if (!m_session.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                       QStringLiteral("Close")));
}

QString RemoteDesktopKeyboard::unavailableReason() const
{
    switch (m_state) {
    case State::Ready:
        return {};
    case State::NotStarted:
    case State::Starting:
        return QStringLiteral("the desktop has not yet allowed Wendlo to type (answer its "
                              "remote-control question)");
    case State::Refused:
    case State::Ended:
        return m_reason;
    }
    return m_reason;
}

void RemoteDesktopKeyboard::start()
{
    if (m_state != State::NotStarted)
        return;
    if (!m_bus.isConnected()) {
        end(State::Ended, QStringLiteral("there is no connection to the session bus"));
        return;
    }
    setState(State::Starting);
    const QString token = m_requests->nextToken();
    QDBusMessage create = QDBusMessage::createMethodCall(
        portalService, portalPath, remoteDesktopInterface, QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), m_requests->nextToken()}};
    sendRequest(create, token, Step::CreateSession);
}

void RemoteDesktopKeyboard::sendRequest(const QDBusMessage& call, const QString& token, Step step)
{
    m_requests->send(call, token, [this, step](const PortalRequests::Answer& answer) {
        handleAnswer(step, answer);
    });
}

void RemoteDesktopKeyboard::handleAnswer(Step step, const PortalRequests::Answer& answer)
{
    if (!answer.callError.isEmpty()) {
        end(State::Ended, QStringLiteral("the desktop's remote-control portal failed (%1)")
                              .arg(answer.callError));
        return;
    }
    const uint response = answer.response;
    const QVariantMap& results = answer.results;
    if (!answer.answered) {
        end(State::Ended, QStringLiteral("the desktop's remote-control portal answered nothing"));
        return;
    }
    if (response == 1 || response == 2) {
        end(State::Refused,
            step == Step::Start
                ? QStringLiteral("you did not allow Wendlo to control the keyboard (restart "
                                 "Wendlo to be asked again)")
                : QStringLiteral("the desktop refused Wendlo's keyboard access"));
        return;
    }
    if (response != 0) {
        end(State::Ended,
            QStringLiteral("the desktop's remote-control portal answered %1").arg(response));
        return;
    }
    switch (step) {
    case Step::CreateSession:
        m_session = pathText(results.value(QStringLiteral("session_handle")));
        if (m_session.isEmpty()) {
            end(State::Ended, QStringLiteral("the desktop's remote-control portal opened no "
                                             "session"));
            return;
        }
        m_bus.connect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                      SLOT(handleSessionClosed(QDBusMessage)));
        selectDevices();
        return;
    case Step::SelectDevices:
        startSession();
        return;
    case Step::Start: {
        const uint devices = results.value(QStringLiteral("devices")).toUInt();
        const QString restoreToken = results.value(QStringLiteral("restore_token")).toString();
        // The old token is spent either way; without a new one the next run asks again.
        if (m_tokens.save)
            m_tokens.save(restoreToken);
        if (!(devices & keyboardDevice)) {
            end(State::Refused, QStringLiteral("the desktop gave Wendlo no keyboard to type with"));
            return;
        }
        DebugLog::write(
            QStringLiteral("remote-desktop keyboard: granted") +
            (restoreToken.isEmpty() ? QStringLiteral(" (no restore token)") : QString()));
        setState(State::Ready);
        return;
    }
    }
}

void RemoteDesktopKeyboard::selectDevices()
{
    const QString token = m_requests->nextToken();
    QVariantMap options{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("types"), keyboardDevice},
                        {QStringLiteral("persist_mode"), persistUntilRevoked}};
    const QString restoreToken = m_tokens.load ? m_tokens.load() : QString();
    if (!restoreToken.isEmpty())
        options.insert(QStringLiteral("restore_token"), restoreToken);
    DebugLog::write(restoreToken.isEmpty()
                        ? QStringLiteral("remote-desktop keyboard: asking the user")
                        : QStringLiteral("remote-desktop keyboard: restoring the grant"));
    QDBusMessage select = QDBusMessage::createMethodCall(
        portalService, portalPath, remoteDesktopInterface, QStringLiteral("SelectDevices"));
    select << QVariant::fromValue(QDBusObjectPath(m_session)) << options;
    sendRequest(select, token, Step::SelectDevices);
}

void RemoteDesktopKeyboard::startSession()
{
    const QString token = m_requests->nextToken();
    QDBusMessage startCall = QDBusMessage::createMethodCall(
        portalService, portalPath, remoteDesktopInterface, QStringLiteral("Start"));
    startCall << QVariant::fromValue(QDBusObjectPath(m_session)) << QString()
              << QVariantMap{{QStringLiteral("handle_token"), token}};
    sendRequest(startCall, token, Step::Start);
}

void RemoteDesktopKeyboard::handleSessionClosed(const QDBusMessage& message)
{
    if (message.path() != m_session)
        return;
    m_session.clear();
    end(State::Ended, QStringLiteral("the desktop ended Wendlo's keyboard access (restart "
                                     "Wendlo to get it back)"));
}

void RemoteDesktopKeyboard::handlePortalGone()
{
    if (m_state != State::Starting && m_state != State::Ready)
        return;
    m_session.clear();
    end(State::Ended, QStringLiteral("the desktop's remote-control portal stopped"));
}

void RemoteDesktopKeyboard::end(State state, const QString& reason)
{
    // Said once: later keystrokes fail with the same reason, quietly.
    DebugLog::write(QStringLiteral("remote-desktop keyboard: ") + reason);
    m_requests->cancelAll();
    if (!m_session.isEmpty()) {
        m_bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(handleSessionClosed(QDBusMessage)));
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                       QStringLiteral("Close")));
        m_session.clear();
    }
    m_reason = reason;
    setState(state);
    // Keys still on their way can no longer be confirmed.
    std::vector<std::shared_ptr<Typing>> typing = std::move(m_typing);
    for (const std::shared_ptr<Typing>& job : typing)
        job->answer(reason);
}

void RemoteDesktopKeyboard::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

RemoteDesktopKeyboard::Strokes RemoteDesktopKeyboard::chordStrokes(PasteChord chord)
{
    const std::uint32_t modifier =
        chord == PasteChord::ShiftInsert ? KeySyms::shiftL : KeySyms::controlL;
    const std::uint32_t key = chord == PasteChord::ShiftInsert ? KeySyms::insert : 'v';
    return {{modifier, true}, {key, true}, {key, false}, {modifier, false}};
}

std::optional<RemoteDesktopKeyboard::Strokes>
RemoteDesktopKeyboard::hotKeyStrokes(QKeyCombination key, bool down)
{
    const std::optional<std::uint32_t> keysym = KeySyms::keysym(key);
    if (!keysym)
        return std::nullopt;
    Strokes modifiers;
    const Qt::KeyboardModifiers held = key.keyboardModifiers();
    for (const auto& [modifier, sym] :
         {std::pair{Qt::ControlModifier, KeySyms::controlL},
          std::pair{Qt::ShiftModifier, KeySyms::shiftL}, std::pair{Qt::AltModifier, KeySyms::altL},
          std::pair{Qt::MetaModifier, KeySyms::superL}}) {
        if (held & modifier)
            modifiers.emplace_back(sym, down);
    }
    Strokes strokes;
    if (down) {
        strokes = modifiers;
        strokes.emplace_back(*keysym, true);
    } else {
        strokes.emplace_back(*keysym, false);
        strokes.insert(strokes.end(), modifiers.rbegin(), modifiers.rend());
    }
    return strokes;
}

RemoteDesktopKeyboard::Strokes RemoteDesktopKeyboard::textStrokes(const QString& text)
{
    Strokes strokes;
    for (const std::uint32_t keysym : KeySyms::ofText(text)) {
        strokes.emplace_back(keysym, true);
        strokes.emplace_back(keysym, false);
    }
    return strokes;
}

bool RemoteDesktopKeyboard::postPaste(PasteChord chord)
{
    if (m_state != State::Ready) {
        DebugLog::write(QStringLiteral("remote-desktop keyboard: no paste: ") +
                        unavailableReason());
        return false;
    }
    // A chord that fails on its way is logged; the paste then sees no read and leaves the text
    // on the clipboard for the user.
    send(chordStrokes(chord), [](std::optional<QString> failure) {
        if (failure)
            DebugLog::write(QStringLiteral("remote-desktop keyboard: paste chord failed: ") +
                            *failure);
    });
    return true;
}

bool RemoteDesktopKeyboard::postHotKey(QKeyCombination key, bool down)
{
    const std::optional<Strokes> strokes = hotKeyStrokes(key, down);
    if (!strokes || m_state != State::Ready)
        return false;
    send(*strokes, [](std::optional<QString> failure) {
        if (failure)
            DebugLog::write(QStringLiteral("remote-desktop keyboard: hot key failed: ") + *failure);
    });
    return true;
}

void RemoteDesktopKeyboard::typeText(const QString& text, TypeDone done)
{
    if (m_state != State::Ready) {
        done(unavailableReason());
        return;
    }
    send(textStrokes(text), std::move(done));
}

void RemoteDesktopKeyboard::send(const Strokes& strokes,
                                 std::function<void(std::optional<QString>)> done)
{
    auto job = std::make_shared<Typing>();
    job->done = std::move(done);
    if (strokes.empty()) {
        job->answer(std::nullopt);
        return;
    }
    job->waiting = strokes.size();
    m_typing.push_back(job);
    // One connection delivers its calls in order, so the keys arrive as sent.
    for (const auto& [keysym, pressed] : strokes) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(portalService, portalPath, remoteDesktopInterface,
                                           QStringLiteral("NotifyKeyboardKeysym"));
        call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << int(keysym)
             << uint(pressed ? 1 : 0);
        auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, job, keysym] {
            watcher->deleteLater();
            if (watcher->isError() && !job->failure) {
                job->failure = QStringLiteral("the desktop refused a key (keysym 0x%1: %2)")
                                   .arg(keysym, 0, 16)
                                   .arg(watcher->error().message());
                DebugLog::write(QStringLiteral("remote-desktop keyboard: ") + *job->failure);
            }
            if (--job->waiting > 0)
                return;
            std::erase(m_typing, job);
            job->answer(job->failure);
        });
    }
}
