#pragma once

#include "instrument/cframelink.h"
#include "instrument/uargcodec.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

// Error bits of CQm4750Device::GetErrorFlags(), for the last exchange.
inline constexpr std::uint32_t ERR_TX = 0x10000;    // a send failed (every failed attempt)
inline constexpr std::uint32_t ERR_RX = 0x20000;    // a receive failed (every failed attempt)
inline constexpr std::uint32_t ERR_ID = 0x40000;    // the reply carried another frame id
inline constexpr std::uint32_t ERR_RETRY = 0x80000; // all attempts used up
// The reply of a data frame (7 or 8) was delivered but lacked arguments or held one that is not a
// (finite) number; its record is not delivered.
inline constexpr std::uint32_t ERR_DATA = 0x100000;

// Bits of _sPidState::Flags.
inline constexpr std::uint8_t PID_ACTIVE = 0x01; // channel has a set point
inline constexpr std::uint8_t PID_PLUS = 0x04;   // pane text gets "(+)"
inline constexpr std::uint8_t PID_MINUS = 0x08;  // pane text gets "(-)"
inline constexpr std::uint8_t PID_HEAT = 0x10;   // heating (clear: cooling)
inline constexpr std::uint8_t PID_READY = 0x20;  // set point reached

// Bits of StatusB.
inline constexpr std::uint8_t STATUSB_SAMPLE_MASK = 0x03; // selected sample position
inline constexpr std::uint8_t STATUSB_NO_VACUUM = 0x08;
inline constexpr std::uint8_t STATUSB_DAC = 0x10;
inline constexpr std::uint8_t STATUSB_ADC = 0x20;

// Cycle states in the low four bits of the first ReadCycleState byte.
inline constexpr std::uint8_t CYCLE_IDLE = 0;
inline constexpr std::uint8_t CYCLE_READY = 7;

// Frame ids of the command set.
enum TFrameId : std::uint8_t {
    fiSetSampleCurrent = 1,
    fiStartCycle = 5,
    fiSetCurrentSource = 6,
    fiReadCycleState = 7,
    fiReadTelemetry = 8,
    fiSendConnect = 16,
    fiSelectSample = 18,
    fiSetPid = 22,
    fiSetTemperature = 26,
};

// The instrument speaks degrees Celsius; everything else works in kelvin.
inline constexpr double kCelsiusOffset = 273.16;

// One PID channel of the telemetry record.
struct _sPidState {
    float T = 0.0f; // K
    float Value1 = 0.0f;
    float Value2 = 0.0f;
    std::uint8_t Flags = 0;
};

// The record of one completed acquisition cycle (reply of frame 8).
struct _sTelemetry {
    float T1 = 0.0f; // K
    float T2 = 0.0f; // K
    float U = 0.0f;  // uV
    float I = 0.0f;  // mA
    float T3 = 0.0f; // K
    float T4 = 0.0f; // K
    _sPidState Pid[2];
    std::uint8_t StatusA = 0;
    std::uint8_t StatusB = 0;
};

// The buffer of one exchange.
struct CDeviceFrame {
    static constexpr int kTxPayload = 65;
    static constexpr int kRxPayload = CFrameLink::kMaxRxPayload + 1; // and a terminating zero

    explicit CDeviceFrame(std::uint8_t id) : TxId(id), TxPos(TxData.data()) {}
    CDeviceFrame(const CDeviceFrame&) = delete;
    CDeviceFrame& operator=(const CDeviceFrame&) = delete;

    // Encodes one argument at the write position (decimal, or hex when asked) and advances it.
    template <typename T> void Put(T value, bool hex = false);

    std::uint8_t TxId = 0;
    std::uint8_t TxLen = 0; // set by Exchange from the write position
    std::array<std::uint8_t, kTxPayload> TxData{};
    std::uint8_t* TxPos = nullptr;

    std::uint8_t RxId = 0;
    std::uint8_t RxLen = 0;
    std::array<std::uint8_t, kRxPayload> RxData{};
};

template <typename T> void CDeviceFrame::Put(T value, bool hex) {
    TxPos += EncodeArg(TxPos, value, hex);
}

// The instrument: every command, the telemetry and the link's opening and closing go through it.
// Commands return false on failure and leave the reason in GetErrorFlags(); none looks at the open
// flag. Thread-safe in one sense only: an exchange that finds another one running fails at once.
class CQm4750Device {
public:
    // The link must outlive the device.
    explicit CQm4750Device(CFrameLink& link);
    CQm4750Device(const CQm4750Device&) = delete;
    CQm4750Device& operator=(const CQm4750Device&) = delete;

    // --- link management ---
    // False without touching the link when already open; otherwise OpenIntr's result.
    bool Open(std::int32_t index);
    // Calls CloseIntr whatever the open flag says; true when the link is now closed.
    bool Close();
    bool IsOpen() const { return m_open; }
    // StatusA and StatusB of the last reply, in that order.
    void GetStatusBytes(std::uint8_t* bytes) const;
    std::uint8_t GetStatusA() const { return m_statusA; }
    std::uint8_t GetStatusB() const { return m_statusB; }
    std::uint32_t GetErrorFlags() const { return m_errorFlags; }
    CFrameLink& GetLink() { return m_link; }

    // --- commands (one attempt each) ---
    bool SetSampleCurrent(float currentMa);                           // frame 1: 8, current in mA
    bool StartCycle(std::uint16_t arg = 0);                           // frame 5
    bool SetCurrentSource(std::uint16_t first, std::uint16_t second); // frame 6
    bool ReadCycleState(std::array<std::uint8_t, 5>& state);    // frame 7; state[0] & 0x0F is the cycle state
    bool ReadTelemetry(std::uint16_t arg, _sTelemetry& record); // frame 8
    bool SendConnect(std::uint8_t value = 1);                   // frame 16
    bool SelectSample(std::uint8_t channel);                    // frame 18: the sample's iDevId
    bool SetPid(std::uint8_t channel, float setPointK, float value = 2.0f); // frame 22: channel, 0, T, value
    bool SetTemperature(float setPointK);                                   // frame 26: channel 0 set point

    // Current mode by TMeasureMode index: 0 OFF, 1 DC+, 2 DC-, 3 AC (frame 6). Any other index
    // sends nothing and returns false.
    bool SetMode(int mode);

    // One request/reply exchange with the given number of attempts. See the .cpp for the rules.
    bool Exchange(CDeviceFrame& frame, int attempts);

private:
    CFrameLink& m_link;
    std::atomic<std::uint32_t> m_errorFlags = 0; // read from any thread; a refused exchange clears it too
    bool m_open = false;
    std::uint8_t m_statusA = 0;
    std::uint8_t m_statusB = 0;
    std::mutex m_lock;
};

// Set point as it goes on the wire: kelvin minus 273.16 in double precision, rounded to float.
inline float KelvinToWire(float kelvin) {
    return static_cast<float>(static_cast<double>(kelvin) - kCelsiusOffset);
}
// Temperature as it comes off the wire, rounded back to float.
inline float WireToKelvin(float celsius) {
    return static_cast<float>(static_cast<double>(celsius) + kCelsiusOffset);
}
