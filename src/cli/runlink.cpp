#include "cli/runlink.h"

#include "cli/clicommon.h"
#include "instrument/cqm4750device.h"
#include "instrument/cstreamlink.h"
#include "model/unumtext.h"
#include "simulator/csimlink.h"

#include <cstdio>
#include <iostream>
#include <memory>
#include <thread>

bool ReadRunLinkOptions(const ParsedArgs& parsed, _sRunLinkOptions& options, std::string& message) {
    if (const std::string* endpoint = parsed.Value("link")) {
        _sStreamEndpoint checked;
        if (!ParseStreamEndpoint(*endpoint, checked, message))
            return false;
        options.Endpoint = checked.Text;
    }
    if (const std::string* text = parsed.Value("speed")) {
        const auto speed = ParseDouble(*text);
        if (!speed || !(*speed >= 0.001 && *speed <= 1e6)) {
            message = "--speed must be a number from 0.001 to 1000000";
            return false;
        }
        options.Speed = *speed;
    }
    if (const std::string* text = parsed.Value("max-silence")) {
        const auto seconds = ParseInt32(*text);
        if (!seconds || *seconds < 1) {
            message = "--max-silence takes whole seconds from 1 upwards";
            return false;
        }
        options.MaxSilenceSec = *seconds;
    }
    if (options.Endpoint.empty() && (parsed.Value("speed") || parsed.Value("max-silence"))) {
        message = "--speed and --max-silence go with --link";
        return false;
    }
    return true;
}

CRunClock::CRunClock(const _sRunLinkOptions& options, std::int64_t periodMs)
    : m_real(!options.Endpoint.empty()), m_periodMs(periodMs), m_realClock(options.Speed),
      m_nextTick(std::chrono::steady_clock::now()),
      m_step(std::chrono::nanoseconds(
          static_cast<std::int64_t>(static_cast<double>(periodMs) * 1e6 / options.Speed))) {}

std::int64_t CRunClock::NowMs() {
    return m_real ? m_realClock.NowMs() : m_virtual.NowMs();
}

void CRunClock::NextTick() {
    if (!m_real) {
        m_virtual.Advance(m_periodMs);
        return;
    }
    // A tick that overran (an instrument that did not answer) is not made up with a burst.
    const auto now = std::chrono::steady_clock::now();
    m_nextTick = std::max(m_nextTick + m_step, now);
    std::this_thread::sleep_until(m_nextTick);
}

bool OpenRunInstrument(const _sRunLinkOptions& options, CPortLink& link, CQm4750Device& device,
                       std::string& message) {
    if (options.Endpoint.empty()) {
        if (device.Open(0))
            return true;
        message = "cannot connect to the built-in simulator";
        return false;
    }
    _sStreamEndpoint endpoint;
    if (!ParseStreamEndpoint(options.Endpoint, endpoint, message))
        return false;
    std::string description = endpoint.Description();
    auto stream = std::make_unique<CStreamLink>(std::move(endpoint));
    CStreamLink& streamLink = *stream;
    const std::int32_t index = link.AddInterface(std::move(description), std::move(stream));
    if (device.Open(index))
        return true;
    message = "cannot connect to " + options.Endpoint +
              (streamLink.GetLastError().empty() ? std::string() : " (" + streamLink.GetLastError() + ")");
    return false;
}

void CRunLinkWatch::AfterTick(const _sTickResult& tick, const CQm4750Device& device) {
    const auto now = Clock::now();
    if (tick.bStateRead) {
        if (m_reported) {
            const double seconds = std::chrono::duration<double>(now - m_silentSince).count();
            char text[64];
            std::snprintf(text, sizeof(text), "%.1f", seconds);
            std::cerr << "qm4750-cli: run: the instrument answers again after " << text << " s\n";
        }
        m_silent = m_reported = false;
        return;
    }
    if (!m_silent) {
        m_silent = true;
        m_silentSince = now;
    }
    if (!m_reported && now - m_silentSince >= kReportAfter) {
        m_reported = true;
        char flags[16];
        std::snprintf(flags, sizeof(flags), "0x%X", static_cast<unsigned>(device.GetErrorFlags()));
        std::cerr << "qm4750-cli: run: the instrument does not answer (error bits " << flags
                  << "); the run waits for it\n";
    }
    if (now - m_silentSince > m_maxSilence)
        m_gaveUp = true;
}
