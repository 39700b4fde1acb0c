#include "onboarding/OnboardingVersionStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class OnboardingVersionStoreTest : public ::testing::Test
{
protected:
    std::unique_ptr<QSettings> settings()
    {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("settings.ini")),
                                           QSettings::IniFormat);
    }
    OnboardingVersionStore storeWith(const QVariant& value)
    {
        auto s = settings();
        if (value.isValid())
            s->setValue(OnboardingVersionStore::defaultKey(), value);
        return OnboardingVersionStore(std::move(s), OnboardingVersionStore::defaultKey());
    }

    QTemporaryDir dir;
};

TEST_F(OnboardingVersionStoreTest, CompletedFromVersionOne)
{
    const std::pair<QVariant, int> cases[] = {
        {QVariant(), 0}, {0, 0}, {-3, -3}, {1, 1}, {2, 2}, {QStringLiteral("abc"), 0},
    };
    for (const auto& [value, version] : cases) {
        SCOPED_TRACE(value.toString().toStdString());
        const OnboardingVersionStore store = storeWith(value);
        EXPECT_EQ(store.storedVersion(), version);
        EXPECT_EQ(store.isCompleted(), version >= 1);
    }
}

TEST_F(OnboardingVersionStoreTest, CompletionPersistsAsOne)
{
    OnboardingVersionStore(settings(), OnboardingVersionStore::defaultKey()).markCompleted();
    EXPECT_EQ(settings()->value(QStringLiteral("Wendlo.OnboardingVersion")).toInt(), 1);
    EXPECT_TRUE(
        OnboardingVersionStore(settings(), OnboardingVersionStore::defaultKey()).isCompleted());
}

TEST_F(OnboardingVersionStoreTest, StandardDefaultsAreTheAppsOwn)
{
    const auto defaults = OnboardingVersionStore::standardDefaults();
    EXPECT_EQ(defaults->organizationName(), QStringLiteral("Wendlo"));
    EXPECT_EQ(defaults->applicationName(), QStringLiteral("Wendlo"));
}

} // namespace
