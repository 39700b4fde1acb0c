// The tray icon in a real embedding tray (trayer) on dark and light panels: the panel around
// the docked icon is read back and the icon's colour chosen to stand out on it.
#include "app/StatusItemIcon.h"
#include "support/Wait.h"

#include <QProcess>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

namespace {

class TrayPanel : public ::testing::TestWithParam<std::pair<const char*, QColor>>
{
protected:
    void TearDown() override
    {
        m_trayer.terminate();
        m_trayer.waitForFinished(3000);
    }

    // A 24 px tray along the top edge, painted in `tint`.
    bool startTray(const QString& tint)
    {
        m_trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                  "--width", "120", "--heighttype", "pixel", "--height", "24",
                                  "--transparent", "true", "--alpha", "0", "--tint", tint});
        return m_trayer.waitForStarted(3000) &&
               waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000);
    }

    QProcess m_trayer;
};

TEST_P(TrayPanel, IconStandsOutOnThePanelItDocksIn)
{
    const auto& [tint, expected] = GetParam();
    ASSERT_TRUE(startTray(QString::fromLatin1(tint))) << "trayer did not start";

    // Drawn first in the colour that vanishes on this panel.
    const QColor wrong = expected == QColor(Qt::white) ? QColor(Qt::black) : QColor(Qt::white);
    QSystemTrayIcon tray(StatusItemIcon::makeIcon(wrong));
    tray.show();
    ASSERT_TRUE(waitUntil([&] { return !tray.geometry().isEmpty(); }, 5000))
        << "the icon did not dock";
    spinFor(300); // let the tray paint its panel around the icon

    const QImage panel = StatusItemIcon::grabPanel(tray.geometry());
    ASSERT_FALSE(panel.isNull());
    EXPECT_EQ(StatusItemIcon::colorOver(panel, wrong), expected);
    EXPECT_EQ(StatusItemIcon::colorOver(panel, expected), expected);
}

INSTANTIATE_TEST_SUITE_P(Tints, TrayPanel,
                         ::testing::Values(std::pair{"0x202020", QColor(Qt::white)},
                                           std::pair{"0xf0f0f0", QColor(Qt::black)}),
                         [](const auto& info) {
                             return std::string(info.param.second == QColor(Qt::white)
                                                    ? "darkPanel"
                                                    : "lightPanel");
                         });

} // namespace
