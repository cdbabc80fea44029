#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "health/InputHealth.h"

namespace velto {

// Everything Velto warns of, whoever finds it: what the input lacks, what
// the reception cycle, the devices and the clock feed run into. The window
// shows it in its status bar or a box, the console prints the code's name
// with the text.
enum class WarningCode {
    // The input and the capture stream (CReceptionHealth).
    NoUltrasound,
    Clipping,
    Silence,
    DeviceLost,
    SamplesDropped,
    StoredDeviceMissing,
    // The reception cycle.
    DecoderGap,
    MonitorLate,
    RecordingStopped,
    // The audio service (CWaveDevice).
    CaptureOpenFailed,
    PlaybackOpenFailed,
    AudioError,
    // The clock feed's drivers.
    ClockFeed,
    // The reception log's files (a directory not writable, a full disk, a
    // directory another Velto writes in).
    ReceptionLog,
    // The console's standard output, whose reader did not read.
    OutputLeftOut,
};

// One warning: its code and one sentence for the user.
struct Warning {
    WarningCode code;
    std::string text;
};

// What a call that may fail in several ways has to tell, in order.
using Warnings = std::vector<Warning>;

// The fixed name for programs, one spelling for all: "no-ultrasound",
// "clipping", "silence", "device-lost", "samples-dropped",
// "stored-device-missing", "decoder-gap", "monitor-late",
// "recording-stopped", "capture-open-failed", "playback-open-failed",
// "audio-error", "clock-feed", "reception-log", "output-left-out".
const char* WarningCodeName(WarningCode code);

// The sentence for the user (Japanese) of the warnings that carry no figure.
std::string WarningText(WarningCode code);
// Nothing above the band split at `rate` samples/s (NoUltrasound's text
// there; at 96000 the same as WarningText's).
std::string NoUltrasoundText(int rate);
// `ms` of input lost just now, `totalMs` since the start of the run.
std::string SamplesDroppedText(std::int64_t ms, std::int64_t totalMs);
// The stored card `name` is not there; the default device is opened.
std::string StoredDeviceMissingText(const std::string& name);
// `lines` lines of standard output were left out.
std::string OutputLeftOutText(std::uint64_t lines);
// Another Velto, process `pid`, writes the reception log in `directory`, so
// this run writes none.
std::string ReceptionLogInUseText(const std::string& directory, std::int64_t pid);
// The lock file `path` of the reception log can be neither taken nor read
// (a directory, another user's), so this run writes no log.
std::string ReceptionLogLockText(const std::string& path);

// Every Japanese sentence above as its pattern, with %1, %2 where the figures
// go: the window finds a warning's pattern among them and shows its translation.
std::span<const char* const> WarningSentences();
// `sentence` with %1 .. %9 replaced by `figures` in order.
std::string FillSentence(std::string_view sentence, const std::vector<std::string>& figures);

// The warning an input state calls for; none for a good or unknown one.
std::optional<WarningCode> WarningOfInput(InputState state);

}  // namespace velto
