#pragma once

#include <chrono>
#include <cstdint>

// The simulator's sense of time, in milliseconds of instrument time. Injected so that tests and
// the command-line program run hours of instrument time in milliseconds, while the window runs in
// real time (or faster).
class CSimClock {
public:
    virtual ~CSimClock() = default;
    // Instrument time in ms; never goes backwards.
    virtual std::int64_t NowMs() = 0;
};

// A clock that moves only when told to: the command-line program advances it once per tick.
class CVirtualClock : public CSimClock {
public:
    explicit CVirtualClock(std::int64_t startMs = 0) : m_nowMs(startMs) {}
    std::int64_t NowMs() override { return m_nowMs; }
    // Negative steps are ignored: instrument time never goes backwards.
    void Advance(std::int64_t ms) {
        if (ms > 0)
            m_nowMs += ms;
    }

private:
    std::int64_t m_nowMs;
};

// Real time multiplied by a speed factor (1, 10, 60 in the window's menu). Changing the factor
// keeps instrument time continuous.
class CRealTimeClock : public CSimClock {
public:
    explicit CRealTimeClock(double speed = 1.0);
    std::int64_t NowMs() override;
    // Factors below 0.001 are taken as 0.001.
    void SetSpeed(double speed);
    double GetSpeed() const { return m_speed; }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_base; // real time at the last speed change
    double m_baseMs = 0.0;    // instrument time at the last speed change
    double m_speed = 1.0;
    std::int64_t m_lastMs = 0; // monotonic guard
};
