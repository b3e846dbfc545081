#include "sequencer/cprogrammlogic.h"

#include "instrument/cqm4750device.h"
#include "model/uglobal.h"

#include <cmath>
#include <limits>

namespace {
// The rest state of the instrument at the end of a run: both PID channels to 300 K.
constexpr double RestTemperature = 300.0;
constexpr double RestPidValue = 2.0;

std::uint32_t AvrCapacity(int size) {
    return size < 1 ? 1u : static_cast<std::uint32_t>(size);
}
} // namespace

CProgrammLogic::CProgrammLogic(GlobalValue& g)
    : Global(g), StabA(g.sDataConfig.sAvrData_A1, g.sDataConfig.sAvrData_A2, g.sDataConfig.sAvrData_A3,
                       g.sDataConfig.sAvrData_dStabVal),
      StabB(g.sDataConfig.sAvrData_A1, g.sDataConfig.sAvrData_A2, g.sDataConfig.sAvrData_A3,
            g.sDataConfig.sAvrData_dStabVal),
      Avr{CValueAvr<double>(AvrCapacity(g.sDataConfig.sAvrPoint)),
          CValueAvr<double>(AvrCapacity(g.sDataConfig.sAvrPoint)),
          CValueAvr<double>(AvrCapacity(g.sDataConfig.sAvrPoint)),
          CValueAvr<double>(AvrCapacity(g.sDataConfig.sAvrPoint)),
          CValueAvr<double>(AvrCapacity(g.sDataConfig.sAvrPoint))} {}

CProgrammLogic::~CProgrammLogic() = default;

int CProgrammLogic::Start() {
    bRunning = true;
    iTemperature = NextTemperature();
    if (iTemperature < 0) {
        bRunning = false;
        return StartNothingToDo;
    }
    const int sample = NextSample(iTemperature);
    if (sample < 0) {
        bRunning = false;
        iTemperature = -1;
        return sample == -1 ? StartNoUnfinishedPoint : StartNoSampleInUse;
    }
    // A countdown left by a stopped run means nothing for this one.
    iCountdown = 0;
    ChoosePoint(iTemperature, sample);
    ChangeSample(iTemperature, iSample);
    ChangeMode(mmOff);
    ChangeTemperature(Global.MeasureData.GetTref(static_cast<std::size_t>(iTemperature)));
    iState = lsWaitSetPoint;
    return StartOk;
}

void CProgrammLogic::Stop() {
    bRunning = false;
    if (pDevice) {
        pDevice->SetMode(mmOff);
        pDevice->SetPid(0, static_cast<float>(RestTemperature), static_cast<float>(RestPidValue));
        pDevice->SetPid(1, static_cast<float>(RestTemperature), static_cast<float>(RestPidValue));
    }
    iTemperature = -1;
    iSample = -1;
}

void CProgrammLogic::Process(const _sTelemetry& record) {
    if (!bRunning)
        return;
    // The store may have changed under the run (a temperature deleted, a file opened): end the
    // run rather than measure into a point that is no longer the one chosen.
    if (!PointStillCurrent()) {
        iState = lsIdle;
        Stop();
        return;
    }
    switch (iState) {
        case lsWaitSetPoint:
            if (record.Pid[0].Flags & PID_READY)
                iState = lsSetPointReached;
            break;
        case lsSetPointReached:
            iState = lsWaitStable;
            break;
        case lsWaitStable:
            if (CountDown())
                break;
            StabA.Add(record.T1);
            StabB.Add(record.T2);
            if (StabA.IsStable() && StabB.IsStable())
                iState = lsStable;
            break;
        case lsStable:
            ChangeMode(mmOff);
            iState = lsCollect;
            break;
        case lsCollect:
            if (CountDown())
                break;
            Avr[0].Add(record.T1);
            Avr[1].Add(record.T2);
            Avr[2].Add(record.U);
            Avr[3].Add(record.I);
            Avr[4].Add(record.Pid[0].T);
            for (const auto& avr : Avr)
                if (avr.Count() < avr.Capacity())
                    return;
            // Stored in this same step; StoreMode always leaves lsStoreMode for the next state.
            iState = lsStoreMode;
            StoreMode();
            break;
        default:
            break;
    }
}

