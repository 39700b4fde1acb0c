#include "platform/wayland/WtypeSyntheticKeys.h"

#include "common/ChildProcess.h"
#include "common/DebugLog.h"
#include "platform/KeySyms.h"
#include "platform/TerminalWindows.h"

#include <QCoreApplication>
#include <QProcess>

namespace {

// wtype names modifiers by their xkb role.
QStringList modifierNames(Qt::KeyboardModifiers modifiers)
{
    QStringList names;
    if (modifiers & Qt::ControlModifier)
        names << QStringLiteral("ctrl");
    if (modifiers & Qt::ShiftModifier)
        names << QStringLiteral("shift");
    if (modifiers & Qt::AltModifier)
        names << QStringLiteral("alt");
    if (modifiers & Qt::MetaModifier)
        names << QStringLiteral("logo");
    return names;
}

// Holds the press long after any self-test ends; the release ends the run anyway.
constexpr int holdMs = 600000;

} // namespace

WtypeSyntheticKeys::WtypeSyntheticKeys(QString program, FocusQuery focus)
    : m_program(std::move(program)), m_focus(std::move(focus))
{
}

WtypeSyntheticKeys::~WtypeSyntheticKeys()
{
    if (m_held) {
        m_held->disconnect();
        m_held->kill();
        m_held->waitForFinished(1000);
    }
}

PasteTarget WtypeSyntheticKeys::pasteTarget()
{
    PasteTarget target;
    const std::optional<FocusedWindow> window = m_focus ? m_focus() : std::nullopt;
    if (!window)
        return target;
    target.ownWindow = window->pid == QCoreApplication::applicationPid();
    if (!target.ownWindow && TerminalWindows::pastesOnShiftInsert(window->names))
        target.chord = PasteChord::ShiftInsert;
    return target;
}

QStringList WtypeSyntheticKeys::pasteArguments(PasteChord chord)
{
    // wtype gives each key of its run a keycode, in order, in a keymap of its own. GTK 3
    // looks keys up below the keymap's highest keycode only, so a chord key that is the last
    // one never matches a shortcut there: the run ends with the release of an unused key
    // (never pressed, so no application sees a keystroke) to come after it.
    const QStringList tail{"-p", "VoidSymbol"};
    if (chord == PasteChord::ShiftInsert)
        return QStringList{"-M", "shift", "-k", "Insert", "-m", "shift"} + tail;
    return QStringList{"-M", "ctrl", "-k", "v", "-m", "ctrl"} + tail;
}

std::optional<QStringList> WtypeSyntheticKeys::hotKeyArguments(QKeyCombination key, bool down)
{
    const std::optional<QString> name = KeySyms::name(key.key());
    if (!name)
        return std::nullopt;
    const QStringList modifiers = modifierNames(key.keyboardModifiers());
    QStringList arguments;
    if (down) {
        for (const QString& modifier : modifiers)
            arguments << QStringLiteral("-M") << modifier;
        arguments << QStringLiteral("-P") << *name << QStringLiteral("-s")
                  << QString::number(holdMs);
    } else {
        arguments << QStringLiteral("-p") << *name;
        for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
            arguments << QStringLiteral("-m") << *it;
    }
    return arguments;
}

bool WtypeSyntheticKeys::postPaste(PasteChord chord)
{
    return run(pasteArguments(chord));
}

bool WtypeSyntheticKeys::postHotKey(QKeyCombination key, bool down)
{
    const std::optional<QStringList> arguments = hotKeyArguments(key, down);
    if (!arguments)
        return false;
    if (down) {
        if (m_held)
            m_held->kill();
        return run(*arguments, &m_held);
    }
    // A keyboard's release must come from the keyboard that pressed: the press's run holds
    // the keys, and ending it releases them.
    if (!m_held)
        return false;
    std::unique_ptr<QProcess> held = std::move(m_held);
    held->terminate();
    QProcess* ending = held.release();
    QObject::connect(ending, &QProcess::finished, ending, &QObject::deleteLater);
    return true;
}

bool WtypeSyntheticKeys::run(const QStringList& arguments, std::unique_ptr<QProcess>* keep)
{
    if (m_program.isEmpty())
        return false;
    auto process = std::make_unique<QProcess>();
    process->setProgram(m_program);
    process->setArguments(arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::SeparateChannels);
    ChildProcessRun::bindToParent(*process);
    QProcess* started = process.get();
    const QString what = arguments.join(u' ');
    QObject::connect(started, &QProcess::finished, &m_context,
                     [started, what](int code, QProcess::ExitStatus status) {
                         if (status == QProcess::NormalExit && code != 0)
                             DebugLog::write(
                                 QStringLiteral("wtype ") + what + QStringLiteral(" failed: ") +
                                 QString::fromLocal8Bit(started->readAllStandardError()).trimmed());
                     });
    QObject::connect(started, &QProcess::errorOccurred, &m_context,
                     [what](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             DebugLog::write(QStringLiteral("wtype ") + what +
                                             QStringLiteral(" could not start"));
                     });
    started->start();
    if (started->state() == QProcess::NotRunning)
        return false;
    if (keep) {
        *keep = std::move(process);
        return true;
    }
    QObject::connect(started, &QProcess::finished, started, &QObject::deleteLater);
    QObject::connect(started, &QProcess::errorOccurred, started, &QObject::deleteLater);
    process.release();
    return true;
}
