#pragma once

#include "platform/SyntheticKeys.h"
#include "platform/wayland/SwayFocus.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QProcess;

// Keystrokes through the compositor's virtual-keyboard protocol, by running `wtype` (each
// run is a keyboard of its own that lets go of everything when it ends). The processes run
// asynchronously; a run that fails is logged with wtype's reason.
class WtypeSyntheticKeys : public SyntheticKeys
{
public:
    // The focused window's names and process, when the compositor tells them.
    using FocusedWindow = SwayFocus::Window;
    using FocusQuery = std::function<std::optional<FocusedWindow>()>;

    // `program` is wtype's path; `focus` may be empty where the compositor does not say which
    // window has focus (Ctrl+V then).
    WtypeSyntheticKeys(QString program, FocusQuery focus);
    ~WtypeSyntheticKeys() override;

    // Shift+Insert for terminals and editors where Ctrl+V is not paste (by app_id).
    PasteTarget pasteTarget() override;
    bool postPaste(PasteChord chord) override;
    // Down starts a run that holds the modifiers and the key; up ends it (and so releases
    // them) with the key's and the modifiers' releases sent first.
    bool postHotKey(QKeyCombination key, bool down) override;

    // wtype's arguments for a paste chord, and for a key's press (or release).
    static QStringList pasteArguments(PasteChord chord);
    static std::optional<QStringList> hotKeyArguments(QKeyCombination key, bool down);

private:
    bool run(const QStringList& arguments, std::unique_ptr<QProcess>* keep = nullptr);

    QString m_program;
    FocusQuery m_focus;
    std::unique_ptr<QProcess> m_held; // the hot key's press, until its release
    QObject m_context;
};
