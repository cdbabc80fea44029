#pragma once

#include <optional>
#include <string>

#include "clock/ClockFeedSettings.h"
#include "logfeed/ReceptionLogSettings.h"
#include "receiver/StationChoice.h"

// What the console front end is asked to do (headless/CommandLine.h fills it).
struct HeadlessOptions {
    bool listDevices = false;
    bool listStations = false;
    // --station and --rate as given; the choice they make is in `choice`.
    std::optional<std::string> station;
    std::optional<long long> rate;
    // The station to receive (at --rate or its own) when --station is given.
    std::optional<velto::StationChoice> choice;
    bool json = false;
    bool simulate = false;
    // An existing --record file may be overwritten.
    bool force = false;
    std::optional<std::string> device;  // a capture device by name, or a unique part of one
    std::optional<std::string> input;   // a recording, or "-" for standard input
    std::optional<std::string> record;  // a WAV file to record to
    // A PNG of the recording's band, written once it has been read.
    std::optional<std::string> spectrum;
    // Feeding the system clock (--chrony-sock, --shm, --latency-ms).
    velto::ClockFeedSettings clock;
    // Keeping the reception log (--log, --log-days).
    velto::ReceptionLogSettings log;
};
