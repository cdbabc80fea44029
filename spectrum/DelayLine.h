#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace velto {

// The last `length` samples, oldest first, always in one contiguous run:
// each sample is stored twice, `length` apart, so no window wraps.
template <typename T>
class CDelayLine {
public:
    explicit CDelayLine(std::size_t length) : m_length(length), m_data(2 * length, T{}) {}

    void Push(const T& x) {
        m_data[m_pos] = x;
        m_data[m_pos + m_length] = x;
        m_pos = m_pos + 1 == m_length ? 0 : m_pos + 1;
    }
    // Oldest of the last Length() samples; the newest is Window()[Length() - 1].
    const T* Window() const { return m_data.data() + m_pos; }
    std::size_t Length() const { return m_length; }
    void Clear() {
        std::fill(m_data.begin(), m_data.end(), T{});
        m_pos = 0;
    }

private:
    std::size_t m_length;
    std::vector<T> m_data;
    std::size_t m_pos = 0;
};

}  // namespace velto
