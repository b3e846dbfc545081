#include "simulator/csimconfig.h"

#include "files/uatomicfile.h"
#include "model/csample.h"
#include "model/unumtext.h"

#include <SimpleIni.h>

#include <cmath>
#include <numbers>
#include <optional>

double _sSimSample::SampleConductance(double kelvin) const {
    return Kappa.At(kelvin) * (A * 1e-3) * (B * 1e-3) / (L * 1e-3);
}

double _sSimSample::WireConductance() const {
    if (WireL <= 0.0 || WireD <= 0.0)
        return 0.0;
    const double d = WireD * 1e-3;
    return 2.0 * 300.0 * std::numbers::pi * d * d / (4.0 * (WireL * 1e-3));
}

double _sSimSample::Resistance(double kelvin) const {
    return (L * 1e-3) / (Sigma.At(kelvin) * (A * 1e-3) * (B * 1e-3));
}

_sSimConfig _sSimConfig::Defaults() {
    _sSimConfig config;
    _sSimSample bite;
    bite.Name = "Bi2Te3-like";
    bite.Alpha = {200e-6, 0.0015};
    bite.Sigma = {1.0e5, -0.003};
    bite.Kappa = {1.5, 0.001};

    _sSimSample skutterudite;
    skutterudite.Name = "Skutterudite-like";
    skutterudite.A = 2.0;
    skutterudite.B = 2.0;
    skutterudite.L = 5.0;
    skutterudite.Current = 50.0;
    skutterudite.Alpha = {150e-6, 0.002};
    skutterudite.Sigma = {1.5e5, -0.002};
    skutterudite.Kappa = {3.0, -0.001};

    _sSimSample sige;
    sige.Name = "SiGe-like";
    sige.A = 3.0;
    sige.B = 3.0;
    sige.L = 6.0;
    sige.Current = 60.0;
    sige.Alpha = {120e-6, 0.001};
    sige.Sigma = {5.0e4, -0.001};
    sige.Kappa = {4.5, -0.0005};

    config.Samples = {bite, skutterudite, sige};
    return config;
}

namespace {

bool SameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const auto la = static_cast<unsigned char>(*a | ((*a >= 'A' && *a <= 'Z') ? 0x20 : 0));
        const auto lb = static_cast<unsigned char>(*b | ((*b >= 'A' && *b <= 'Z') ? 0x20 : 0));
        if (la != lb)
            return false;
    }
    return *a == *b;
}

// A value may carry a comment after it: "40 ; mA". The reader itself keeps it in the value.
std::string WithoutComment(std::string value) {
    for (std::size_t i = 1; i < value.size(); ++i)
        if ((value[i] == ';' || value[i] == '#') && (value[i - 1] == ' ' || value[i - 1] == '\t')) {
            value.resize(i);
            break;
        }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.pop_back();
    return value;
}

// One number of the description: its key, where it goes, the factor from the file's unit and the
// range of sound values in the file's unit.
struct KeyRule {
    const char* Key;
    double* Target;
    double Scale;
    double Min;
    double Max;
    bool MinExclusive;
};

// Reads the numbers of one section; the first problem comes back as text.
std::optional<std::string> ReadSection(const CSimpleIniA& ini, const char* section,
                                       const std::vector<KeyRule>& rules, std::string* name) {
    CSimpleIniA::TNamesDepend keys;
    ini.GetAllKeys(section, keys);
    for (const auto& entry : keys) {
        const std::string value = WithoutComment(ini.GetValue(section, entry.pItem, ""));
        if (name && SameName(entry.pItem, "Name")) {
            *name = value.empty() ? *name : value;
            continue;
        }
        const KeyRule* rule = nullptr;
        for (const KeyRule& candidate : rules)
            if (SameName(entry.pItem, candidate.Key))
                rule = &candidate;
        const std::string where = std::string("[") + section + "] " + entry.pItem;
        if (!rule)
            return where + ": unknown key";
        const std::optional<double> number = ParseDouble(value);
        if (!number)
            return where + " = \"" + value + "\": not a number";
        const bool tooLow = rule->MinExclusive ? *number <= rule->Min : *number < rule->Min;
        if (tooLow || *number > rule->Max)
            return where + " = " + value + ": must be " + (rule->MinExclusive ? "above " : "at least ") +
                   ShortestDouble(rule->Min) + " and at most " + ShortestDouble(rule->Max);
        *rule->Target = *number * rule->Scale;
    }
    return std::nullopt;
}