void CProgrammLogic::StoreMode() {
    const auto t = static_cast<std::size_t>(iTemperature);
    const auto s = static_cast<std::size_t>(iSample);
    CMeasrueData& store = Global.MeasureData;
    store.SetModeData(t, s, iMode, Avr[0].Mean(), Avr[1].Mean(), Avr[2].Mean(), Avr[3].Mean(), true);

    const int waitPoint = CountdownFromSeconds(Global.sDataConfig.sWaitPoint_Sec);
    switch (iMode) {
        case mmOff:
            store.SetTamb(t, s, Avr[4].Mean());
            ChangeMode(mmDcPlus);
            iCountdown = waitPoint;
            iState = lsCollect;
            return;
        case mmDcPlus:
            ChangeMode(mmAc);
            iCountdown = waitPoint;
            iState = lsCollect;
            return;
        case mmAc:
            ChangeMode(mmDcMinus);
            iCountdown = waitPoint;
            iState = lsCollect;
            return;
        default: // DC-: the sample is done
            ChangeMode(mmOff);
            iCountdown = 0;
            break;
    }

    // Next work: another sample here, else the first temperature in store order that is not done.
    // The second look is bounded: a temperature that is not done but offers no sample (which a
    // consistent store never shows) ends the run instead of looping.
    int temperature = iTemperature;
    int sample = NextSample(temperature);
    if (sample < 0) {
        temperature = NextTemperature();
        sample = temperature < 0 ? -1 : NextSample(temperature);
    }
    if (sample < 0) {
        iState = lsIdle;
        Stop();
        return;
    }
    ChoosePoint(temperature, sample);
    ChangeSample(temperature, sample);
    if (temperature != iTemperature) {
        iTemperature = temperature;
        ChangeTemperature(Global.MeasureData.GetTref(static_cast<std::size_t>(temperature)));
        iState = lsWaitSetPoint;
    } else {
        iCountdown = CountdownFromSeconds(Global.sDataConfig.sWaitPointSampleChange_Sec);
        iState = lsCollect;
    }
}

void CProgrammLogic::ChangeTemperature(double t) {
    StabA.Reset();
    StabB.Reset();
    if (pDevice)
        pDevice->SetTemperature(static_cast<float>(t));
}

void CProgrammLogic::ChangeSample(int temperature, int sample) {
    const _sMeasurePoint& point =
        Global.MeasureData.GetPoint(static_cast<std::size_t>(temperature), static_cast<std::size_t>(sample));
    if (!pDevice || !point.pSample)
        return;
    pDevice->SelectSample(static_cast<std::uint8_t>(point.pSample->GetDevId()));
    pDevice->SetSampleCurrent(static_cast<float>(point.pSample->GetCurrent(usMilli)));
}

void CProgrammLogic::ChangeMode(int mode) {
    for (auto& avr : Avr)
        avr.Clear();
    if (pDevice)
        pDevice->SetMode(mode);
    iMode = mode;
}

bool CProgrammLogic::CountDown() {
    if (iCountdown > 0)
        --iCountdown;
    return iCountdown > 0;
}

int CProgrammLogic::CountdownFromSeconds(int seconds) const {
    const double records = std::trunc(static_cast<double>(seconds) * Global.DataRate);
    // A rate that is not a sound number (or absurdly high) must not turn into an undefined cast.
    if (!(records > 0.0))
        return 0;
    if (records >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    return static_cast<int>(records);
}

int CProgrammLogic::NextTemperature() const {
    const CMeasrueData& store = Global.MeasureData;
    for (std::size_t t = 0; t < store.GetTemperatureCount(); ++t)
        if (!store.IsTemperatureDone(t))
            return static_cast<int>(t);
    return -1;
}

int CProgrammLogic::NextSample(int temperature) const {
    const CMeasrueData& store = Global.MeasureData;
    const auto t = static_cast<std::size_t>(temperature);
    bool anyInUse = false;
    for (std::size_t s = 0; s < store.GetPointCount(t); ++s) {
        const _sMeasurePoint& point = store.GetPoint(t, s);
        if (!point.pSample || !point.pSample->GetUse())
            continue;
        anyInUse = true;
        if (!point.IsComplete())
            return static_cast<int>(s);
    }
    return anyInUse ? -1 : -2;
}

void CProgrammLogic::ChoosePoint(int temperature, int sample) {
    const auto t = static_cast<std::size_t>(temperature);
    iSample = sample;
    dPointTref = Global.MeasureData.GetTref(t);
    pPointSample = Global.MeasureData.GetPoint(t, static_cast<std::size_t>(sample)).pSample;
}

bool CProgrammLogic::PointStillCurrent() const {
    if (iTemperature < 0 || iSample < 0)
        return false;
    const CMeasrueData& store = Global.MeasureData;
    const auto t = static_cast<std::size_t>(iTemperature);
    const auto s = static_cast<std::size_t>(iSample);
    // Same index, same reference temperature, same sample: whatever else changed in the store,
    // the averages still belong to this point.
    return store.HasPoint(t, s) && store.GetTref(t) == dPointTref &&
           store.GetPoint(t, s).pSample == pPointSample;
}
