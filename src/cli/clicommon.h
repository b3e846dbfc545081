#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class GlobalValue;

// Exit statuses of the command-line program.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1; // the work itself failed (a file could not be written, ...)
inline constexpr int ExitUsage = 2;   // the command line is wrong
inline constexpr int ExitBadFile = 3; // an input file is damaged or not what it should be

using CliArgs = std::span<const std::string>;

// One command: its name, its line of the usage text and the function that runs it with the
// arguments after the command name. Results go to stdout, errors to stderr.
struct CliCommand {
    std::string_view Name;
    std::string_view Usage;
    int (*Run)(GlobalValue& g, CliArgs args);
};

std::span<const CliCommand> CliCommands();

// Prints the usage text to stderr (after the message, if any) and returns ExitUsage.
int UsageError(std::string_view message = {});

// Splits "--name value" options from positional arguments. Every option named in withValue takes
// the next argument as its value; every option in flags takes none. Anything else starting with
// "--" is an error (message set, returns false).
struct ParsedArgs {
    std::vector<std::string> Positional;
    std::vector<std::pair<std::string, std::string>> Options; // name (without "--"), value
    bool Has(std::string_view name) const;
    const std::string* Value(std::string_view name) const;
};
bool ParseArgs(CliArgs args, std::span<const std::string_view> withValue,
               std::span<const std::string_view> flags, ParsedArgs& out, std::string& message);

// Commands, one file each.
int CmdSettings(GlobalValue& g, CliArgs args);
int CmdInfo(GlobalValue& g, CliArgs args);
int CmdExport(GlobalValue& g, CliArgs args);
int CmdFit(GlobalValue& g, CliArgs args);
int CmdRun(GlobalValue& g, CliArgs args);