std::vector<KeyRule> SimulatorRules(_sSimConfig& c) {
    return {
        {"RoomTemperature", &c.RoomTemperature, 1.0, 3.0, 1000.0, false},
        {"StageTau", &c.StageTau, 1.0, 0.0, 1e5, true},
        {"RampRate", &c.RampRate, 1.0, 0.0, 1e4, true},
        {"SampleTau", &c.SampleTau, 1.0, 0.0, 1e5, true},
        {"PeltierTau", &c.PeltierTau, 1.0, 0.0, 1e5, true},
        {"Gradient", &c.Gradient, 1.0, -10.0, 10.0, false},
        {"ReadyBand", &c.ReadyBand, 1.0, 0.0, 100.0, true},
        {"NoiseT", &c.NoiseT, 1.0, 0.0, 10.0, false},
        {"NoiseU", &c.NoiseU, 1.0, 0.0, 1e4, false},
        {"CycleTime", &c.CycleTime, 1.0, 0.0, 60.0, true},
    };
}

std::vector<KeyRule> SampleRules(_sSimSample& s) {
    return {
        {"A", &s.A, 1.0, 0.0, 1000.0, true},
        {"B", &s.B, 1.0, 0.0, 1000.0, true},
        {"L", &s.L, 1.0, 0.0, 1000.0, true},
        {"WireL", &s.WireL, 1.0, 0.0, 10000.0, false},
        {"WireD", &s.WireD, 1.0, 0.0, 10.0, false},
        {"Current", &s.Current, 1.0, 0.0, 1000.0, false},
        {"Alpha", &s.Alpha.At300, 1e-6, -1e5, 1e5, false},
        {"AlphaTc", &s.Alpha.Tc, 1.0, -0.01, 0.01, false},
        {"Sigma", &s.Sigma.At300, 1.0, 0.0, 1e10, true},
        {"SigmaTc", &s.Sigma.Tc, 1.0, -0.01, 0.01, false},
        {"Kappa", &s.Kappa.At300, 1.0, 0.0, 1e4, true},
        {"KappaTc", &s.Kappa.Tc, 1.0, -0.01, 0.01, false},
    };
}

SimConfigResult Fail(const std::string& origin, const std::string& what) {
    SimConfigResult result;
    result.error = origin + ": " + what;
    return result;
}

} // namespace

SimConfigResult ParseSimConfig(const std::string& text, const std::string& origin) {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    if (ini.LoadData(text.data(), text.size()) < 0)
        return Fail(origin, "cannot be read as an INI file");

    SimConfigResult result;
    result.config = _sSimConfig::Defaults();
    _sSimConfig& config = result.config;

    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    std::vector<bool> present(_sSimConfig::kMaxPositions, false);
    for (const auto& section : sections) {
        if (SameName(section.pItem, "Simulator"))
            continue;
        bool known = false;
        for (int p = 0; p < _sSimConfig::kMaxPositions; ++p) {
            const std::string name = "Sample" + std::to_string(p);
            if (SameName(section.pItem, name.c_str())) {
                present[static_cast<std::size_t>(p)] = known = true;
            }
        }
        if (!known && *section.pItem)
            return Fail(origin, std::string("[") + section.pItem + "]: unknown section");
        if (!known) {
            // keys before any section
            CSimpleIniA::TNamesDepend keys;
            ini.GetAllKeys("", keys);
            if (!keys.empty())
                return Fail(origin, std::string(keys.front().pItem) + ": key outside a section");
        }
    }

    if (auto error = ReadSection(ini, "Simulator", SimulatorRules(config), nullptr))
        return Fail(origin, *error);

    int count = 0;
    while (count < _sSimConfig::kMaxPositions && present[static_cast<std::size_t>(count)])
        ++count;
    for (int p = count; p < _sSimConfig::kMaxPositions; ++p)
        if (present[static_cast<std::size_t>(p)])
            return Fail(origin, "[Sample" + std::to_string(p) + "] without [Sample" + std::to_string(count) +
                                    "]: positions are described from 0 without gaps");
    if (count > 0) {
        config.Samples.clear();
        for (int p = 0; p < count; ++p) {
            _sSimSample sample; // every key starts from the Bi2Te3-like sample
            sample = _sSimConfig::Defaults().Samples.front();
            sample.Name = "Sample" + std::to_string(p);
            const std::string section = "Sample" + std::to_string(p);
            if (auto error = ReadSection(ini, section.c_str(), SampleRules(sample), &sample.Name))
                return Fail(origin, *error);
            config.Samples.push_back(sample);
        }
    }
    result.ok = true;
    return result;
}

SimConfigResult LoadSimConfig(const std::filesystem::path& path) {
    std::string text;
    if (FileResult read = ReadWholeFile(path, text, std::size_t{1} << 20); !read) {
        SimConfigResult result;
        result.error = read.Message; // names the file already
        return result;
    }
    return ParseSimConfig(text, path.string());
}

void ApplySimSample(const _sSimSample& sim, std::int32_t devId, CSample& sample) {
    sample.SetA(sim.A, usMilli);
    sample.SetB(sim.B, usMilli);
    sample.SetL(sim.L, usMilli);
    sample.SetWireL(sim.WireL, usMilli);
    sample.SetWireD(sim.WireD, usMilli);
    sample.SetCurrent(sim.Current, usMilli);
    sample.SetDevId(devId);
    sample.SetUse(true);
}
