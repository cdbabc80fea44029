#include "spectrum/Waterfall.h"

namespace velto {

CWaterfall::CWaterfall(int bins, double firstHz, double binHz, int lines)
    : m_bins(bins),
      m_firstHz(firstHz),
      m_binHz(binHz),
      m_capacity(std::max(1, lines)),
      m_data(static_cast<std::size_t>(bins) * static_cast<std::size_t>(m_capacity)) {}

const float* CWaterfall::Line(int age) const {
    const std::int64_t index = (m_added - 1 - age) % m_capacity;
    return m_data.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(m_bins);
}

float* CWaterfall::Next() {
    const std::int64_t index = m_added % m_capacity;
    return m_data.data() + static_cast<std::size_t>(index) * static_cast<std::size_t>(m_bins);
}

void CWaterfall::Commit() { ++m_added; }

}  // namespace velto
