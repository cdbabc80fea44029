#pragma once

#include <optional>
#include <string>

#include "clock/ClockFeedSettings.h"
#include "logfeed/ReceptionLogSettings.h"

// The command line of the console front end.
struct HeadlessOptions {
    bool listDevices = false;
    bool json = false;
    bool simulate = false;
    std::optional<std::string> device;  // a capture device by name
    std::optional<std::string> input;   // a recording, or "-" for raw samples on standard input
    std::optional<std::string> record;  // a WAV file to record to
    // A PNG of the recording's band, written once it has been read.
    std::optional<std::string> spectrum;
    // Feeding the system clock (--chrony-sock, --shm, --latency-ms).
    velto::ClockFeedSettings clock;
    // Keeping the reception log (--log, --log-days).
    velto::ReceptionLogSettings log;
};

// Whether an argument is one of the console's own options, which need no
// --headless of their own (--simulate is the window's too).
bool IsConsoleOption(const std::string& arg);

// True when the arguments make sense; else one sentence in *error.
bool ParseHeadlessOptions(int argc, char** argv, HeadlessOptions* options, std::string* error);
