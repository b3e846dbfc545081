#include "simulator/csimclock.h"

#include <algorithm>

CRealTimeClock::CRealTimeClock(double speed) : m_base(Clock::now()), m_speed(std::max(speed, 0.001)) {}

std::int64_t CRealTimeClock::NowMs() {
    const double realMs = std::chrono::duration<double, std::milli>(Clock::now() - m_base).count();
    const auto now = static_cast<std::int64_t>(m_baseMs + realMs * m_speed);
    m_lastMs = std::max(m_lastMs, now);
    return m_lastMs;
}

void CRealTimeClock::SetSpeed(double speed) {
    const auto now = Clock::now();
    m_baseMs += std::chrono::duration<double, std::milli>(now - m_base).count() * m_speed;
    m_base = now;
    m_speed = std::max(speed, 0.001);
}
