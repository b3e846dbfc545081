#include "sequencer/cacquisitionloop.h"

#include "model/uglobal.h"
#include "sequencer/cprogrammlogic.h"

CAcquisitionLoop::CAcquisitionLoop(GlobalValue& g, CQm4750Device& device, TClock clock)
    : Global(g), Logic(*g.ProgrammLogic), Device(device), Clock(std::move(clock)) {
    Logic.SetDevice(&device);
}

_sTickResult CAcquisitionLoop::Tick() {
    _sTickResult result;
    if (!Device.IsOpen())
        return result;

    std::array<std::uint8_t, 5> state{};
    if (!Device.ReadCycleState(state))
        return result;
    result.bStateRead = true;
    result.CycleState = state[0] & 0x0F;
    if (result.CycleState != CYCLE_IDLE && result.CycleState != CYCLE_READY)
        return result;

    if (result.CycleState == CYCLE_READY) {
        _sTelemetry record{};
        if (!Device.ReadTelemetry(0, record))
            return result; // the record stays in the instrument; the next tick reads it again
        result.bRecordRead = true;
        result.Record = record;

        // Without a StartCycle of our own there is no interval to measure; an interval of 0 ms
        // has no rate. In both cases the previous rate stands.
        const std::uint32_t interval = Clock() - uLastTrigger;
        if (bTriggered && interval > 0)
            Global.DataRate = 1000.0 / static_cast<double>(interval);

        if (Logic.IsRunning()) {
            Logic.Process(record);
            result.bProcessed = true;
            if (!bRunFlag) {
                bRunFlag = true;
                result.bRunStarted = true;
            }
            const int mode = Logic.GetMode();
            const int sample = Logic.GetSampleIndex();
            const int temperature = Logic.GetTemperatureIndex();
            if (mode != iCachedMode || sample != iCachedSample || temperature != iCachedTemperature) {
                iCachedMode = mode;
                iCachedSample = sample;
                iCachedTemperature = temperature;
                result.bPositionChanged = true;
                Global.bMeasureSaved = false;
            }
        }
        if (!Logic.IsRunning() && bRunFlag) {
            bRunFlag = false;
            result.bRunEnded = true;
        }
    }

    Device.StartCycle(0);
    uLastTrigger = Clock();
    bTriggered = true;
    result.bCycleStarted = true;
    return result;
}
