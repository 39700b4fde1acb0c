#pragma once

#include <functional>

// Tells when the machine has woken from suspend or hibernation.
class ResumeNotifier
{
public:
    virtual ~ResumeNotifier() = default;

    // `onResumed` runs on the main thread after every wake-up.
    virtual void setOnResumed(std::function<void()> onResumed) = 0;
};
