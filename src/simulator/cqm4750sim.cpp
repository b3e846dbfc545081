#include "simulator/cqm4750sim.h"

#include "instrument/cqm4750device.h"
#include "instrument/uargcodec.h"
#include "simulator/usimrandom.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>

namespace {

// Readings go out with the resolution of the instrument's converters; this also keeps every
// telemetry reply well inside the 128-byte payload.
double Quantize(double value, double step) {
    return std::round(value / step) * step;
}

// Writes the arguments of one reply; a semicolon ends a list of data. Encoded into a scratch
// buffer first: a reply never runs past its 128 bytes, whatever the values.
class CReplyWriter {
public:
    explicit CReplyWriter(_sSimReply& reply) : m_reply(reply) {}
    template <typename T> void Put(T value, bool hex = false) {
        if (m_pos + 32 < static_cast<int>(m_scratch.size()))
            m_pos += EncodeArg(m_scratch.data() + m_pos, value, hex);
    }
    void Finish() {
        if (ArgTextMode == 1 && m_pos > 0)
            m_scratch[static_cast<std::size_t>(m_pos - 1)] = ';';
        const int n = std::min(m_pos, static_cast<int>(m_reply.Payload.size()));
        std::memcpy(m_reply.Payload.data(), m_scratch.data(), static_cast<std::size_t>(n));
        m_reply.Length = static_cast<std::uint8_t>(n);
    }

private:
    _sSimReply& m_reply;
    std::array<std::uint8_t, 2 * kArgScratchSize> m_scratch{};
    int m_pos = 0;
};

// Reads the arguments of one request from a zero-terminated copy; remembers whether all converted.
class CRequestReader {
public:
    CRequestReader(std::uint8_t length, const std::uint8_t* payload) : m_args(m_data.data(), length) {
        std::memcpy(m_data.data(), payload, length);
    }
    template <typename T> T Get() {
        T value{};
        m_args.Get(value);
        return value;
    }
    bool Ok() const { return m_args.Complete(); }

private:
    std::array<std::uint8_t, kArgScratchSize + 8> m_data{};
    CArgReader m_args;
};

constexpr double kMinSetPoint = 3.0;
constexpr double kMaxSetPoint = 1000.0;

} // namespace

CQm4750Sim::CQm4750Sim(CSimClock& clock, _sSimConfig config, std::uint64_t seed)
    : m_clock(clock), m_config(std::move(config)), m_rng(seed) {
    if (m_config.Samples.size() > static_cast<std::size_t>(_sSimConfig::kMaxPositions))
        m_config.Samples.resize(_sSimConfig::kMaxPositions);
    m_lastMs = m_clock.NowMs();
    for (Channel& channel : m_channels) {
        channel.T = m_config.RoomTemperature;
        channel.SetPoint = m_config.RoomTemperature;
    }
    m_tm = m_config.RoomTemperature;
    if (!m_config.Samples.empty())
        m_currentMa = m_config.Samples.front().Current;
    CaptureRecord(); // frame 8 before any cycle returns the state at power-up
}

void CQm4750Sim::SetConfig(const _sSimConfig& config) {
    AdvanceTo(m_clock.NowMs());
    m_config = config;
    if (m_config.Samples.size() > static_cast<std::size_t>(_sSimConfig::kMaxPositions))
        m_config.Samples.resize(_sSimConfig::kMaxPositions);
    for (std::size_t p = m_config.Samples.size(); p < m_dt.size(); ++p)
        m_dt[p] = 0.0;
}

void CQm4750Sim::InjectFault(TSimFault fault, int count, std::uint8_t frameId) {
    if (count > 0)
        m_faults.push_back({fault, count, frameId});
}

void CQm4750Sim::ClearFaults() {
    m_faults.clear();
}

// --- the model -----------------------------------------------------------------------------------

