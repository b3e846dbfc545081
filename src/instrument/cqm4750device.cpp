#include "instrument/cqm4750device.h"

namespace {

// Receive time-out handed to the link; its unit is the link's.
constexpr std::uint32_t kRxTimeout = 500;

// frame 6 arguments by mode index: OFF, DC+, DC-, AC
constexpr std::uint16_t kModeArgs[4][2] = {{0, 0}, {1, 0}, {1, 1}, {1, 2}};

} // namespace

CQm4750Device::CQm4750Device(CFrameLink& link) : m_link(link) {}

bool CQm4750Device::Open(std::int32_t index) {
    if (m_open)
        return false;
    m_open = m_link.OpenIntr(index);
    return m_open;
}

bool CQm4750Device::Close() {
    if (m_link.CloseIntr())
        m_open = false;
    return !m_open;
}

void CQm4750Device::GetStatusBytes(std::uint8_t* bytes) const {
    bytes[0] = m_statusA;
    bytes[1] = m_statusB;
}

// Exchange rules: error bits cleared first; a held lock fails at once without any bit; every
// failed send or receive sets its bit and uses up an attempt; a reply with another id ends the
// exchange with ERR_ID (no retry); running out of attempts adds ERR_RETRY.
bool CQm4750Device::Exchange(CDeviceFrame& frame, int attempts) {
    m_errorFlags = 0;
    frame.TxLen = static_cast<std::uint8_t>(frame.TxPos - frame.TxData.data());

    std::unique_lock<std::mutex> lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return false;

    bool result = false;
    while (attempts > 0) {
        m_link.PurgeIntr();
        if (!m_link.TxFrame(frame.TxId, frame.TxLen, frame.TxData.data())) {
            m_errorFlags |= ERR_TX;
            --attempts;
            continue;
        }
        std::uint8_t length = 0;
        if (!m_link.RxFrame(kRxTimeout, m_statusA, m_statusB, frame.RxId, length, frame.RxData.data())) {
            m_errorFlags |= ERR_RX;
            --attempts;
            continue;
        }
        // A link that claims more than it may deliver is cut to the buffer, so the terminating
        // zero always lies inside it.
        frame.RxLen = length > CFrameLink::kMaxRxPayload
                          ? static_cast<std::uint8_t>(CFrameLink::kMaxRxPayload)
                          : length;
        frame.RxData[frame.RxLen] = 0;
        result = frame.RxId == frame.TxId;
        if (!result)
            m_errorFlags |= ERR_ID;
        break;
    }
    lock.unlock();

    if (attempts <= 0) {
        m_errorFlags |= ERR_RETRY;
        return false;
    }
    return result;
}

bool CQm4750Device::SetSampleCurrent(float currentMa) {
    CDeviceFrame frame(fiSetSampleCurrent);
    frame.Put<std::uint16_t>(8);
    frame.Put(currentMa);
    return Exchange(frame, 1);
}

bool CQm4750Device::StartCycle(std::uint16_t arg) {
    CDeviceFrame frame(fiStartCycle);
    frame.Put(arg);
    return Exchange(frame, 1);
}

bool CQm4750Device::SetCurrentSource(std::uint16_t first, std::uint16_t second) {
    CDeviceFrame frame(fiSetCurrentSource);
    frame.Put(first);
    frame.Put(second);
    return Exchange(frame, 1);
}

bool CQm4750Device::ReadCycleState(std::array<std::uint8_t, 5>& state) {
    CDeviceFrame frame(fiReadCycleState);
    if (!Exchange(frame, 1))
        return false;
    std::array<std::uint8_t, 5> read{};
    CArgReader reader(frame.RxData.data(), frame.RxLen);
    for (auto& byte : read)
        reader.Get(byte, true);
    if (!reader.Complete()) {
        m_errorFlags |= ERR_DATA;
        return false;
    }
    state = read;
    return true;
}

bool CQm4750Device::ReadTelemetry(std::uint16_t arg, _sTelemetry& record) {
    CDeviceFrame frame(fiReadTelemetry);
    frame.Put(arg);
    if (!Exchange(frame, 1))
        return false;

    _sTelemetry read;
    read.StatusA = m_statusA;
    read.StatusB = m_statusB;
    CArgReader reader(frame.RxData.data(), frame.RxLen);
    for (float* value : {&read.T1, &read.T2, &read.U, &read.I, &read.T3, &read.T4})
        reader.Get(*value);
    for (_sPidState& pid : read.Pid) {
        reader.Get(pid.T);
        reader.Get(pid.Value1);
        reader.Get(pid.Value2);
        reader.Get(pid.Flags, true);
    }
    if (!reader.Complete()) {
        m_errorFlags |= ERR_DATA;
        return false;
    }
    for (float* t : {&read.T1, &read.T2, &read.T3, &read.T4, &read.Pid[0].T, &read.Pid[1].T})
        *t = WireToKelvin(*t);
    record = read;
    return true;
}

bool CQm4750Device::SendConnect(std::uint8_t value) {
    CDeviceFrame frame(fiSendConnect);
    frame.Put(value);
    return Exchange(frame, 1);
}

bool CQm4750Device::SelectSample(std::uint8_t channel) {
    CDeviceFrame frame(fiSelectSample);
    frame.Put(channel);
    return Exchange(frame, 1);
}

bool CQm4750Device::SetPid(std::uint8_t channel, float setPointK, float value) {
    CDeviceFrame frame(fiSetPid);
    frame.Put(channel);
    frame.Put<std::uint8_t>(0);
    frame.Put(KelvinToWire(setPointK));
    frame.Put(value);
    return Exchange(frame, 1);
}

bool CQm4750Device::SetTemperature(float setPointK) {
    CDeviceFrame frame(fiSetTemperature);
    frame.Put(KelvinToWire(setPointK));
    return Exchange(frame, 1);
}

bool CQm4750Device::SetMode(int mode) {
    if (mode < 0 || mode > 3)
        return false;
    return SetCurrentSource(kModeArgs[mode][0], kModeArgs[mode][1]);
}
