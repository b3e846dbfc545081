#include "cli/clicommon.h"
#include "files/uexportfile.h"
#include "files/usaveloadfile.h"
#include "model/uglobal.h"

#include <iostream>

// Loads a measurement file with the configured SampleCount and writes its results export.
int CmdExport(GlobalValue& g, CliArgs args) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {}, {}, parsed, message))
        return UsageError(message);
    if (parsed.Positional.size() != 2)
        return UsageError("export needs a measurement file and an output file");
    const std::filesystem::path in = parsed.Positional[0];
    const std::filesystem::path out = parsed.Positional[1];
    std::error_code ec;
    if (std::filesystem::equivalent(in, out, ec))
        return UsageError("the export would replace the measurement file " + in.string());

    if (const FileResult loaded = LoadMeasureFile(in, g); !loaded) {
        std::cerr << "qm4750-cli: " << loaded.Message << "\n";
        return ExitBadFile;
    }
    if (const FileResult written = ExportResultFile(out, g.MeasureData); !written) {
        std::cerr << "qm4750-cli: " << written.Message << "\n";
        return ExitFailure;
    }
    return ExitOk;
}
