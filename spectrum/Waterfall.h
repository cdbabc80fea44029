#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace velto {

// The newest lines of a waterfall: one spectrum a second over a fixed span
// of frequencies, in dB per hertz relative to a full-scale sine, kept in a
// ring of a fixed number of lines.
class CWaterfall {
public:
    // Bin i lies at firstHz + i * binHz (offsets from the carrier).
    CWaterfall(int bins, double firstHz, double binHz, int lines);

    int Bins() const { return m_bins; }
    double FirstHz() const { return m_firstHz; }
    double BinHz() const { return m_binHz; }
    double LastHz() const { return m_firstHz + (m_bins - 1) * m_binHz; }
    int Capacity() const { return m_capacity; }
    // Lines held, at most Capacity().
    int Lines() const { return static_cast<int>(std::min<std::int64_t>(m_added, m_capacity)); }
    // Lines ever added: a reader that remembers it sees what is new.
    std::int64_t Added() const { return m_added; }
    // Line `age` back from the newest (0), Bins() values; age < Lines().
    const float* Line(int age) const;
    // The line to fill next; Commit() makes it the newest.
    float* Next();
    void Commit();
    void Clear() { m_added = 0; }

private:
    int m_bins;
    double m_firstHz, m_binHz;
    int m_capacity;
    std::vector<float> m_data;
    std::int64_t m_added = 0;
};

}  // namespace velto
