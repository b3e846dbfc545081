#pragma once

#include "sequencer/cacquisitionloop.h"
#include "simulator/csimclock.h"

#include <chrono>
#include <cstdint>
#include <string>

struct ParsedArgs;
class CPortLink;
class CQm4750Device;

// Options of run that choose the instrument: the built-in simulator on a virtual clock, or an
// instrument on a byte-stream link (--link ENDPOINT) in real time, --speed times faster when the
// far end is a simulator running at that speed, given up after --max-silence seconds without an
// answer.
struct _sRunLinkOptions {
    std::string Endpoint; // "" : the built-in simulator
    double Speed = 1.0;
    int MaxSilenceSec = 60;
};

// Reads --link, --speed and --max-silence; false with a message when one is wrong.
bool ReadRunLinkOptions(const ParsedArgs& parsed, _sRunLinkOptions& options, std::string& message);

// The time of a run and the pace of its ticks. With the built-in simulator instrument time is
// virtual and moves one timer period per tick; over a link it is real time times the speed, and a
// tick waits until one timer period of instrument time has passed since the previous one.
class CRunClock : public CSimClock {
public:
    CRunClock(const _sRunLinkOptions& options, std::int64_t periodMs);
    std::int64_t NowMs() override;
    void NextTick();

private:
    bool m_real;
    std::int64_t m_periodMs;
    CVirtualClock m_virtual;
    CRealTimeClock m_realClock;
    std::chrono::steady_clock::time_point m_nextTick;
    std::chrono::nanoseconds m_step;
};

// Adds the endpoint to link and opens it (or opens the built-in simulator). False with a message.
bool OpenRunInstrument(const _sRunLinkOptions& options, CPortLink& link, CQm4750Device& device,
                       std::string& message);

// Follows whether the instrument answers: says on stderr when it stops and when it answers again,
// and gives up after the longest silence allowed.
class CRunLinkWatch {
public:
    explicit CRunLinkWatch(const _sRunLinkOptions& options) : m_maxSilence(options.MaxSilenceSec) {}
    void AfterTick(const _sTickResult& tick, const CQm4750Device& device);
    bool GaveUp() const { return m_gaveUp; }
    int GetMaxSilenceSec() const { return static_cast<int>(m_maxSilence.count()); }

private:
    using Clock = std::chrono::steady_clock;
    // A damaged reply now and then is no news: silence is reported once it lasts this long.
    static constexpr std::chrono::seconds kReportAfter{2};
    std::chrono::seconds m_maxSilence;
    bool m_silent = false;
    bool m_reported = false;
    bool m_gaveUp = false;
    Clock::time_point m_silentSince;
};
