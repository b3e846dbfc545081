#include "model/usettingstable.h"

#include "model/uglobal.h"
#include "model/unumtext.h"

std::vector<SettingField> SettingFields(GlobalValue& g) {
    auto& d = g.sDataConfig;
    return {
        {"Timers", "Timer1000TimeOut", 1000, 1.0, &g.Timer1000TimeOut},
        {"Samples", "SampleCount", 3, 1.0, &g.SampleCount},
        {"TRange", "Tmin", 22000, 0.01, &g.TRange.Tmin},
        {"TRange", "Tmax", 40000, 0.01, &g.TRange.Tmax},
        {"sTrackBar", "TStepMin", 1, 1.0, &g.sTrackBar.TStepMin},
        {"sTrackBar", "TStepMax", 20, 1.0, &g.sTrackBar.TStepMax},
        {"sDataConfig", "sAvrData_A1", 10, 1.0, &d.sAvrData_A1},
        {"sDataConfig", "sAvrData_A2", 5, 1.0, &d.sAvrData_A2},
        {"sDataConfig", "sAvrData_A3", 3, 1.0, &d.sAvrData_A3},
        {"sDataConfig", "sAvrData_dStabVal", 300, 0.001, &d.sAvrData_dStabVal},
        {"sDataConfig", "sAvrPoint", 50, 1.0, &d.sAvrPoint},
        {"sDataConfig", "sWaitPoint_Sec", 20, 1.0, &d.sWaitPoint_Sec},
        {"sDataConfig", "sWaitPointSampleChange_Sec", 30, 1.0, &d.sWaitPointSampleChange_Sec},
        {"sDataConfig", "KappaIteration", 1, 1.0, &d.KappaIteration},
        {"sDataConfig", "DegreeOfAlpha", 5, 1.0, &d.Degree[piAlpha]},
        {"sDataConfig", "DegreeOfSigma", 5, 1.0, &d.Degree[piSigma]},
        {"sDataConfig", "DegreeOfKappa", 5, 1.0, &d.Degree[piKappa]},
        {"sDataConfig", "DegreeOfZ", 5, 1.0, &d.Degree[piZ]},
        {"sDataConfig", "bUseCorrection", 1, 1.0, &d.bUseCorrection},
        {"sTreeView", "TPointPenColor", 16711680, 1.0, &g.sTreeView.TPointPenColor},
        {"sTreeView", "TPointBrushColor", 255, 1.0, &g.sTreeView.TPointBrushColor},
        {"sTreeView", "SamplePenColor", 16711680, 1.0, &g.sTreeView.SamplePenColor},
        {"sTreeView", "SampleBrushColor", 255, 1.0, &g.sTreeView.SampleBrushColor},
        {"sChart", "iVisiblePoints", 1200, 1.0, &g.sChart.iVisiblePoints},
        {"sChart", "iInVisiblePoints", 1200, 1.0, &g.sChart.iInVisiblePoints},
        {"sChart", "bShowPol", 0, 1.0, &g.sChart.bShowPol},
        {"sChart", "iPolOffset", 20, 1.0, &g.sChart.iPolOffset},
        {"sPID", "ColorHeat", 255, 1.0, &g.sPID.ColorHeat},
        {"sPID", "ColorCool", 16711680, 1.0, &g.sPID.ColorCool},
        {"sPID", "ColorIdle", 12632256, 1.0, &g.sPID.ColorIdle},
    };
}

std::string FormatSettingValue(const SettingField& field) {
    struct Visitor {
        std::string operator()(int* v) const { return std::to_string(*v); }
        std::string operator()(double* v) const { return ShortestDouble(*v); }
        std::string operator()(bool* v) const { return *v ? "1" : "0"; }
    };
    return std::visit(Visitor{}, field.Target);
}
