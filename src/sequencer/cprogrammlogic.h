#pragma once

#include "conditioning/cvalueavr.h"
#include "conditioning/cvaluestab.h"

#include <array>
#include <cstdint>

class GlobalValue;
class CQm4750Device;
class CSample;
struct _sTelemetry;

// States of the sequencer. The numbers are part of its contract: the window and the tests read them.
enum TLogicState : std::uint32_t {
    lsIdle = 0,            // no run, or the run has finished
    lsWaitStable = 1,      // waiting for T1 and T2 to become stable
    lsStable = 2,          // both stable; the mode measurement begins
    lsCollect = 3,         // skipping the countdown, then averaging
    lsStoreMode = 4,       // averages complete; store them and move on
    lsWaitSetPoint = 5,    // a new set point was sent; waiting for PID channel 0 to report it
    lsSetPointReached = 6, // one record's pause before the stability wait
};

// Start results.
inline constexpr int StartOk = 0;
inline constexpr int StartNothingToDo = -100;       // every reference temperature is done (or none)
inline constexpr int StartNoUnfinishedPoint = -200; // chosen temperature has no unfinished point
inline constexpr int StartNoSampleInUse = -300;     // chosen temperature has no sample in use

// The measurement sequencer: walks the reference temperatures of the store in store order and,
// at each, the point of every sample in use; measures OFF, DC+, AC, DC- and stores the averages.
// It has no timer of its own: the acquisition loop calls Process once per telemetry record while
// IsRunning is true, so every wait is a count of records (seconds times DataRate).
//
// The settings, the samples and the store are those of the GlobalValue given at construction;
// the detector and averager sizes are read there once. Commands go to the device attached with
// SetDevice; without one they are dropped (their results are ignored anyway).
class CProgrammLogic {
public:
    explicit CProgrammLogic(GlobalValue& g);
    ~CProgrammLogic();
    CProgrammLogic(const CProgrammLogic&) = delete;
    CProgrammLogic& operator=(const CProgrammLogic&) = delete;

    void SetDevice(CQm4750Device* device) { pDevice = device; }
    CQm4750Device* GetDevice() const { return pDevice; }

    // Begins a run at the first unfinished work of the store: StartOk, or one of the negative
    // results above (then nothing was sent and no run is in progress).
    int Start();
    // Ends a run at once and puts the instrument into its rest state (current off, both PID
    // channels to 300 K). Also valid without a run; it then sends the same commands.
    void Stop();
    // One step of the state machine for one record. Ignored while no run is in progress.
    void Process(const _sTelemetry& record);

    bool IsRunning() const { return bRunning; }
    int GetMode() const { return iMode; }
    int GetSampleIndex() const { return iSample; }
    int GetTemperatureIndex() const { return iTemperature; }
    TLogicState GetState() const { return iState; }
    int GetCountdown() const { return iCountdown; }

private:
    GlobalValue& Global;
    CQm4750Device* pDevice = nullptr;

    bool bRunning = false;
    TLogicState iState = lsIdle;
    int iMode = 0;
    int iCountdown = 0;
    int iTemperature = -1;
    int iSample = -1;

    // What the current point was when it was chosen: the store can change under a running
    // sequencer, and it must never write its averages into a point of another temperature or
    // sample.
    double dPointTref = 0.0;
    const CSample* pPointSample = nullptr;

    CValueStab StabA; // T1
    CValueStab StabB; // T2
    // T1, T2, U, I and the T of PID channel 0 (Tamb).
    std::array<CValueAvr<double>, 5> Avr;

    void ChangeTemperature(double t);
    void ChangeSample(int temperature, int sample);
    void ChangeMode(int mode);
    bool CountDown();
    int CountdownFromSeconds(int seconds) const;
    int NextTemperature() const;
    int NextSample(int temperature) const;
    void ChoosePoint(int temperature, int sample);
    bool PointStillCurrent() const;
    void StoreMode();
};
