#include "cli/clicommon.h"
#include "evaluation/ccalcdata.h"
#include "evaluation/upolinomtext.h"
#include "files/usaveloadfile.h"
#include "model/uglobal.h"
#include "model/unumtext.h"

#include <array>
#include <charconv>
#include <iostream>

namespace {
// "A,S,K,Z": four degrees of 0 to MaxPolynomialDegree.
bool ParseDegrees(const std::string& text, std::array<int, 4>& degrees) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < degrees.size(); ++i) {
        const std::size_t comma = text.find(',', start);
        const bool last = i + 1 == degrees.size();
        if (last != (comma == std::string::npos))
            return false;
        const auto value = ParseInt32(std::string_view(text).substr(start, comma - start));
        if (!value || *value < 0 || *value > MaxPolynomialDegree)
            return false;
        degrees[i] = *value;
        start = comma + 1;
    }
    return true;
}

std::string General6(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}
} // namespace

// The four fitted polynomials of one sample of a measurement file, as the results page fits them.
int CmdFit(GlobalValue& g, CliArgs args) {
    static constexpr std::string_view withValue[] = {"sample", "degrees"};
    static constexpr std::string_view flags[] = {"no-correction"};
    ParsedArgs parsed;
    std::string message;
    if (!ParseArgs(args, withValue, flags, parsed, message))
        return UsageError(message);
    if (parsed.Positional.size() != 1)
        return UsageError("fit needs one measurement file");
    const std::string* sampleText = parsed.Value("sample");
    if (sampleText == nullptr)
        return UsageError("fit needs --sample S");
    const auto sample = ParseInt32(*sampleText);
    if (!sample || *sample < 0 || static_cast<std::size_t>(*sample) >= g.Samples.size())
        return UsageError("--sample must be a sample index from 0 to " +
                          std::to_string(g.Samples.size() - 1));
    std::array<int, 4> degrees = g.sDataConfig.Degree;
    if (const std::string* text = parsed.Value("degrees"); text != nullptr && !ParseDegrees(*text, degrees))
        return UsageError("--degrees must be four degrees of 0 to " + std::to_string(MaxPolynomialDegree) +
                          " for Alpha, Sigma, Kappa and Z, such as 3,3,2,2");
    const bool corrected = g.sDataConfig.bUseCorrection && !parsed.Has("no-correction");

    if (const FileResult loaded = LoadMeasureFile(parsed.Positional[0], g); !loaded) {
        std::cerr << "qm4750-cli: " << loaded.Message << "\n";
        return ExitBadFile;
    }

    const auto s = static_cast<std::size_t>(*sample);
    std::cout << "Sample " << s << " (DevId " << g.Samples[s]->GetDevId() << "), "
              << g.MeasureData.GetTemperatureCount() << " reference temperatures, "
              << (corrected ? "Kappa and Z corrected for the lead wires" : "no correction") << "\n";
    const CCalcData data(&g.MeasureData);
    struct Property {
        const char* Name;
        TPropertyIndex Index;
        TCalcValue Value;
    };
    for (const Property& property :
         {Property{"Alpha, V/K", piAlpha, cvAlpha}, Property{"Sigma, S/m", piSigma, cvSigma},
          Property{"Kappa, W/(m K)", piKappa, corrected ? cvKappaCorr : cvKappa},
          Property{"Z, 1/K", piZ, corrected ? cvZCorr : cvZ}}) {
        CCalcPolinom poly;
        const int degree = degrees[property.Index];
        poly.SetDegree(degree);
        const bool built = data.FitValue(property.Value, s, poly);
        std::cout << property.Name << ": ";
        if (!built)
            std::cout << "no fit, no point of this sample gives a value\n";
        else if (!poly.IsFitted())
            std::cout << poly.GetCount() << " points, no fit of degree " << degree
                      << " (too few distinct temperatures)\n";
        else
            std::cout << poly.GetCount() << " points, degree " << degree << ", rms "
                      << General6(poly.GetRms()) << "\n  " << PolinomText(poly) << "\n";
    }
    return ExitOk;
}
