#pragma once

#include <string>
#include <vector>

// Runs the qm4750-cli program that the build made (its path comes from the environment variable
// QM_CLI that CTest sets) and collects what it printed.
struct CliResult {
    int ExitCode = -1;
    std::string Out;
    std::string Err;
};

CliResult RunCli(const std::vector<std::string>& args);
