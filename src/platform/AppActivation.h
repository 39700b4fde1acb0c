#pragma once

// Whether the app shows in the task bar, bringing it forward, and ending it.
class AppActivation
{
public:
    // Regular: the app's windows show in the task bar. Accessory: it lives in the tray only.
    enum class Policy
    {
        Regular,
        Accessory
    };

    virtual ~AppActivation() = default;

    virtual void setActivationPolicy(Policy policy) = 0;
    virtual Policy activationPolicy() const = 0;
    // Raises and activates the app's visible windows.
    virtual void activateIgnoringOtherApps() = 0;
    // Ends the event loop once control returns to it.
    virtual void terminate() = 0;
};
