// qm4750-cli: the measurement program without a window. It reads the same settings file as the GUI
// and never writes it.

#include "cli/clicommon.h"
#include "model/uglobal.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::filesystem::path iniPath = GlobalValue::DefaultIniPath();

    std::size_t next = 0;
    if (next < args.size() && args[next] == "--ini") {
        if (next + 1 >= args.size())
            return UsageError("option --ini needs a file name");
        iniPath = args[next + 1];
        next += 2;
    }
    if (next >= args.size())
        return UsageError();
    if (args[next] == "--help" || args[next] == "-h") {
        UsageError();
        return ExitOk;
    }

    const std::string& name = args[next];
    for (const CliCommand& command : CliCommands()) {
        if (command.Name != name)
            continue;
        GlobalValue g(iniPath);
        g.bWriteBackAtExit = false;
        for (const std::string& warning : g.Warnings)
            std::cerr << "qm4750-cli: settings: " << warning << "\n";
        try {
            return command.Run(g, CliArgs(args).subspan(next + 1));
        } catch (const std::exception& e) {
            std::cerr << "qm4750-cli: " << e.what() << "\n";
            return ExitFailure;
        }
    }
    return UsageError("unknown command '" + name + "'");
}
