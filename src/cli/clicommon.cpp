#include "cli/clicommon.h"

#include <algorithm>
#include <iostream>

namespace {
const CliCommand Commands[] = {
    {"settings", "settings                 every setting with the value in force", CmdSettings},
    {"info", "info FILE.q47            counts, samples, completeness per temperature", CmdInfo},
    {"export", "export FILE.q47 OUT.txt  the results export of a measurement file", CmdExport},
    {"fit",
     "fit FILE.q47 --sample S [--degrees A,S,K,Z] [--no-correction]\n"
     "                           the four fitted polynomials (formula text, rms)",
     CmdFit},
    {"run",
     "run --plan PLAN [--out FILE.q47] [--export OUT.txt] [--sim FILE] [--seed N]\n"
     "                           a whole measurement against the built-in simulator;\n"
     "                           --out is rewritten after every stored mode\n"
     "  run --resume FILE.q47 [--out FILE.q47] [--export OUT.txt] [--sim FILE] [--seed N]\n"
     "                           continues an interrupted run from its file\n"
     "  run ... --link ENDPOINT [--speed F] [--max-silence SEC]\n"
     "                           the same against an instrument on tcp://HOST:PORT or\n"
     "                           serial:/dev/DEVICE[?baud=N] in real time (times F)",
     CmdRun},
};
} // namespace

std::span<const CliCommand> CliCommands() {
    return Commands;
}

int UsageError(std::string_view message) {
    if (!message.empty())
        std::cerr << "qm4750-cli: " << message << "\n";
    std::cerr << "Usage: qm4750-cli [--ini FILE] COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const CliCommand& command : CliCommands())
        std::cerr << "  " << command.Usage << "\n";
    return ExitUsage;
}

bool ParsedArgs::Has(std::string_view name) const {
    return std::any_of(Options.begin(), Options.end(), [&](const auto& o) { return o.first == name; });
}

const std::string* ParsedArgs::Value(std::string_view name) const {
    const std::string* found = nullptr;
    for (const auto& option : Options)
        if (option.first == name)
            found = &option.second; // the last one given wins
    return found;
}

bool ParseArgs(CliArgs args, std::span<const std::string_view> withValue,
               std::span<const std::string_view> flags, ParsedArgs& out, std::string& message) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "--") {
            out.Positional.push_back(arg);
            continue;
        }
        const std::string name = arg.substr(2);
        if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
            out.Options.emplace_back(name, std::string{});
        } else if (std::find(withValue.begin(), withValue.end(), name) != withValue.end()) {
            if (i + 1 >= args.size()) {
                message = "option " + arg + " needs a value";
                return false;
            }
            out.Options.emplace_back(name, args[++i]);
        } else {
            message = "unknown option " + arg;
            return false;
        }
    }
    return true;
}
