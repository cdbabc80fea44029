#include "timecode/DecoderEvents.h"

#include <array>
#include <utility>

namespace velto {
namespace {

constexpr std::array<std::pair<ReceptionState, const char*>, 5> kStateNames{{
    {ReceptionState::NoSignal, "no_signal"},
    {ReceptionState::SecondLocked, "second_locked"},
    {ReceptionState::MinuteLocked, "minute_locked"},
    {ReceptionState::TimeValid, "time_valid"},
    {ReceptionState::Flywheel, "flywheel"},
}};

}  // namespace

const char* ReceptionStateName(ReceptionState state) {
    for (const auto& [s, name] : kStateNames) {
        if (s == state) {
            return name;
        }
    }
    return "unknown";
}

std::optional<ReceptionState> ReceptionStateNamed(std::string_view name) {
    for (const auto& [s, text] : kStateNames) {
        if (name == text) {
            return s;
        }
    }
    return std::nullopt;
}

}  // namespace velto
