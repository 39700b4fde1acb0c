#pragma once

#include "app/AutostartEntry.h"
#include "dictation/HotKey.h"
#include "common/QuorError.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class AppSettings;
class DictationCoordinator;
class QCheckBox;
class QComboBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;
class QWidget;

// The recogniser's model files as the settings window sees them.
struct ModelFiles
{
    // The published names of the models installed, in the recogniser's search order.
    std::function<QStringList()> installed;
    // The file of the model named, or why there is none and how to get it.
    std::function<Result<QString>(const QString& name)> lookup;
};

// The settings window: the hot key (grabbed as soon as it is chosen, the old one kept until
// the new one works), the recogniser's language, start at login, and the model with its file.
// Main thread only.
//
// Named child widgets for tests: "hotKeyEdit", "defaultHotKeyButton", "hotKeyStatus",
// "languageBox", "autostartBox", "autostartStatus", "modelBox", "modelPath", "modelHint".
class SettingsWindowController : public QObject
{
    Q_OBJECT

public:
    // `models` is the recogniser's own search for its model files.
    SettingsWindowController(AppSettings& settings, DictationCoordinator& dictation,
                             AutostartEntry autostart, ModelFiles models,
                             QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // After a new hot key took effect (the menu and onboarding name it).
    std::function<void()> onHotKeyChanged;
    // After another model was chosen (its file can be read ahead of the next dictation).
    std::function<void()> onModelChanged;

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
    void chooseModel(const QString& name);

    // Brings every control in line with the settings, the key in use and the model lookup.
    void render();

private:
    static constexpr int windowWidth = 560;

    void buildUI();
    void fitToContent();
    void showHotKeyStatus(const QString& text, bool problem);
    void keyEdited();
    void renderModel();

    AppSettings& m_settings;
    DictationCoordinator& m_dictation;
    AutostartEntry m_autostart;
    ModelFiles m_models;

    std::unique_ptr<QWidget> m_window;
    QKeySequenceEdit* m_hotKeyEdit = nullptr;
    QPushButton* m_defaultHotKeyButton = nullptr;
    QLabel* m_hotKeyStatus = nullptr;
    QComboBox* m_languageBox = nullptr;
    QCheckBox* m_autostartBox = nullptr;
    QLabel* m_autostartStatus = nullptr;
    QComboBox* m_modelBox = nullptr;
    QLabel* m_modelPath = nullptr;
    QLabel* m_modelHint = nullptr;
    bool m_rendering = false;
};
