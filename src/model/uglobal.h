#pragma once

#include "model/cmeasuredata.h"
#include "model/csample.h"

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class CProgrammLogic;

// Highest polynomial degree the program offers (settings, results page, command line).
inline constexpr int MaxPolynomialDegree = 5;

// Polynomial degree slots of the four properties, in the order of the degree array.
enum TPropertyIndex { piAlpha = 0, piSigma = 1, piKappa = 2, piZ = 3 };

// The program-wide settings record and the owner of the samples and the measurement store.
// Settings are read once from the INI file at construction; only Timer1000TimeOut is written back.
// Field names are the INI keys; the nested records are the INI sections.
class GlobalValue {
public:
    // Reads the settings from iniPath; a missing file or key gives the defaults.
    explicit GlobalValue(std::filesystem::path iniPath);
    // Writes Timer1000TimeOut back when bWriteBackAtExit is set; a failure is not fatal.
    ~GlobalValue();

    GlobalValue(const GlobalValue&) = delete;
    GlobalValue& operator=(const GlobalValue&) = delete;

    // "<folder of the running program>/qm4750.INI": the GUI and the command-line program share it.
    static std::filesystem::path DefaultIniPath();

    // --- settings, in the order of the file ---
    int Timer1000TimeOut = 1000;
    int SampleCount = 3;
    struct {
        double Tmin = 220.0; // stored in 0.01 K
        double Tmax = 400.0;
    } TRange;
    struct {
        int TStepMin = 1;
        int TStepMax = 20;
    } sTrackBar;
    struct {
        int sAvrData_A1 = 10;
        int sAvrData_A2 = 5;
        int sAvrData_A3 = 3;
        double sAvrData_dStabVal = 0.3; // stored in 0.001 K
        int sAvrPoint = 50;
        int sWaitPoint_Sec = 20;
        int sWaitPointSampleChange_Sec = 30;
        int KappaIteration = 1;
        std::array<int, 4> Degree{5, 5, 5, 5}; // indexed by TPropertyIndex
        bool bUseCorrection = true;
    } sDataConfig;
    struct {
        int TPointPenColor = 16711680;
        int TPointBrushColor = 255;
        int SamplePenColor = 16711680;
        int SampleBrushColor = 255;
    } sTreeView;
    struct {
        int iVisiblePoints = 1200;
        int iInVisiblePoints = 1200;
        bool bShowPol = false;
        int iPolOffset = 20;
    } sChart;
    struct {
        int ColorHeat = 255;
        int ColorCool = 16711680;
        int ColorIdle = 12632256;
    } sPID;

    // --- program-wide state ---
    int TimerId = 1000;
    int TimerHandle = 0;
    double DataRate = 1.0;
    bool bMeasureSaved = true;

    // One sample per position; the store's points point into it, so it never reallocates after
    // construction (SampleCount does not change while the program runs).
    std::vector<std::unique_ptr<CSample>> Samples;
    CMeasrueData MeasureData;
    // The measurement sequencer over these samples and this store; created after the settings
    // are read, since it sizes its detectors and averagers from them.
    std::unique_ptr<CProgrammLogic> ProgrammLogic;

    // Values of the settings file that could not be used as they stood, one line each:
    // the key, the value found and the value used instead.
    std::vector<std::string> Warnings;

    // Whether the destructor writes Timer1000TimeOut back (the command-line program never writes).
    bool bWriteBackAtExit = true;

    const std::filesystem::path& IniPath() const { return m_iniPath; }

    // Writes Timer1000TimeOut into the settings file, keeping every other line of it as it is.
    // Returns false (and changes nothing) when the file cannot be read or written.
    bool WriteBack() const;

    // Reads the settings file into the fields above (called by the constructor).
    void Load();

private:
    std::filesystem::path m_iniPath;
    void ClampToSoundValues();
};
