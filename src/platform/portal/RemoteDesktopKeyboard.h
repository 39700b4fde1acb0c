#pragma once

#include "platform/PortalRequests.h"
#include "platform/SyntheticKeys.h"

#include <QDBusConnection>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QDBusMessage;

// Where the remote-desktop portal's restore token is kept between runs (the app's settings).
// Tokens are single-use: each session's start hands out the next one.
struct KeyboardTokenStore
{
    std::function<QString()> load;
    std::function<void(const QString&)> save;
};

// Keystrokes through the desktop portal's RemoteDesktop keyboard, for desktops with no
// virtual-keyboard protocol (GNOME, KDE Plasma). The user consents once in the desktop's
// dialog; the restore token lets later runs start silently. Until the session is started and
// granted every keystroke fails with the reason, as do all after a refusal or the session's end.
class RemoteDesktopKeyboard : public QObject, public SyntheticKeys
{
    Q_OBJECT
public:
    enum class State
    {
        NotStarted,
        Starting,
        Ready,
        Refused, // the user said no: not asked again in this run
        Ended,   // the desktop closed the session, or the portal failed or stopped
    };

    // Whether the desktop portal on `bus` offers a RemoteDesktop keyboard. Asks once and waits
    // at most `timeoutMs` (the portal is started on demand).
    static bool isOffered(const QDBusConnection& bus, int timeoutMs);

    RemoteDesktopKeyboard(QDBusConnection bus, KeyboardTokenStore tokens,
                          QObject* parent = nullptr);
    ~RemoteDesktopKeyboard() override;

    // Opens the session: the desktop asks the user on first use, restores silently with a
    // token. Call it where a dialog steals no focus from a field being dictated into.
    void start();
    State state() const { return m_state; }
    // Why keystrokes fail now, in the user's words; empty when they can go out.
    QString unavailableReason() const;

    PasteTarget pasteTarget() override { return {}; }
    bool postPaste(PasteChord chord) override;
    bool postHotKey(QKeyCombination key, bool down) override;
    void typeText(const QString& text, TypeDone done) override;

    // Presses and releases, in order: (keysym, pressed).
    using Strokes = std::vector<std::pair<std::uint32_t, bool>>;
    static Strokes chordStrokes(PasteChord chord);
    static std::optional<Strokes> hotKeyStrokes(QKeyCombination key, bool down);
    static Strokes textStrokes(const QString& text);

signals:
    void stateChanged(RemoteDesktopKeyboard::State state);

private slots:
    void handleSessionClosed(const QDBusMessage& message);
    void handlePortalGone();

private:
    enum class Step
    {
        CreateSession,
        SelectDevices,
        Start,
    };
    struct Typing;

    void sendRequest(const QDBusMessage& call, const QString& token, Step step);
    void handleAnswer(Step step, const PortalRequests::Answer& answer);
    void selectDevices();
    void startSession();
    void end(State state, const QString& reason);
    void setState(State state);
    // Sends every stroke; `done` gets the first failure once all are answered.
    void send(const Strokes& strokes, std::function<void(std::optional<QString>)> done);

    QDBusConnection m_bus;
    KeyboardTokenStore m_tokens;
    State m_state = State::NotStarted;
    QString m_reason;
    QString m_session;
    PortalRequests* m_requests;                    // a child
    std::vector<std::shared_ptr<Typing>> m_typing; // sends still waiting for answers
};
