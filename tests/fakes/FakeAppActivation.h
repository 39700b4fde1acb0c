#pragma once

#include "platform/AppActivation.h"

#include <QStringList>

// Control face: the policy as set, and every call in order.
class FakeAppActivation : public AppActivation
{
public:
    void setActivationPolicy(Policy p) override
    {
        policy = p;
        events << (p == Policy::Regular ? "regular" : "accessory");
    }
    Policy activationPolicy() const override { return policy; }
    void activateIgnoringOtherApps() override { events << "activate"; }
    void terminate() override { events << "terminate"; }

    Policy policy = Policy::Accessory;
    QStringList events;
};
