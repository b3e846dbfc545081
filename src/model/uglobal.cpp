#include "model/uglobal.h"

#include "model/uinifile.h"
#include "model/unumtext.h"
#include "model/usettingstable.h"
#include "sequencer/cprogrammlogic.h"

#include <SimpleIni.h>
#include <algorithm>
#include <limits>
#include <unistd.h>

namespace {
// Largest sample count we accept: far more positions than any instrument carries, small enough
// that the arrays sized by it stay trivial.
constexpr int MaxSampleCount = 64;

std::string KeyName(const SettingField& f) {
    return std::string(f.Section) + "." + f.Key;
}

void Assign(const SettingField& f, int stored) {
    struct Visitor {
        int stored;
        double factor;
        void operator()(int* v) const { *v = stored; }
        void operator()(double* v) const { *v = stored * factor; }
        void operator()(bool* v) const { *v = stored != 0; }
    };
    std::visit(Visitor{stored, f.Factor}, f.Target);
}
} // namespace

GlobalValue::GlobalValue(std::filesystem::path iniPath) : m_iniPath(std::move(iniPath)) {
    TimerId = 1000;
    Load();
    DataRate = 1.0;
    Samples.reserve(static_cast<std::size_t>(SampleCount));
    for (int i = 0; i < SampleCount; ++i) {
        auto sample = std::make_unique<CSample>();
        sample->SetDevId(i);
        sample->SetCurrent(40.0, usMilli);
        sample->SetUse(true);
        Samples.push_back(std::move(sample));
    }
    ProgrammLogic = std::make_unique<CProgrammLogic>(*this);
    bMeasureSaved = true;
}

GlobalValue::~GlobalValue() {
    if (bWriteBackAtExit)
        WriteBack();
}

std::filesystem::path GlobalValue::DefaultIniPath() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return "qm4750.INI";
    return exe.parent_path() / "qm4750.INI";
}

void GlobalValue::Load() {
    CSimpleIniA ini;
    ini.SetUnicode(true);
    std::error_code ec;
    const bool haveFile = std::filesystem::exists(m_iniPath, ec);
    if (haveFile && ini.LoadFile(m_iniPath.c_str()) < 0)
        Warnings.push_back("The settings file " + m_iniPath.string() + " cannot be read; using the defaults");

    for (const SettingField& field : SettingFields(*this)) {
        int stored = field.Default;
        if (const char* text = ini.GetValue(field.Section, field.Key, nullptr)) {
            if (auto value = ParseInt32(text))
                stored = *value;
            else
                Warnings.push_back(KeyName(field) + " = \"" + text + "\" is not a whole number; using " +
                                   std::to_string(field.Default));
        }
        Assign(field, stored);
    }
    ClampToSoundValues();
}

void GlobalValue::ClampToSoundValues() {
    auto clampInt = [this](int& value, int low, int high, const char* key) {
        const int used = std::clamp(value, low, high);
        if (used != value)
            Warnings.push_back(std::string(key) + " = " + std::to_string(value) + " is out of range; using " +
                               std::to_string(used));
        value = used;
    };
    auto clampDouble = [this](double& value, double low, double high, const char* key) {
        const double used = std::clamp(value, low, high);
        if (used != value)
            Warnings.push_back(std::string(key) + " = " + ShortestDouble(value) + " is out of range; using " +
                               ShortestDouble(used));
        value = used;
    };
    constexpr int intMax = std::numeric_limits<int>::max();

    clampInt(Timer1000TimeOut, 1, intMax, "Timers.Timer1000TimeOut");
    clampInt(SampleCount, 1, MaxSampleCount, "Samples.SampleCount");
    // Temperatures are absolute: below 0 K nothing can be planned or reached.
    clampDouble(TRange.Tmin, 0.0, std::max(TRange.Tmax, 0.0), "TRange.Tmin");
    clampDouble(TRange.Tmax, TRange.Tmin, std::numeric_limits<double>::max(), "TRange.Tmax");
    clampInt(sTrackBar.TStepMax, 1, intMax, "sTrackBar.TStepMax");
    clampInt(sTrackBar.TStepMin, 1, sTrackBar.TStepMax, "sTrackBar.TStepMin");
    clampInt(sDataConfig.sAvrData_A1, 1, intMax, "sDataConfig.sAvrData_A1");
    clampInt(sDataConfig.sAvrData_A2, 1, intMax, "sDataConfig.sAvrData_A2");
    clampInt(sDataConfig.sAvrData_A3, 1, intMax, "sDataConfig.sAvrData_A3");
    clampDouble(sDataConfig.sAvrData_dStabVal, 0.0, std::numeric_limits<double>::max(),
                "sDataConfig.sAvrData_dStabVal");
    clampInt(sDataConfig.sAvrPoint, 1, intMax, "sDataConfig.sAvrPoint");
    clampInt(sDataConfig.sWaitPoint_Sec, 0, intMax, "sDataConfig.sWaitPoint_Sec");
    clampInt(sDataConfig.sWaitPointSampleChange_Sec, 0, intMax, "sDataConfig.sWaitPointSampleChange_Sec");
    static constexpr const char* degreeKeys[] = {"sDataConfig.DegreeOfAlpha", "sDataConfig.DegreeOfSigma",
                                                 "sDataConfig.DegreeOfKappa", "sDataConfig.DegreeOfZ"};
    for (std::size_t k = 0; k < sDataConfig.Degree.size(); ++k)
        clampInt(sDataConfig.Degree[k], 0, MaxPolynomialDegree, degreeKeys[k]);
    // The chart keeps up to the sum of the two, so their sum must stay an int.
    clampInt(sChart.iVisiblePoints, 1, intMax / 2, "sChart.iVisiblePoints");
    clampInt(sChart.iInVisiblePoints, 0, intMax / 2, "sChart.iInVisiblePoints");
    clampInt(sChart.iPolOffset, 0, intMax, "sChart.iPolOffset");
}

bool GlobalValue::WriteBack() const {
    return SetIniKeyInFile(m_iniPath, "Timers", "Timer1000TimeOut", std::to_string(Timer1000TimeOut)).Ok;
}
