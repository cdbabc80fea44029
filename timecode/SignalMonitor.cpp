#include "timecode/SignalMonitor.h"

#include <algorithm>

#include "timecode/Constants.h"

namespace velto {

using namespace timecode;

void CSignalMonitor::Reset() {
    m_level = 0.0;
    m_count = 0;
    m_evidence = kPresenceNats;
    m_present = true;
}

void CSignalMonitor::Add(double contrast, double sigma) {
    if (!(sigma > 0.0)) return;
    // The "present" hypothesis' mean, in units of the noise; never so small
    // that no second could tell the two apart.
    const double m = kPresenceShare * std::max(m_level / sigma, kPresenceMinZ);
    const double x = contrast / sigma;
    // One second never decides alone: a crash or a keyed call-sign second
    // must not end a strong signal.
    const double ratio = std::clamp(m * x - 0.5 * m * m, -kPresenceSecondNats, kPresenceSecondNats);
    m_evidence = std::clamp(m_evidence + ratio, -kPresenceNats, kPresenceNats);
    if (m_evidence <= -kPresenceNats) m_present = false;
    if (m_evidence >= kPresenceNats) m_present = true;
    // The level follows slowly, so that a vanished carrier is measured
    // against what it was; while it is gone the level sinks, and a weaker
    // carrier that comes back is recognized.
    m_count = std::min(m_count + 1, kPresenceLevelSeconds);
    m_level += (contrast - m_level) / m_count;
}

}  // namespace velto
