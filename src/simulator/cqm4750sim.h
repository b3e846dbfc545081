#pragma once

#include "instrument/cqm4750device.h"
#include "simulator/csimclock.h"
#include "simulator/csimconfig.h"

#include <array>
#include <cstdint>
#include <vector>

// Faults the simulated instrument can be told to show.
enum TSimFault {
    sfNoReply, // the frame is taken but no reply comes back
    sfWrongId, // the reply carries another frame id
    sfGarbled, // the reply payload is not a valid argument list
};

// Current source settings of frame 6, by TMeasureMode index.
enum TSimCurrentMode { scmOff = 0, scmDcPlus = 1, scmDcMinus = 2, scmAc = 3 };

// One reply frame of the simulated instrument.
struct _sSimReply {
    std::uint8_t StatusA = 0;
    std::uint8_t StatusB = 0;
    std::uint8_t Id = 0;
    std::uint8_t Length = 0;
    std::array<std::uint8_t, 128> Payload{};
};

// The simulated instrument: a physics model of the stage, the samples and the current source,
// answering request frames as the instrument does (text or binary arguments as ArgTextMode
// selects, degrees Celsius on the wire, both status bytes with every reply).
//
// Time comes from the injected clock; on every frame the model is advanced in closed form over
// the time elapsed since the previous frame, so a frame costs the same after 1 ms or 1 hour.
//
// Model (temperatures in K, s: time):
// - PID channel c drives its temperature toward its set point: dT/dt = clamp((S - T) / StageTau,
//   -RampRate, +RampRate). Channel 0's temperature is the stage temperature Ts.
// - The samples' mean temperature Tm follows Ts with the lag SampleTau.
// - Under DC the selected sample's Peltier difference relaxes (PeltierTau) toward
//   dT = s * alpha(Tm) * Tm * I0 / (Ks + Kw / 2), s = +1 for DC+ and -1 for DC-; AC and OFF drive
//   it to 0.
// - Readings: T1 = Tm + g/2 + dT/2, T2 = Tm - g/2 - dT/2; U = I0 R + alpha dT (DC), I0 R (AC),
//   0 (OFF) in uV; I = I0 in mA except in OFF; plus seeded Gaussian noise on T1, T2 and U.
class CQm4750Sim {
public:
    // The clock must outlive the simulator. seed fixes the noise sequence.
    CQm4750Sim(CSimClock& clock, _sSimConfig config = _sSimConfig::Defaults(), std::uint64_t seed = 1);

    // Handles one request frame and returns whether a reply is produced (false for sfNoReply).
    bool HandleFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload, _sSimReply& reply);

    // --- options and faults ---
    void SetNoise(bool enabled) { m_noise = enabled; }
    bool GetNoise() const { return m_noise; }
    // The next count frames (optionally only those with frameId; 0 = any) show the fault.
    void InjectFault(TSimFault fault, int count = 1, std::uint8_t frameId = 0);
    void ClearFaults();
    // Sets STATUSB_NO_VACUUM in every reply while lost.
    void SetVacuumLost(bool lost) { m_vacuumLost = lost; }
    // Started cycles never become ready while stuck (the cycle state stays between 1 and 6).
    void SetCycleStuck(bool stuck) { m_cycleStuck = stuck; }

    // --- the model, for tests and the window (advanced to the clock's time first) ---
    const _sSimConfig& GetConfig() const { return m_config; }
    // Replaces the description (samples, time constants, noise levels); temperatures, set points,
    // selection and current stay as they are.
    void SetConfig(const _sSimConfig& config);
    double GetStageTemperature();              // Ts, K
    double GetChannelTemperature(int channel); // K
    double GetSampleTemperature();             // Tm, K
    double GetPeltierDelta(int position);      // dT of a position, K
    int GetSelectedPosition() const { return m_selected; }
    TSimCurrentMode GetCurrentMode() const { return m_mode; }
    double GetSourceCurrent() const { return m_currentMa; } // mA
    // The noise-free readings of the selected position right now (T in K, U in uV, I in mA).
    void GetReadings(double& t1, double& t2, double& u, double& i);

private:
    struct Channel {
        double T = 0.0;
        double SetPoint = 0.0;
        bool Active = false;
    };
    struct Fault {
        TSimFault Kind;
        int Count;
        std::uint8_t FrameId;
    };

    void AdvanceTo(std::int64_t nowMs);
    void AdvanceBy(double seconds);
    void AdvanceChannel(Channel& channel, double seconds, double* sampleT);
    double PeltierTarget(int position) const;
    void Readings(double& t1, double& t2, double& u, double& i) const;
    void CaptureRecord();
    std::uint8_t StatusB() const;
    std::uint8_t ChannelFlags(int channel) const;
    std::uint8_t CycleState() const;
    double Gaussian();
    void Handle(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload, _sSimReply& reply);

    CSimClock& m_clock;
    _sSimConfig m_config;
    std::uint64_t m_rng;
    bool m_noise = true;
    bool m_vacuumLost = false;
    bool m_cycleStuck = false;
    std::vector<Fault> m_faults;

    std::int64_t m_lastMs = 0;
    std::array<Channel, 2> m_channels;
    double m_tm = 0.0;
    std::array<double, _sSimConfig::kMaxPositions> m_dt{};
    int m_selected = 0;
    TSimCurrentMode m_mode = scmOff;
    double m_currentMa = 0.0;

    // Acquisition cycle: not started, converting since m_cycleStartMs, or ready with m_record.
    bool m_cycleStarted = false;
    bool m_cycleReady = false;
    std::int64_t m_cycleStartMs = 0;
    _sTelemetry m_record; // the last record in wire units (°C, uV, mA)
};
