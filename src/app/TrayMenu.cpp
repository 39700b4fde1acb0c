#include "app/TrayMenu.h"

#include "app/StatusItemIcon.h"
#include "common/DebugLog.h"
#include "common/ErrorText.h"
#include "dictation/DictationCoordinator.h"

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// The state label with an error's message cut to what a menu line can show; the log keeps the
// whole message.
QString displayedLabel(const DictationState& state)
{
    if (!state.isError())
        return state.label();
    return DictationState::error(ErrorText::forDisplay(state.message)).label();
}

// Menu titles treat "&" as a mnemonic marker; a state's message is shown as it stands.
QString menuTitle(const QString& text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

TrayMenu::TrayMenu(DictationCoordinator& coordinator, std::function<bool()> isTrayAvailable,
                   QObject* parent)
    : QObject(parent), m_coordinator(coordinator), m_isTrayAvailable(std::move(isTrayAvailable))
{
    // The status line only informs; Qt shows that as an inactive item.
    m_statusMenuItem = new QAction(QStringLiteral("Idle"), this);
    m_statusMenuItem->setEnabled(false);
    m_toggleMenuItem = new QAction(QStringLiteral("Start Dictation"), this);
    connect(m_toggleMenuItem, &QAction::triggered, this, [this] { m_coordinator.toggle(); });
    // Offered only while transcribing: the way out of a recogniser that takes too long.
    m_cancelTranscriptionMenuItem = new QAction(QStringLiteral("Cancel Transcription"), this);
    m_cancelTranscriptionMenuItem->setVisible(false);
    connect(m_cancelTranscriptionMenuItem, &QAction::triggered, this,
            [this] { m_coordinator.cancelTranscription(); });
    m_openSetupMenuItem = addItem(QStringLiteral("Open Setup Guide"), &TrayMenu::onOpenSetupGuide);
    m_requestAccessibilityMenuItem = addItem(QStringLiteral("Request Accessibility Permission"),
                                             &TrayMenu::onRequestAccessibility);
    m_requestMicrophoneMenuItem =
        addItem(QStringLiteral("Request Microphone Permission"), &TrayMenu::onRequestMicrophone);
    m_settingsMenuItem = addItem(QStringLiteral("Settings\u2026"), &TrayMenu::onOpenSettings);
    m_checkForUpdatesMenuItem =
        addItem(QStringLiteral("Check for Updates\u2026"), &TrayMenu::onCheckForUpdates);
}

TrayMenu::~TrayMenu() = default;

QAction* TrayMenu::addItem(const QString& title, std::function<void()> TrayMenu::*command)
{
    auto* item = new QAction(title, this);
    connect(item, &QAction::triggered, this, [this, command] {
        if (const auto& run = this->*command)
            run();
    });
    return item;
}

void TrayMenu::show()
{
    if (m_statusItem)
        return;
    m_menu = std::make_unique<QMenu>();
    m_statusItem = std::make_unique<QSystemTrayIcon>();
    m_statusItem->setIcon(statusItemIcon());

    m_menu->addAction(m_statusMenuItem);
    m_menu->addAction(m_toggleMenuItem);
    m_menu->addAction(m_cancelTranscriptionMenuItem);
    m_menu->addSeparator();
    m_menu->addAction(m_openSetupMenuItem);
    m_menu->addAction(m_requestAccessibilityMenuItem);
    m_menu->addAction(m_requestMicrophoneMenuItem);
    m_menu->addSeparator();
    m_menu->addAction(m_settingsMenuItem);
    m_menu->addAction(m_checkForUpdatesMenuItem);
    m_menu->addSeparator();
    QAction* quitItem = m_menu->addAction(QStringLiteral("Quit"));
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quitItem->setShortcutVisibleInContextMenu(true);
    connect(quitItem, &QAction::triggered, this, [this] {
        if (onQuit)
            onQuit();
    });
    // An action that lives only in a popup menu never matches its own shortcut: the open
    // menu carries it instead.
    auto* quitShortcut = new QShortcut(quitItem->shortcut(), m_menu.get());
    connect(quitShortcut, &QShortcut::activated, quitItem, &QAction::trigger);

    m_statusItem->setContextMenu(m_menu.get());
    // A click on the icon opens the same menu; the item has no action of its own.
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, m_menu.get(),
            [menu = m_menu.get()](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    menu->popup(QCursor::pos());
            });
    render(m_state);

    if (!m_isTrayAvailable()) {
        DebugLog::write(QStringLiteral(
            "tray unavailable: Wendlo stays reachable through its windows and by starting it "
            "again"));
    }
    // Shown even without a tray now: Qt adds the icon once a tray appears.
    m_statusItem->show();
    // Trays that embed the icon show the panel around it; once docked, check it stands out.
    for (const int delayMs : {1000, 5000})
        QTimer::singleShot(delayMs, this, &TrayMenu::matchStatusItemIconToPanel);
}

void TrayMenu::render(const DictationState& state)
{
    m_state = state;
    const QString label = displayedLabel(state);
    m_statusMenuItem->setText(menuTitle(label));
    m_toggleMenuItem->setText(state.isRecording() ? QStringLiteral("Stop Dictation")
                                                  : QStringLiteral("Start Dictation"));
    m_cancelTranscriptionMenuItem->setVisible(state.isTranscribing());
    if (!m_statusItem)
        return;
    m_statusItem->setToolTip(QStringLiteral("Wendlo \u2014 ") + label);
    m_statusItemAccessibleName = QStringLiteral("Wendlo, ") + label;
    m_menu->setAccessibleName(m_statusItemAccessibleName);
}

const QIcon& TrayMenu::statusItemIcon()
{
    if (!m_statusItemIcon) {
        m_statusItemIconColor = StatusItemIcon::panelTextColor(
            QGuiApplication::palette(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
        m_statusItemIcon = StatusItemIcon::makeIcon(m_statusItemIconColor);
    }
    return *m_statusItemIcon;
}

void TrayMenu::matchStatusItemIconToPanel()
{
    if (!m_statusItem || !m_statusItem->isVisible())
        return;
    const QColor color = StatusItemIcon::colorOver(
        StatusItemIcon::grabPanel(m_statusItem->geometry()), m_statusItemIconColor);
    if (color == m_statusItemIconColor)
        return;
    m_statusItemIconColor = color;
    m_statusItemIcon = StatusItemIcon::makeIcon(color);
    m_statusItem->setIcon(*m_statusItemIcon);
    DebugLog::write(QStringLiteral("tray icon colour for the panel: ") + color.name());
}
