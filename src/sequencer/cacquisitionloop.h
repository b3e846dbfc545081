#pragma once

#include "instrument/cqm4750device.h"

#include <cstdint>
#include <functional>

class GlobalValue;
class CProgrammLogic;

// What one acquisition tick did, for the caller to show. The loop has already done the work
// (DataRate, the sequencer step, bMeasureSaved); the caller only displays.
struct _sTickResult {
    // The cycle state was read; CycleState holds its low four bits (otherwise -1). A state that was
    // not read is not acted on: no telemetry read, no StartCycle.
    bool bStateRead = false;
    int CycleState = -1;
    // A telemetry record was read in this tick: Record holds it; show it and chart it. A failed
    // read leaves this false and Record all zero, and nothing was passed to the sequencer.
    bool bRecordRead = false;
    _sTelemetry Record{};
    // The record went to the sequencer's Process.
    bool bProcessed = false;
    // The loop saw the sequencer running for the first time since the last run ended (repaint the
    // tree of temperature points).
    bool bRunStarted = false;
    // The sequencer's mode, sample or temperature index changed in this tick (repaint the tree;
    // bMeasureSaved has been cleared).
    bool bPositionChanged = false;
    // The loop saw the run end in this tick, whether it finished by itself or was stopped (repaint
    // the tree, set the buttons). Set at the first record read after the end.
    bool bRunEnded = false;
    // StartCycle was sent (the cycle state was 0 or 7).
    bool bCycleStarted = false;
};

// One acquisition tick, shared by the main window (called from its timer) and the command-line
// program (called in a loop on a virtual clock):
//   1. nothing while the link is closed;
//   2. read the cycle state; unless it is 0 or 7, wait for a later tick;
//   3. on 7, read the telemetry record; measure DataRate as 1000 / (ms since the last
//      StartCycle); while a run is active pass the record to the sequencer and follow its
//      position (a change marks the measurement unsaved); notice the end of a run;
//   4. on 0 or 7, StartCycle and take the trigger time.
// A telemetry read that fails leaves the cycle unstarted, so the record is read again next tick.
class CAcquisitionLoop {
public:
    // Millisecond tick count; it may wrap around at 2^32 (intervals are taken modulo 2^32).
    using TClock = std::function<std::uint32_t()>;

    // The sequencer is g's; the loop attaches device to it, so both speak to the same instrument.
    // g, device and the sequencer must outlive the loop.
    CAcquisitionLoop(GlobalValue& g, CQm4750Device& device, TClock clock);

    _sTickResult Tick();

    // The run flag: the loop has seen the sequencer running and not yet seen it end.
    bool IsRunFlagSet() const { return bRunFlag; }
    // The sequencer position as last seen (0, 0, 0 before the first run).
    int GetCachedMode() const { return iCachedMode; }
    int GetCachedSample() const { return iCachedSample; }
    int GetCachedTemperature() const { return iCachedTemperature; }
    // Time of the last StartCycle, 0 before the first.
    std::uint32_t GetLastTriggerTime() const { return uLastTrigger; }

private:
    GlobalValue& Global;
    CProgrammLogic& Logic;
    CQm4750Device& Device;
    TClock Clock;

    bool bRunFlag = false;
    int iCachedMode = 0;
    int iCachedSample = 0;
    int iCachedTemperature = 0;
    std::uint32_t uLastTrigger = 0;
    bool bTriggered = false; // a StartCycle has been sent by this loop
};
