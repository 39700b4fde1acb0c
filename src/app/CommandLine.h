#pragma once

#include <QString>
#include <QStringList>

// What a launch asks of the running instance (or of itself, when it becomes the instance).
enum class InstanceCommand
{
    Reopen,          // a plain launch: show what needs the user
    OpenSettings,    // --settings
    StartDictation,  // --start-dictation: what the hot key's press does
    StopDictation,   // --stop-dictation: the release
    ToggleDictation, // --toggle-dictation: the menu's toggle
    Quit,            // --quit
};

// The name of a command on the single-instance socket and in log lines.
QString instanceCommandName(InstanceCommand command);

// The program's command line, read before any display is opened: help, version and the
// commands for a running instance must work from scripts, terminals and key bindings.
struct CommandLineRequest
{
    enum class Action
    {
        Launch,      // run the app (handing `command` over when one already runs)
        SendCommand, // only tell the running instance; never start one
        ShowHelp,
        ShowVersion,
        UsageError, // `error` says what was wrong; exit status 2
    };
    Action action = Action::Launch;
    InstanceCommand command = InstanceCommand::Reopen;
    QString error;
};

namespace CommandLine {

// `arguments` as the process got them, the program's name first. Qt's own display options
// (-platform, -display, ...) are accepted and left to the application object.
CommandLineRequest parse(const QStringList& arguments);

QString helpText();
QString versionText();

// Exit statuses of the command-line requests.
constexpr int exitUsage = 2;
constexpr int exitFailure = 1;

} // namespace CommandLine