void CQm4750Sim::AdvanceTo(std::int64_t nowMs) {
    nowMs = std::max(nowMs, m_lastMs);
    if (m_cycleStarted && !m_cycleReady && !m_cycleStuck) {
        const std::int64_t readyMs =
            m_cycleStartMs + static_cast<std::int64_t>(std::llround(m_config.CycleTime * 1000.0));
        if (readyMs <= nowMs) {
            // The record is what the converters saw at the end of the conversion.
            if (readyMs > m_lastMs) {
                AdvanceBy(static_cast<double>(readyMs - m_lastMs) * 1e-3);
                m_lastMs = readyMs;
            }
            CaptureRecord();
            m_cycleReady = true;
        }
    }
    if (nowMs > m_lastMs) {
        AdvanceBy(static_cast<double>(nowMs - m_lastMs) * 1e-3);
        m_lastMs = nowMs;
    }
}

void CQm4750Sim::AdvanceBy(double seconds) {
    if (seconds <= 0.0)
        return;
    AdvanceChannel(m_channels[0], seconds, &m_tm);
    AdvanceChannel(m_channels[1], seconds, nullptr);

    const double decay = std::exp(-seconds / m_config.PeltierTau);
    for (int p = 0; p < static_cast<int>(m_dt.size()); ++p) {
        const double target = PeltierTarget(p);
        double& dt = m_dt[static_cast<std::size_t>(p)];
        dt = target + (dt - target) * decay;
    }
}

// A channel moves at the ramp limit while far from its set point, then relaxes exponentially:
// dT/dt = clamp((S - T) / tau, -v, v). The samples' mean temperature follows channel 0 with its
// own lag; both are advanced in closed form, so the step size does not matter.
void CQm4750Sim::AdvanceChannel(Channel& channel, double seconds, double* sampleT) {
    const double tau = m_config.StageTau;
    const double tauS = m_config.SampleTau;
    const double v = m_config.RampRate / 60.0;

    // Follower over a stretch where the channel moves linearly with slope k.
    auto followLinear = [&](double t0, double k, double h) {
        if (!sampleT)
            return;
        const double e = std::exp(-h / tauS);
        *sampleT = (t0 + k * h) - k * tauS + (*sampleT - t0 + k * tauS) * e;
    };

    double left = seconds;
    if (channel.Active) {
        const double gap = channel.SetPoint - channel.T;
        if (std::abs(gap) > v * tau) {
            const double k = gap > 0 ? v : -v;
            const double h = std::min(left, (std::abs(gap) - v * tau) / v);
            const double t0 = channel.T;
            channel.T = t0 + k * h;
            followLinear(t0, k, h);
            left -= h;
        }
    }
    if (left <= 0.0)
        return;

    // Exponential stretch toward S (an idle channel stays where it is: D = 0).
    const double s = channel.Active ? channel.SetPoint : channel.T;
    const double d = channel.T - s;
    const double e = std::exp(-left / tau);
    channel.T = s + d * e;
    if (sampleT) {
        const double eS = std::exp(-left / tauS);
        if (std::abs(tau - tauS) < 1e-6 * tau) {
            *sampleT = s + (*sampleT - s) * eS + d * (left / tau) * e;
        } else {
            const double k = d * tau / (tau - tauS);
            *sampleT = s + k * e + (*sampleT - s - k) * eS;
        }
    }
}

double CQm4750Sim::PeltierTarget(int position) const {
    if (position != m_selected || position >= static_cast<int>(m_config.Samples.size()))
        return 0.0;
    if (m_mode != scmDcPlus && m_mode != scmDcMinus)
        return 0.0;
    const _sSimSample& s = m_config.Samples[static_cast<std::size_t>(position)];
    const double sign = m_mode == scmDcPlus ? 1.0 : -1.0;
    const double conductance = s.SampleConductance(m_tm) + s.WireConductance() / 2.0;
    return sign * s.Alpha.At(m_tm) * m_tm * (m_currentMa * 1e-3) / conductance;
}

void CQm4750Sim::GetReadings(double& t1, double& t2, double& u, double& i) {
    AdvanceTo(m_clock.NowMs());
    Readings(t1, t2, u, i);
}

