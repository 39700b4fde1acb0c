#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// A warning alert: its texts, and its buttons in the order they are laid out.
struct Alert
{
    QString messageText;
    QString informativeText;
    QStringList buttons;
};

// How the app shows itself on the desktop: alerts, the alert sound, bringing its windows
// forward, and ending it.
class DesktopPresence
{
public:
    // The index of the chosen button in `Alert::buttons`, or nothing when the alert was closed
    // without one.
    using AlertAnswer = std::function<void(std::optional<int> button)>;

    virtual ~DesktopPresence() = default;

    // Shows `alert` and returns at once; `answer` runs on the main thread once the user has
    // answered, never inside this call, and not at all once this presence is gone.
    virtual void open(const Alert& alert, AlertAnswer answer) = 0;
    virtual void beep() = 0;
    // Raises and activates the app's visible windows (the overlay, which never takes focus,
    // excepted).
    virtual void raiseWindows() = 0;
    // Ends the event loop once control returns to it.
    virtual void terminate() = 0;
};
