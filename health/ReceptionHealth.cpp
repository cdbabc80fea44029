#include "health/ReceptionHealth.h"

#include <utility>

#include "base/Geometry.h"

namespace velto {
namespace {

constexpr WarningCode kAllCodes[] = {
    WarningCode::NoUltrasound, WarningCode::Clipping,       WarningCode::Silence,
    WarningCode::DeviceLost,   WarningCode::SamplesDropped, WarningCode::StoredDeviceMissing,
};

unsigned Bit(WarningCode code) { return 1u << static_cast<unsigned>(code); }

}  // namespace

CReceptionHealth::CReceptionHealth(Listener listener) : m_listener(std::move(listener)) {}

void CReceptionHealth::StartRun(int rate) {
    for (WarningCode code : kAllCodes) {
        if ((m_raised & Bit(code)) != 0) {
            Tell(code, false, {});
        }
    }
    m_rate = rate;
    m_input.Reset(rate);
    m_dropped = 0;
    m_unsaid = 0;
}

// Rounded up: a drop of a few samples is still a drop.
std::int64_t CReceptionHealth::MsOf(std::uint64_t samples) const {
    const auto rate = static_cast<std::uint64_t>(m_rate);
    return static_cast<std::int64_t>((samples * 1000 + rate - 1) / rate);
}

void CReceptionHealth::OnBuffer(const std::int16_t* samples, std::size_t count,
                                std::uint64_t dropped) {
    if (dropped > m_dropped) {
        const std::uint64_t now = dropped - m_dropped;
        m_dropped = dropped;
        Tell(WarningCode::SamplesDropped, true, SamplesDroppedText(MsOf(now), DroppedMs()));
    }
    const std::optional<WarningCode> before = WarningOfInput(m_input.State());
    if (!m_input.AddBuffer(samples, count)) {
        return;
    }
    const std::optional<WarningCode> after = WarningOfInput(m_input.State());
    if (before && before != after) {
        Tell(*before, false, {});
    }
    if (after && after != before) {
        Tell(*after, true,
             *after == WarningCode::NoUltrasound ? NoUltrasoundText(m_rate) : WarningText(*after));
    }
}

void CReceptionHealth::OnLostUnsaid(std::uint64_t samples) {
    m_unsaid += samples;
    Tell(WarningCode::SamplesDropped, true, SamplesDroppedText(MsOf(samples), DroppedMs()));
}

void CReceptionHealth::OnDeviceLost() {
    Tell(WarningCode::DeviceLost, true, WarningText(WarningCode::DeviceLost));
}

void CReceptionHealth::Raise(WarningCode code, const std::string& text) { Tell(code, true, text); }

void CReceptionHealth::Tell(WarningCode code, bool raised, const std::string& text) {
    if (raised) {
        m_raised |= Bit(code);
    } else {
        m_raised &= ~Bit(code);
    }
    if (m_listener) {
        m_listener({code, raised, text});
    }
}

}  // namespace velto