void CQm4750Sim::Readings(double& t1, double& t2, double& u, double& i) const {
    const bool mounted = m_selected < static_cast<int>(m_config.Samples.size());
    const double dt = m_dt[static_cast<std::size_t>(m_selected)];
    t1 = m_tm + m_config.Gradient / 2.0 + dt / 2.0;
    t2 = m_tm - m_config.Gradient / 2.0 - dt / 2.0;
    u = 0.0;
    i = 0.0;
    if (!mounted || m_mode == scmOff)
        return;
    const _sSimSample& s = m_config.Samples[static_cast<std::size_t>(m_selected)];
    const double i0 = m_currentMa * 1e-3;
    double volts = i0 * s.Resistance(m_tm);
    if (m_mode != scmAc)
        volts += s.Alpha.At(m_tm) * dt;
    u = volts * 1e6;
    i = m_currentMa;
}

double CQm4750Sim::GetStageTemperature() {
    return GetChannelTemperature(0);
}

double CQm4750Sim::GetChannelTemperature(int channel) {
    AdvanceTo(m_clock.NowMs());
    return m_channels[static_cast<std::size_t>(std::clamp(channel, 0, 1))].T;
}

double CQm4750Sim::GetSampleTemperature() {
    AdvanceTo(m_clock.NowMs());
    return m_tm;
}

double CQm4750Sim::GetPeltierDelta(int position) {
    AdvanceTo(m_clock.NowMs());
    if (position < 0 || position >= static_cast<int>(m_dt.size()))
        return 0.0;
    return m_dt[static_cast<std::size_t>(position)];
}

// Box-Muller over splitmix64: the same sequence for a seed with every compiler and library.
double CQm4750Sim::Gaussian() {
    // uniform in (0, 1)
    auto next = [this] { return (static_cast<double>(SplitMix64(m_rng) >> 11) + 0.5) * 0x1.0p-53; };
    const double u1 = next();
    const double u2 = next();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

void CQm4750Sim::CaptureRecord() {
    double t1 = 0, t2 = 0, u = 0, i = 0;
    Readings(t1, t2, u, i);
    if (m_noise) {
        t1 += Gaussian() * m_config.NoiseT;
        t2 += Gaussian() * m_config.NoiseT;
        u += Gaussian() * m_config.NoiseU;
    }
    auto celsius = [](double kelvin) { return static_cast<float>(Quantize(kelvin - kCelsiusOffset, 1e-4)); };
    m_record.T1 = celsius(t1);
    m_record.T2 = celsius(t2);
    m_record.U = static_cast<float>(Quantize(u, 1e-3));
    m_record.I = static_cast<float>(Quantize(i, 1e-3));
    m_record.T3 = celsius(m_tm);
    m_record.T4 = celsius(m_config.RoomTemperature);
    for (std::size_t c = 0; c < 2; ++c) {
        const Channel& channel = m_channels[c];
        _sPidState& pid = m_record.Pid[c];
        pid.T = celsius(channel.T);
        // Value1: the set point; Value2: heater output in percent, a rough picture of the effort.
        pid.Value1 =
            channel.Active ? static_cast<float>(Quantize(channel.SetPoint - kCelsiusOffset, 0.01)) : 0.0f;
        pid.Value2 = channel.Active
                         ? static_cast<float>(Quantize(
                               std::clamp(50.0 + 10.0 * (channel.SetPoint - channel.T), 0.0, 100.0), 0.1))
                         : 0.0f;
        pid.Flags = ChannelFlags(static_cast<int>(c));
    }
}

std::uint8_t CQm4750Sim::ChannelFlags(int channel) const {
    const Channel& c = m_channels[static_cast<std::size_t>(channel)];
    if (!c.Active)
        return 0;
    std::uint8_t flags = PID_ACTIVE;
    if (c.SetPoint > c.T)
        flags |= PID_HEAT;
    if (std::abs(c.T - c.SetPoint) <= m_config.ReadyBand)
        flags |= PID_READY;
    return flags;
}

std::uint8_t CQm4750Sim::StatusB() const {
    return static_cast<std::uint8_t>((m_selected & STATUSB_SAMPLE_MASK) |
                                     (m_vacuumLost ? STATUSB_NO_VACUUM : 0));
}

std::uint8_t CQm4750Sim::CycleState() const {
    if (!m_cycleStarted)
        return CYCLE_IDLE;
    if (m_cycleReady)
        return CYCLE_READY;
    const double cycleMs = std::max(1.0, m_config.CycleTime * 1000.0);
    const auto step =
        static_cast<std::int64_t>(static_cast<double>(m_lastMs - m_cycleStartMs) * 6.0 / cycleMs);
    return static_cast<std::uint8_t>(1 + step % 6); // a stuck cycle keeps running through 1..6
}

// --- frames -------------------------------------------------------------------------------------

bool CQm4750Sim::HandleFrame(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload,
                             _sSimReply& reply) {
    AdvanceTo(m_clock.NowMs());

    std::optional<TSimFault> fault;
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->FrameId == 0 || it->FrameId == id) {
            fault = it->Kind;
            if (--it->Count <= 0)
                m_faults.erase(it);
            break;
        }
    }

    reply = _sSimReply{};
    Handle(id, length, payload, reply); // a lost reply still leaves the command carried out
    reply.StatusA = 0;
    reply.StatusB = StatusB();
    if (fault == sfNoReply)
        return false;
    if (fault == sfWrongId)
        reply.Id = static_cast<std::uint8_t>(id ^ 0x40);
    if (fault == sfGarbled) {
        static constexpr char kNoise[] = "?#x";
        reply.Payload = {};
        std::memcpy(reply.Payload.data(), kNoise, 3);
        reply.Length = 3;
    }
    return true;
}

