#include "cli/clicommon.h"
#include "files/usaveloadfile.h"
#include "model/uglobal.h"
#include "model/unumtext.h"

#include <iostream>

// Describes a measurement file as it is on disk, whatever SampleCount the settings give.
int CmdInfo(GlobalValue& /*g*/, CliArgs args) {
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, {}, {}, parsed, message))
        return UsageError(message);
    if (parsed.Positional.size() != 1)
        return UsageError("info needs one measurement file");

    _sMeasureFile file;
    if (const FileResult read = ReadMeasureFile(parsed.Positional[0], file); !read) {
        std::cerr << "qm4750-cli: " << read.Message << "\n";
        return ExitBadFile;
    }
    const std::size_t p = file.Tref.size();
    const std::size_t n = file.Samples.size();
    std::cout << "Reference temperatures: " << p << "\nSamples: " << n << "\n";
    for (std::size_t j = 0; j < n; ++j) {
        const _sMeasureFileSample& s = file.Samples[j];
        std::cout << "Sample " << j << ": DevId=" << s.iDevId << " A=" << ShortestDouble(s.dA)
                  << " B=" << ShortestDouble(s.dB) << " L=" << ShortestDouble(s.dL)
                  << " WireL=" << ShortestDouble(s.dWireL) << " WireD=" << ShortestDouble(s.dWireD)
                  << " mm, I=" << ShortestDouble(s.dCurrent) << " mA\n";
    }
    for (std::size_t k = 0; k < p; ++k) {
        std::size_t complete = 0;
        for (std::size_t j = 0; j < n; ++j)
            complete += file.Point(j, k).IsComplete() ? 1 : 0;
        std::cout << "Tref " << k << ": " << ShortestDouble(file.Tref[k]) << " K, complete points "
                  << complete << " of " << n << "\n";
    }
    return ExitOk;
}
