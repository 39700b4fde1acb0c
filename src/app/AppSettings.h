#pragma once

#include "dictation/HotKey.h"

#include <QProcessEnvironment>
#include <QSettings>
#include <QString>
#include <memory>

// The user's choices beside the onboarding version: the hot key, the recogniser's language
// and its model. Unreadable values read as the defaults, with the reason logged.
class AppSettings
{
public:
    static QString hotKeyKey() { return QStringLiteral("Wendlo.HotKey"); }
    static QString languageKey() { return QStringLiteral("Wendlo.Language"); }
    static QString modelKey() { return QStringLiteral("Wendlo.Model"); }
    // The desktop's grant of its remote-desktop keyboard, for the next run.
    static QString keyboardRestoreTokenKey()
    {
        return QStringLiteral("Wendlo.KeyboardRestoreToken");
    }

    AppSettings(std::unique_ptr<QSettings> store, QProcessEnvironment environment);

    // WENDLO_HOTKEY for this run when it holds a key, else the stored key, else Super+D.
    HotKey hotKey() const;
    // Whether WENDLO_HOTKEY decides the key of this run.
    bool hotKeyFromEnvironment() const;
    void setHotKey(const HotKey& key);

    // The code whisper-cli is given ("de", "auto"), or empty for its own default.
    QString language() const;
    // Empty removes the choice.
    void setLanguage(const QString& code);
    // The same, from any settings object (the recogniser reads it on its own thread).
    static QString languageIn(QSettings& store);

    // The published name of the chosen model; large-v3-turbo when none is chosen.
    QString model() const;
    // Empty removes the choice.
    void setModel(const QString& name);
    // The same, from any settings object (the recogniser reads it on its own thread).
    static QString modelIn(QSettings& store);

private:
    std::unique_ptr<QSettings> m_store;
    QProcessEnvironment m_environment;
};
