#pragma once

#include "app/AutostartEntry.h"
#include "dictation/HotKey.h"
#include "dictation/QuorError.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class DictationControl;
class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;
class QWidget;

// The settings window: the hot key (grabbed as soon as it is chosen, the old one kept until
// the new one works), the recogniser's language, start at login, and the model file in use.
// Main thread only.
//
// Named child widgets for tests: "hotKeyEdit", "defaultHotKeyButton", "hotKeyStatus",
// "languageBox", "autostartBox", "autostartStatus", "modelPath", "modelHint".
class SettingsWindowController : public QObject
{
    Q_OBJECT

public:
    // `modelLookup` is the recogniser's own search for its model file.
    SettingsWindowController(AppSettings& settings, DictationControl& dictation,
                             AutostartEntry autostart, std::function<Result<QString>()> modelLookup,
                             QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // After a new hot key took effect (the menu and onboarding name it).
    std::function<void()> onHotKeyChanged;

    // Reads everything afresh, shows the window and raises it.
    void showWindow();
    void close();
    bool isVisible() const;
    QWidget* window() const;
    // Puts the key editor in recording mode: the next key pressed becomes the hot key.
    void focusHotKey();

    // The actions behind the controls (public for tests). Each shows its outcome in place.
    // Returns why the key was not taken, if it was not.
    std::optional<QString> chooseHotKey(QKeyCombination combination);
    void chooseLanguage(const QString& code);
    void setStartAtLogin(bool enabled);

    // Brings every control in line with the settings, the key in use and the model lookup.
    void render();

private:
    static constexpr int windowWidth = 560;

    void buildUI();
    void fitToContent();
    void showHotKeyStatus(const QString& text, bool problem);
    void keyEdited();

    AppSettings& m_settings;
    DictationControl& m_dictation;
    AutostartEntry m_autostart;
    std::function<Result<QString>()> m_modelLookup;

    std::unique_ptr<QWidget> m_window;
    QKeySequenceEdit* m_hotKeyEdit = nullptr;
    QPushButton* m_defaultHotKeyButton = nullptr;
    QLabel* m_hotKeyStatus = nullptr;
    QComboBox* m_languageBox = nullptr;
    QCheckBox* m_autostartBox = nullptr;
    QLabel* m_autostartStatus = nullptr;
    QLabel* m_modelPath = nullptr;
    QLabel* m_modelHint = nullptr;
    bool m_rendering = false;
};
