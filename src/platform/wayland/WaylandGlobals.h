#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The protocols the session's compositor offers, by interface name (e.g.
// "zwlr_virtual_keyboard_manager_v1"), read once from its registry over a short connection of
// our own, so a back end can be chosen before anything relies on a protocol.
class WaylandGlobals
{
public:
    // The compositor named by WAYLAND_DISPLAY; none when no connection could be made (the
    // reason is in `error`).
    static std::optional<WaylandGlobals> ofSession(QString* error = nullptr);

    explicit WaylandGlobals(QStringList interfaces) : m_interfaces(std::move(interfaces)) {}

    bool offers(const QString& interface) const { return m_interfaces.contains(interface); }
    const QStringList& interfaces() const { return m_interfaces; }

private:
    QStringList m_interfaces;
};
