#pragma once

#include "dictation/DictationState.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class DictationCoordinator;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The tray icon and its menu: the items in order, their texts, and which of them the dictation
// state offers. Start/Stop and Cancel act on the coordinator; the other items report through
// the callbacks (unset ones do nothing). Main thread only.
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    // `isTrayAvailable` says whether the desktop shows tray icons.
    TrayMenu(DictationCoordinator& coordinator, std::function<bool()> isTrayAvailable,
             QObject* parent = nullptr);
    ~TrayMenu() override;

    std::function<void()> onOpenSetupGuide;
    std::function<void()> onRequestAccessibility;
    std::function<void()> onRequestMicrophone;
    std::function<void()> onOpenSettings;
    std::function<void()> onCheckForUpdates;
    std::function<void()> onQuit;

    // Puts the icon in the tray, with the menu; until then neither exists.
    void show();
    // The status line, the toggle's title, the cancel item, the tool tip and the accessible
    // name, for `state`.
    void render(const DictationState& state);

    bool isTrayAvailable() const { return m_isTrayAvailable(); }
    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }
    const QString& statusItemAccessibleName() const { return m_statusItemAccessibleName; }
    QAction* statusMenuItem() const { return m_statusMenuItem; }
    QAction* toggleMenuItem() const { return m_toggleMenuItem; }
    QAction* cancelTranscriptionMenuItem() const { return m_cancelTranscriptionMenuItem; }
    QAction* settingsMenuItem() const { return m_settingsMenuItem; }

private:
    QAction* addItem(const QString& title, std::function<void()> TrayMenu::*command);
    const QIcon& statusItemIcon();
    // Redraws the tray icon in black or white where the panel around it would hide it.
    void matchStatusItemIconToPanel();

    DictationCoordinator& m_coordinator;
    std::function<bool()> m_isTrayAvailable;
    DictationState m_state = DictationState::idle();
    // Items: children of this object, added to the menu when it is built.
    QAction* m_statusMenuItem = nullptr;
    QAction* m_toggleMenuItem = nullptr;
    QAction* m_cancelTranscriptionMenuItem = nullptr;
    QAction* m_openSetupMenuItem = nullptr;
    QAction* m_requestAccessibilityMenuItem = nullptr;
    QAction* m_requestMicrophoneMenuItem = nullptr;
    QAction* m_settingsMenuItem = nullptr;
    QAction* m_checkForUpdatesMenuItem = nullptr;
    std::optional<QIcon> m_statusItemIcon;
    QColor m_statusItemIconColor;
    std::unique_ptr<QMenu> m_menu;
    // Declared after the menu, which it refers to, so that it goes first.
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    QString m_statusItemAccessibleName;
};
