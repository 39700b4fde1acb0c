#pragma once

#include "platform/HotKeyBackend.h"
#include "platform/shortcuts/CompositorBindings.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>

class QDBusMessage;
class QDBusPendingCallWatcher;

// The hot key through the desktop portal's GlobalShortcuts interface: one session per key
// with one shortcut whose preferred trigger is the key; Activated is the press, Deactivated
// the release. The portal answers through Request objects (and may first ask the user), so a
// refusal arrives later, through the failure handler.
class PortalGlobalShortcuts : public QObject, public HotKeyBackend
{
    Q_OBJECT
public:
    // The id of Wendlo's one shortcut in its session.
    static const QString shortcutId;

    // Whether the desktop portal on `bus` offers GlobalShortcuts. Asks it once and waits at
    // most `timeoutMs` (the portal is started on demand).
    static bool isOffered(const QDBusConnection& bus, int timeoutMs);

    // `key` in the shortcuts specification's syntax ("LOGO+d", "CTRL+ALT+space"); nothing
    // for a key without a keysym name.
    static std::optional<QString> trigger(QKeyCombination key);

    // `compositor` and `command` give the way out when the portal refuses a key.
    PortalGlobalShortcuts(QDBusConnection bus, Compositor compositor, QString command,
                          QObject* parent = nullptr);
    ~PortalGlobalShortcuts() override;

    std::optional<QString> registerHotKey(QKeyCombination key, Handler handler) override;
    void setFailureHandler(FailureHandler handler) override { m_onFailure = std::move(handler); }
    void setTriggerHandler(TriggerHandler handler) override { m_onTrigger = std::move(handler); }
    std::optional<CompositorBinding> compositorBinding(QKeyCombination key) const override;

    // The trigger the user chose in the portal's dialog or settings in place of the one asked
    // for, as the portal describes it; empty while it fires the key asked for.
    const QString& boundTrigger() const { return m_boundTrigger; }

private slots:
    void handleResponse(const QDBusMessage& message);
    void handleActivated(const QDBusMessage& message);
    void handleDeactivated(const QDBusMessage& message);
    void handleShortcutsChanged(const QDBusMessage& message);
    void handleSessionClosed(const QDBusMessage& message);
    void handlePortalGone();

private:
    enum class Step
    {
        CreateSession,
        BindShortcuts,
    };
    struct Pending
    {
        Step step;
        quint64 attempt;
    };

    // Sends `call` (whose options name `token`) and routes its Request's Response to this
    // attempt's `step`.
    void sendRequest(QDBusMessage call, const QString& token, Step step);
    void watchRequest(const QString& path, Step step, quint64 attempt);
    void forgetRequest(const QString& path);
    void bindShortcut(const QString& sessionHandle);
    void fail(const QString& reason);
    void setBoundTrigger(const QString& described);
    void closeSession();
    bool isOurs(const QDBusMessage& message) const;
    QString nextToken();

    QDBusConnection m_bus;
    Compositor m_compositor;
    QString m_command;
    Handler m_handler;
    FailureHandler m_onFailure;
    TriggerHandler m_onTrigger;
    QKeyCombination m_key;
    QString m_trigger;
    quint64 m_attempt = 0; // raised by every registration; answers for older ones are dropped
    quint64 m_tokens = 0;
    QHash<QString, Pending> m_requests; // Request object path -> what it answers
    QString m_session;
    QString m_boundTrigger;
    bool m_pressed = false;
};
