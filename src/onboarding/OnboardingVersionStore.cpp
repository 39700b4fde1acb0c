#include "onboarding/OnboardingVersionStore.h"

std::unique_ptr<QSettings> OnboardingVersionStore::standardDefaults()
{
    return std::make_unique<QSettings>(QStringLiteral("Wendlo"), QStringLiteral("Wendlo"));
}

OnboardingVersionStore::OnboardingVersionStore(std::unique_ptr<QSettings> defaults, QString key)
    : m_defaults(std::move(defaults)), m_key(std::move(key))
{
}

int OnboardingVersionStore::storedVersion() const
{
    bool ok = false;
    const int version = m_defaults->value(m_key).toInt(&ok);
    return ok ? version : 0;
}

bool OnboardingVersionStore::isCompleted() const
{
    return storedVersion() >= CurrentVersion;
}

void OnboardingVersionStore::markCompleted()
{
    m_defaults->setValue(m_key, CurrentVersion);
    // Written now, so a crash right after setup does not bring the setup back.
    m_defaults->sync();
}
