#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <optional>

// The private sway of tests/integration/wayland-session, seen from a test inside it.
namespace SwaySession {

// Why there is no session (sway not installed), for GTEST_SKIP; empty inside one.
inline std::optional<QString> missing()
{
    const QString reason = qEnvironmentVariable("WENDLO_WAYLAND_MISSING");
    if (!reason.isEmpty())
        return reason;
    if (qEnvironmentVariableIsEmpty("SWAYSOCK") || qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return QStringLiteral("not inside tests/integration/wayland-session");
    return std::nullopt;
}

// Runs a sway command (e.g. a bindsym); whether sway accepted it.
inline bool command(const QString& text)
{
    QProcess msg;
    msg.start(QStringLiteral("swaymsg"), {text});
    if (!msg.waitForFinished(5000) || msg.exitStatus() != QProcess::NormalExit)
        return false;
    return msg.exitCode() == 0;
}

inline QJsonObject tree()
{
    QProcess msg;
    msg.start(QStringLiteral("swaymsg"), {QStringLiteral("-r"), QStringLiteral("-t"),
                                          QStringLiteral("get_tree")});
    if (!msg.waitForFinished(5000))
        return {};
    return QJsonDocument::fromJson(msg.readAllStandardOutput()).object();
}

namespace detail {
inline void collect(const QJsonObject& node, QJsonArray& windows)
{
    if (node.contains(QStringLiteral("app_id")) && !node.value(QStringLiteral("app_id")).isNull())
        windows.append(node);
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(QLatin1String(key)).toArray())
            collect(child.toObject(), windows);
    }
}
} // namespace detail

// Every native window: app_id, name, pid, focused, ...
inline QJsonArray windows()
{
    QJsonArray found;
    detail::collect(tree(), found);
    return found;
}

// The app_id of the window with the keyboard focus; empty when none has it.
inline QString focusedAppId()
{
    for (const QJsonValue window : windows()) {
        if (window.toObject().value(QStringLiteral("focused")).toBool())
            return window.toObject().value(QStringLiteral("app_id")).toString();
    }
    return {};
}

} // namespace SwaySession
