#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

using Action = CommandLineRequest::Action;

struct CommandLineCase
{
    const char* name;
    QStringList arguments; // after the program's name
    Action action;
    InstanceCommand command;
    const char* errorPart; // for usage errors
};

class CommandLineParse : public ::testing::TestWithParam<CommandLineCase>
{
};

TEST_P(CommandLineParse, ReadsTheRequest)
{
    const CommandLineCase& c = GetParam();
    const CommandLineRequest request =
        CommandLine::parse(QStringList{QStringLiteral("/usr/bin/wendlo")} + c.arguments);
    EXPECT_EQ(request.action, c.action) << request.error.toStdString();
    if (c.action == Action::UsageError)
        EXPECT_TRUE(request.error.contains(QString::fromUtf8(c.errorPart)))
            << request.error.toStdString();
    else
        EXPECT_EQ(request.command, c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineParse,
    ::testing::Values(
        CommandLineCase{"Nothing", {}, Action::Launch, InstanceCommand::Reopen, ""},
        CommandLineCase{"Help", {"--help"}, Action::ShowHelp, InstanceCommand::Reopen, ""},
        CommandLineCase{"ShortHelp", {"-h"}, Action::ShowHelp, InstanceCommand::Reopen, ""},
        CommandLineCase{"Version", {"--version"}, Action::ShowVersion, InstanceCommand::Reopen, ""},
        CommandLineCase{"ShortVersion", {"-v"}, Action::ShowVersion, InstanceCommand::Reopen, ""},
        CommandLineCase{"HelpWinsOverCommands",
                        {"--quit", "--help"},
                        Action::ShowHelp,
                        InstanceCommand::Reopen,
                        ""},
        CommandLineCase{"Start",
                        {"--start-dictation"},
                        Action::SendCommand,
                        InstanceCommand::StartDictation,
                        ""},
        CommandLineCase{
            "Stop", {"--stop-dictation"}, Action::SendCommand, InstanceCommand::StopDictation, ""},
        CommandLineCase{"Toggle",
                        {"--toggle-dictation"},
                        Action::SendCommand,
                        InstanceCommand::ToggleDictation,
                        ""},
        CommandLineCase{"Quit", {"--quit"}, Action::SendCommand, InstanceCommand::Quit, ""},
        CommandLineCase{
            "Settings", {"--settings"}, Action::Launch, InstanceCommand::OpenSettings, ""},
        CommandLineCase{"SettingsWithACommand",
                        {"--settings", "--quit"},
                        Action::UsageError,
                        InstanceCommand::Reopen,
                        "cannot be combined"},
        CommandLineCase{"SameCommandTwice",
                        {"--quit", "--quit"},
                        Action::SendCommand,
                        InstanceCommand::Quit,
                        ""},
        CommandLineCase{"QtDisplayOptions",
                        {"-platform", "xcb", "-display", ":1"},
                        Action::Launch,
                        InstanceCommand::Reopen,
                        ""},
        CommandLineCase{
            "Unknown", {"--frobnicate"}, Action::UsageError, InstanceCommand::Reopen, "frobnicate"},
        CommandLineCase{"UnknownShort", {"-x"}, Action::UsageError, InstanceCommand::Reopen, "'x'"},
        CommandLineCase{
            "Positional", {"notes.txt"}, Action::UsageError, InstanceCommand::Reopen, "notes.txt"},
        CommandLineCase{"Conflicting",
                        {"--start-dictation", "--stop-dictation"},
                        Action::UsageError,
                        InstanceCommand::Reopen,
                        "cannot be combined"},
        CommandLineCase{
            "ValueForAFlag", {"--quit=now"}, Action::UsageError, InstanceCommand::Reopen, "quit"},
        CommandLineCase{"MissingValue",
                        {"-platform"},
                        Action::UsageError,
                        InstanceCommand::Reopen,
                        "platform"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, HelpNamesTheProgramAndEveryCommandButNotQtsOptions)
{
    const QString help = CommandLine::helpText();
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: wendlo [options]"))) << help.toStdString();
    for (const char* option : {"--help", "--version", "--start-dictation", "--stop-dictation",
                               "--toggle-dictation", "--quit", "--settings"})
        EXPECT_TRUE(help.contains(QString::fromLatin1(option))) << option;
    EXPECT_FALSE(help.contains(QStringLiteral("platform")));
}

TEST(CommandLine, VersionIsTheBuildsOwn)
{
    EXPECT_EQ(CommandLine::versionText(), QStringLiteral("Wendlo " WENDLO_VERSION "\n"));
}

} // namespace
