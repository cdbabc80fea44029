#include "audio/RecordingTag.h"

namespace velto {
namespace {

constexpr std::string_view kKey = "station=";

bool NameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string StationTag(std::string_view station) {
    return std::string(kKey) + std::string(station);
}

// The key may stand after other words (a comment edited by hand keeps
// its station), and the name ends at the first character no station
// name has.
std::string StationInTag(std::string_view comment) {
    for (std::size_t at = comment.find(kKey); at != std::string_view::npos;
         at = comment.find(kKey, at + 1)) {
        if (at != 0 && NameCharacter(comment[at - 1])) {
            continue;
        }
        std::size_t end = at + kKey.size();
        while (end < comment.size() && NameCharacter(comment[end])) {
            ++end;
        }
        if (end > at + kKey.size()) {
            return std::string(comment.substr(at + kKey.size(), end - at - kKey.size()));
        }
    }
    return {};
}

}  // namespace velto
