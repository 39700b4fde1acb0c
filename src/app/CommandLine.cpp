#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <array>
#include <memory>

namespace {

struct CommandOption
{
    const char* name;
    InstanceCommand command;
    const char* description;
};

constexpr std::array commandOptions = {
    CommandOption{"start-dictation", InstanceCommand::StartDictation,
                  "Start a dictation in the running Wendlo, as pressing the hot key does."},
    CommandOption{"stop-dictation", InstanceCommand::StopDictation,
                  "Stop the dictation and insert its text, as releasing the hot key does."},
    CommandOption{"toggle-dictation", InstanceCommand::ToggleDictation,
                  "Start or stop a dictation, as the tray menu's item does."},
    CommandOption{"quit", InstanceCommand::Quit, "Quit the running Wendlo."},
};

// Options QGuiApplication reads itself; they take a value unless marked.
struct QtOption
{
    const char* name;
    bool takesValue;
};
constexpr std::array qtOptions = {
    QtOption{"platform", true},      QtOption{"platformpluginpath", true},
    QtOption{"platformtheme", true}, QtOption{"plugin", true},
    QtOption{"display", true},       QtOption{"style", true},
    QtOption{"stylesheet", true},    QtOption{"session", true},
    QtOption{"reverse", false},
};

const QString description = QStringLiteral(
    "Offline dictation: hold the hot key, speak, and let go to type the text into the "
    "focused field.\n"
    "Without options, starts Wendlo (or shows the running one).\n"
    "The dictation commands need a running Wendlo and no display; they exit 0 once it has "
    "taken the command, and 1 with \"Wendlo is not running\" when none runs.");

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Show this help and exit.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Show the version and exit.")};
    QCommandLineOption settings{QStringLiteral("settings"),
                                QStringLiteral("Open the settings window (starting Wendlo if "
                                               "it does not run).")};

    Parser()
    {
        parser.setApplicationDescription(description);
        // Qt's options are written with one dash: "-platform xcb".
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOption(help);
        parser.addOption(version);
        parser.addOption(settings);
        for (const CommandOption& option : commandOptions)
            parser.addOption(
                {QString::fromLatin1(option.name), QString::fromLatin1(option.description)});
        for (const QtOption& option : qtOptions) {
            QCommandLineOption qt(QString::fromLatin1(option.name));
            if (option.takesValue)
                qt.setValueName(QStringLiteral("value"));
            qt.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(qt);
        }
    }
};

} // namespace

QString instanceCommandName(InstanceCommand command)
{
    switch (command) {
    case InstanceCommand::Reopen:
        return QStringLiteral("reopen");
    case InstanceCommand::OpenSettings:
        return QStringLiteral("settings");
    case InstanceCommand::StartDictation:
        return QStringLiteral("start-dictation");
    case InstanceCommand::StopDictation:
        return QStringLiteral("stop-dictation");
    case InstanceCommand::ToggleDictation:
        return QStringLiteral("toggle-dictation");
    case InstanceCommand::Quit:
        return QStringLiteral("quit");
    }
    return QString();
}

namespace CommandLine {

CommandLineRequest parse(const QStringList& arguments)
{
    Parser p;
    CommandLineRequest request;
    const auto usageError = [&request](const QString& error) {
        request.action = CommandLineRequest::Action::UsageError;
        request.error = error;
        return request;
    };
    if (!p.parser.parse(arguments.isEmpty() ? QStringList{QStringLiteral("wendlo")} : arguments))
        return usageError(p.parser.errorText());
    if (!p.parser.positionalArguments().isEmpty())
        return usageError(QStringLiteral("Unexpected argument '%1'.")
                              .arg(p.parser.positionalArguments().first()));
    if (p.parser.isSet(p.help)) {
        request.action = CommandLineRequest::Action::ShowHelp;
        return request;
    }
    if (p.parser.isSet(p.version)) {
        request.action = CommandLineRequest::Action::ShowVersion;
        return request;
    }

    QStringList chosen;
    for (const CommandOption& option : commandOptions) {
        if (p.parser.isSet(QString::fromLatin1(option.name))) {
            chosen << QStringLiteral("--") + QString::fromLatin1(option.name);
            request.action = CommandLineRequest::Action::SendCommand;
            request.command = option.command;
        }
    }
    if (p.parser.isSet(p.settings)) {
        chosen << QStringLiteral("--settings");
        request.command = InstanceCommand::OpenSettings;
    }
    if (chosen.size() > 1)
        return usageError(QStringLiteral("Options %1 cannot be combined.")
                              .arg(chosen.join(QStringLiteral(" and "))));
    return request;
}

QString helpText()
{
    Parser p;
    QString text = p.parser.helpText();
    // The parser names the program by its path (or not at all without an application).
    const qsizetype end = text.indexOf(QStringLiteral(" [options]"));
    if (text.startsWith(QStringLiteral("Usage: ")) && end > 0)
        text.replace(7, end - 7, QStringLiteral("wendlo"));
    return text;
}

QString versionText()
{
    return QStringLiteral("Wendlo ") + QStringLiteral(WENDLO_VERSION) + QLatin1Char('\n');
}

} // namespace CommandLine
