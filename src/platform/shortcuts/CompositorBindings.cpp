#include "platform/shortcuts/CompositorBindings.h"

#include "platform/KeySyms.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

struct ModifierWords
{
    Qt::KeyboardModifier modifier;
    const char* sway;
    const char* hyprland;
};
// The order the user reads them in elsewhere ("Ctrl + Alt + Shift + Super").
constexpr ModifierWords modifierWords[] = {{Qt::ControlModifier, "Ctrl", "CTRL"},
                                           {Qt::AltModifier, "Mod1", "ALT"},
                                           {Qt::ShiftModifier, "Shift", "SHIFT"},
                                           {Qt::MetaModifier, "Mod4", "SUPER"}};

QString shellQuoted(const QString& word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList swayLines(QKeyCombination key, const QString& keysym, const CompositorBinding& b)
{
    QStringList chord;
    for (const ModifierWords& words : modifierWords) {
        if (key.keyboardModifiers() & words.modifier)
            chord << QString::fromLatin1(words.sway);
    }
    chord << keysym;
    const QString trigger = chord.join(QLatin1Char('+'));
    return {QStringLiteral("bindsym --no-repeat %1 exec %2").arg(trigger, b.startCommand),
            QStringLiteral("bindsym --release %1 exec %2").arg(trigger, b.stopCommand)};
}

QStringList hyprlandLines(QKeyCombination key, const QString& keysym, const CompositorBinding& b)
{
    QStringList modifiers;
    for (const ModifierWords& words : modifierWords) {
        if (key.keyboardModifiers() & words.modifier)
            modifiers << QString::fromLatin1(words.hyprland);
    }
    // Its own examples write letters as capitals; it reads key names in either case.
    const QString name = keysym.size() == 1 ? keysym.toUpper() : keysym;
    const QString mods = modifiers.join(QLatin1Char(' '));
    return {QStringLiteral("bind = %1, %2, exec, %3").arg(mods, name, b.startCommand),
            QStringLiteral("bindr = %1, %2, exec, %3").arg(mods, name, b.stopCommand)};
}

bool desktopNamed(const QProcessEnvironment& environment, const QString& name)
{
    const QStringList desktops =
        environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(QLatin1Char(':'));
    return desktops.contains(name, Qt::CaseInsensitive);
}

} // namespace

namespace CompositorBindings {

Compositor detect(const QProcessEnvironment& environment)
{
    if (environment.contains(QStringLiteral("SWAYSOCK")) ||
        desktopNamed(environment, QStringLiteral("sway")))
        return Compositor::Sway;
    if (environment.contains(QStringLiteral("HYPRLAND_INSTANCE_SIGNATURE")) ||
        desktopNamed(environment, QStringLiteral("Hyprland")))
        return Compositor::Hyprland;
    return Compositor::Other;
}

QString command(const QString& executable, const QString& path)
{
    const QString name = QFileInfo(executable).fileName();
    const QString onPath =
        QStandardPaths::findExecutable(name, path.split(QLatin1Char(':'), Qt::SkipEmptyParts));
    if (!name.isEmpty() && !onPath.isEmpty() &&
        QFileInfo(onPath).canonicalFilePath() == QFileInfo(executable).canonicalFilePath())
        return shellQuoted(name);
    return shellQuoted(QDir::cleanPath(QFileInfo(executable).absoluteFilePath()));
}

CompositorBinding binding(Compositor compositor, QKeyCombination key, const QString& command)
{
    CompositorBinding b;
    b.startCommand = command + QStringLiteral(" --start-dictation");
    b.stopCommand = command + QStringLiteral(" --stop-dictation");
    b.toggleCommand = command + QStringLiteral(" --toggle-dictation");
    const std::optional<QString> keysym = KeySyms::name(key);
    switch (compositor) {
    case Compositor::Sway:
        b.compositor = QStringLiteral("sway");
        b.configFile = QStringLiteral("~/.config/sway/config");
        b.reload = QStringLiteral("swaymsg reload");
        if (keysym)
            b.lines = swayLines(key, *keysym, b);
        break;
    case Compositor::Hyprland:
        b.compositor = QStringLiteral("Hyprland");
        b.configFile = QStringLiteral("~/.config/hypr/hyprland.conf");
        if (keysym)
            b.lines = hyprlandLines(key, *keysym, b);
        break;
    case Compositor::Other:
        break;
    }
    return b;
}

} // namespace CompositorBindings
