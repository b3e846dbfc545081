#include "cli/clicommon.h"
#include "model/uglobal.h"
#include "model/unumtext.h"
#include "model/usettingstable.h"

#include <iostream>

int CmdSettings(GlobalValue& g, CliArgs args) {
    if (!args.empty())
        return UsageError("settings takes no arguments");
    for (const SettingField& field : SettingFields(g))
        std::cout << field.Section << "." << field.Key << " = " << FormatSettingValue(field) << "\n";
    for (std::size_t i = 0; i < g.Samples.size(); ++i) {
        const CSample& sample = *g.Samples[i];
        std::cout << "Sample " << i << ": DevId=" << sample.GetDevId() << " Use=" << (sample.GetUse() ? 1 : 0)
                  << " Current=" << ShortestDouble(sample.GetCurrent(usMilli)) << " mA\n";
    }
    return ExitOk;
}
