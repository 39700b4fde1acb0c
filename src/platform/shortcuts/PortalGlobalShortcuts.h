#pragma once

#include "platform/HotKeyBackend.h"
#include "platform/PortalRequests.h"
#include "platform/shortcuts/CompositorBindings.h"

#include <QDBusConnection>
#include <QObject>

class QDBusMessage;

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
    // Sends `call` (whose options name `token`) and routes its Request's answer to `step`.
    void sendRequest(const QDBusMessage& call, const QString& token, Step step);
    void handleAnswer(Step step, const PortalRequests::Answer& answer);
    void bindShortcut(const QString& sessionHandle);
    void fail(const QString& reason);
    void setBoundTrigger(const QString& described);
    void closeSession();
    bool isOurs(const QDBusMessage& message) const;

    QDBusConnection m_bus;
    Compositor m_compositor;
    QString m_command;
    Handler m_handler;
    FailureHandler m_onFailure;
    TriggerHandler m_onTrigger;
    QKeyCombination m_key;
    QString m_trigger;
    // A child; a registration cancels the answers still due to the one before.
    PortalRequests* m_requests;
    QString m_session;
    QString m_boundTrigger;
    bool m_pressed = false;
};
