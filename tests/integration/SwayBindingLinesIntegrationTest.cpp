// The binding lines Wendlo shows for sway are lines the real sway accepts, for every kind of
// key the hot key may be (sway refuses a key name it does not know).
#include "integration/SwaySession.h"
#include "platform/shortcuts/CompositorBindings.h"

#include <gtest/gtest.h>

namespace {

class SwayBindingLines : public ::testing::TestWithParam<QKeyCombination>
{
};

TEST_P(SwayBindingLines, AreAcceptedBySway)
{
    if (const std::optional<QString> missing = SwaySession::missing())
        GTEST_SKIP() << missing->toStdString();
    const QStringList lines =
        CompositorBindings::binding(Compositor::Sway, GetParam(), "wendlo").lines;
    ASSERT_EQ(lines.size(), 2);
    for (const QString& line : lines)
        EXPECT_TRUE(SwaySession::command(line)) << line.toStdString();
}

constexpr Qt::KeyboardModifiers all =
    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier;

INSTANTIATE_TEST_SUITE_P(
    Keys, SwayBindingLines,
    ::testing::Values(QKeyCombination(Qt::MetaModifier, Qt::Key_D),
                      QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_Space),
                      QKeyCombination(all | Qt::KeypadModifier, Qt::Key_Enter),
                      QKeyCombination(Qt::KeypadModifier, Qt::Key_5), QKeyCombination(Qt::Key_F9),
                      QKeyCombination(Qt::Key_Pause), QKeyCombination(Qt::Key_MediaPlay),
                      QKeyCombination(Qt::ControlModifier, Qt::Key_PageUp),
                      QKeyCombination(Qt::MetaModifier, Qt::Key_Comma),
                      QKeyCombination(Qt::AltModifier, Qt::Key_QuoteLeft),
                      QKeyCombination(Qt::MetaModifier, Qt::Key_Eacute)));

} // namespace
