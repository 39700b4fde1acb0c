#pragma once

#include "platform/AppActivation.h"

// Linux desktops have no Dock: the policy is kept as state, and the windows carry the task
// bar presence themselves.
class QtAppActivation : public AppActivation
{
public:
    void setActivationPolicy(Policy policy) override { m_policy = policy; }
    Policy activationPolicy() const override { return m_policy; }
    void activateIgnoringOtherApps() override;
    void terminate() override;

private:
    Policy m_policy = Policy::Accessory;
};
