#include "cli/clirunner.h"

#include "support/tempdir.h"

#include <cstdlib>
#include <stdexcept>
#include <sys/wait.h>

namespace {
std::string Quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}
} // namespace

CliResult RunCli(const std::vector<std::string>& args) {
    const char* cli = std::getenv("QM_CLI");
    if (cli == nullptr)
        throw std::runtime_error("QM_CLI is not set; run the tests through ctest");
    TempDir dir;
    std::string command = Quote(cli);
    for (const auto& arg : args)
        command += " " + Quote(arg);
    command += " >" + Quote((dir / "out").string()) + " 2>" + Quote((dir / "err").string()) + " </dev/null";
    const int status = std::system(command.c_str());
    CliResult result;
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.Out = TempDir::Read(dir / "out");
    result.Err = TempDir::Read(dir / "err");
    return result;
}