void CQm4750Sim::Handle(std::uint8_t id, std::uint8_t length, const std::uint8_t* payload,
                        _sSimReply& reply) {
    reply.Id = id;
    CRequestReader request(length, payload);
    CReplyWriter out(reply);
    switch (id) {
        case fiSetSampleCurrent: {
            request.Get<std::uint16_t>();
            const float current = request.Get<float>();
            if (request.Ok())
                m_currentMa = std::clamp(static_cast<double>(current), 0.0, 1000.0);
            break;
        }
        case fiStartCycle:
            m_cycleStarted = true;
            m_cycleReady = false;
            m_cycleStartMs = m_lastMs;
            break;
        case fiSetCurrentSource: {
            const auto first = request.Get<std::uint16_t>();
            const auto second = request.Get<std::uint16_t>();
            if (!request.Ok())
                break;
            if (first == 0)
                m_mode = scmOff;
            else if (first == 1 && second == 0)
                m_mode = scmDcPlus;
            else if (first == 1 && second == 1)
                m_mode = scmDcMinus;
            else if (first == 1 && second == 2)
                m_mode = scmAc;
            break;
        }
        case fiReadCycleState:
            out.Put(CycleState(), true);
            for (int b = 0; b < 4; ++b)
                out.Put<std::uint8_t>(0, true);
            out.Finish();
            break;
        case fiReadTelemetry:
            for (float value : {m_record.T1, m_record.T2, m_record.U, m_record.I, m_record.T3, m_record.T4})
                out.Put(value);
            for (const _sPidState& pid : m_record.Pid) {
                out.Put(pid.T);
                out.Put(pid.Value1);
                out.Put(pid.Value2);
                out.Put(pid.Flags, true);
            }
            out.Finish();
            break;
        case fiSelectSample: {
            const auto position = request.Get<std::uint8_t>();
            if (request.Ok() && position < _sSimConfig::kMaxPositions)
                m_selected = position;
            break;
        }
        case fiSetPid: {
            const auto channel = request.Get<std::uint8_t>();
            request.Get<std::uint8_t>();
            const float celsius = request.Get<float>();
            request.Get<float>();
            if (request.Ok() && channel < 2) {
                m_channels[channel].SetPoint =
                    std::clamp(static_cast<double>(celsius) + kCelsiusOffset, kMinSetPoint, kMaxSetPoint);
                m_channels[channel].Active = true;
            }
            break;
        }
        case fiSetTemperature: {
            const float celsius = request.Get<float>();
            if (request.Ok()) {
                m_channels[0].SetPoint =
                    std::clamp(static_cast<double>(celsius) + kCelsiusOffset, kMinSetPoint, kMaxSetPoint);
                m_channels[0].Active = true;
            }
            break;
        }
        default: // frame 16 and frames this instrument does not know: acknowledged, nothing changes
            break;
    }
}
