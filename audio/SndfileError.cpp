#include "audio/SndfileError.h"

#include <sndfile.h>

#include <string_view>

namespace velto {

std::string SndfileError(SNDFILE* file) {
    std::string text = sf_strerror(file);
    constexpr std::string_view kSystem = "System error : ";
    if (text.starts_with(kSystem)) {
        text.erase(0, kSystem.size());
    }
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

}  // namespace velto
