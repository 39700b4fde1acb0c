#pragma once

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class QDBusMessage;

// Names and value shapes shared by every interface of the desktop portal.
namespace Portal {

inline const QString service = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString path = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
inline const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// Object paths and dictionaries may come wrapped, depending on how the sender typed them.
QString pathText(const QVariant& value);
QVariantMap vardict(const QVariant& value);

} // namespace Portal

// The portal's request pattern: a method answers at once with a Request object, whose
// Response signal later carries the result. Listens on the predicted path before calling, so
// a quick answer cannot be missed, and follows older portals that pick the path themselves.
class PortalRequests : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        QString callError;     // the method call itself failed (D-Bus's message)
        bool answered = false; // a Response with its results came
        uint response = 0;     // 0 success, 1 cancelled by the user, 2 ended otherwise
        QVariantMap results;
    };
    using Handler = std::function<void(const Answer&)>;

    // Tokens start with `tokenPrefix`, so the back ends' requests never share a path.
    PortalRequests(QDBusConnection bus, QString tokenPrefix, QObject* parent = nullptr);

    // A fresh handle_token or session_handle_token.
    QString nextToken();
    // Sends `call`, whose options name `token` as their handle_token; `handler` gets the
    // answer once, from the event loop, unless cancelled first.
    void send(const QDBusMessage& call, const QString& token, Handler handler);
    // Answers still to come are dropped.
    void cancelAll();
    bool isEmpty() const { return m_pending.isEmpty(); }

private slots:
    void handleResponse(const QDBusMessage& message);

private:
    void watch(const QString& requestPath, Handler handler);
    // The handler that was waiting on `requestPath`, if any, and stops listening there.
    Handler take(const QString& requestPath);

    QDBusConnection m_bus;
    QString m_tokenPrefix;
    quint64 m_tokens = 0;
    QHash<QString, Handler> m_pending; // Request object path -> who waits for its answer
};
