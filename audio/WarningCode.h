#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "audio/InputHealth.h"

namespace velto {

// What the user is warned about while receiving. The window shows the text
// in its status bar; the console prints the code's name with it.
enum class WarningCode {
    NoUltrasound,
    Clipping,
    Silence,
    DeviceLost,
    SamplesDropped,
    StoredDeviceMissing,
};

// The fixed name for programs: "no-ultrasound", "clipping", "silence",
// "device-lost", "samples-dropped", "stored-device-missing".
const char* WarningCodeName(WarningCode code);

// The sentence for the user (Japanese) of the warnings that carry no figure.
std::string WarningText(WarningCode code);
// `ms` of input lost just now, `totalMs` since the start of the run.
std::string SamplesDroppedText(std::int64_t ms, std::int64_t totalMs);
// The stored card `name` is not there; the default device is opened.
std::string StoredDeviceMissingText(const std::string& name);

// The warning an input state calls for; none for a good or unknown one.
std::optional<WarningCode> WarningOfInput(InputState state);

}  // namespace velto
