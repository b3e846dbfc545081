#pragma once

#include <cstdint>
#include <deque>
#include <stdexcept>

// Keeps the newest values of one quantity, up to a fixed capacity, and gives their mean.
// Storage grows with the values actually added, never with the capacity alone, so an absurd
// capacity from the settings costs nothing until readings arrive.
template <typename T> class CValueAvr {
public:
    // The capacity must be at least 1; 0 is treated as 1.
    explicit CValueAvr(std::uint32_t capacity) : m_capacity(capacity == 0 ? 1 : capacity) {}

    void Add(T value) {
        if (m_values.size() >= m_capacity)
            m_values.pop_front();
        m_values.push_back(value);
    }

    void Clear() { m_values.clear(); }
    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_values.size()); }
    std::uint32_t Capacity() const { return m_capacity; }

    // Sum from the oldest to the newest, divided by the count. Callers ask only when Count > 0.
    T Mean() const {
        T sum = m_values.front();
        for (auto it = m_values.begin() + 1; it != m_values.end(); ++it)
            sum += *it;
        return sum / static_cast<T>(m_values.size());
    }

    // Index 0 is the oldest value.
    T At(std::uint32_t index) const {
        if (index >= m_values.size())
            throw std::out_of_range("Index out of range");
        return m_values[index];
    }

private:
    std::deque<T> m_values;
    std::uint32_t m_capacity;
};
