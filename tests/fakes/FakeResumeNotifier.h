#pragma once

#include "platform/ResumeNotifier.h"

// Control face: report a wake-up when the test says so.
class FakeResumeNotifier : public ResumeNotifier
{
public:
    void setOnResumed(std::function<void()> onResumed) override
    {
        m_onResumed = std::move(onResumed);
    }

    // False when nobody listens.
    bool resume()
    {
        if (!m_onResumed)
            return false;
        m_onResumed();
        return true;
    }

private:
    std::function<void()> m_onResumed;
};
