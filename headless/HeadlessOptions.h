#pragma once

#include <optional>
#include <string>

// The command line of the console front end.
struct HeadlessOptions {
    bool listDevices = false;
    bool json = false;
    bool simulate = false;
    std::optional<std::string> device;  // a capture device by name
    std::optional<std::string> input;   // a recording, or "-" for raw samples on standard input
    std::optional<std::string> record;  // a WAV file to record to
    // Feeding the system clock: chronyd's SOCK socket, an NTP shared-memory
    // unit, and the receiver's delay that the samples' capture times lose.
    std::optional<std::string> chronySock;
    std::optional<int> shmUnit;
    double latencyMs = 0.0;
};

// True when the arguments make sense; else one sentence in *error.
bool ParseHeadlessOptions(int argc, char** argv, HeadlessOptions* options, std::string* error);
