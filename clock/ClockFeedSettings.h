#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "clock/ClockFeed.h"
#include "receiver/DeviceProfile.h"

namespace velto {

// How the system clock is fed: whether, to which daemon and with what delay.
// The one description of it, with its bounds: the window loads and saves it
// in the profile section "ClockFeed" (its dialog edits it), the console
// fills it from its options, and MakeClockFeed builds the feed for both.
struct ClockFeedSettings {
    static constexpr char kDefaultChronySock[] = "/run/chrony.jjy.sock";
    // The largest delay taken: a sound card's buffering is some milliseconds
    // to a few hundred. A sample written up to 3 s after its capture is then
    // under the 5 s after which ntpd drops it.
    static constexpr double kMaxLatencyMs = 1000.0;

    bool enabled = false;
    // chronyd's SOCK socket, and an NTP shared-memory unit; each only when set.
    std::optional<std::string> chronySock;
    std::optional<int> shmUnit;
    // The receiver's and the sound card's delay, taken off the capture times.
    double latencyMs = 0.0;
    // The permissions a shared-memory unit is created with: Velto's user
    // alone unless asked otherwise (a unit others may write to lets any of
    // them hand the daemon a false time).
    int shmMode = 0600;

    static bool LatencyFits(double ms);
    static bool ChronySockFits(const std::string& path);
    static bool ShmUnitFits(double unit);
    // Octal permissions that give Velto's user read and write, and nobody execute.
    static bool ShmModeFits(const std::string& octal, int* mode);

    // The window's: off, or to chronyd's socket (the default one unless the
    // profile names another that fits). Values out of bounds read as the
    // defaults, and go into *fallbacks.
    static ClockFeedSettings Load(ProfileFallbacks* fallbacks = nullptr);
    // False when the profile could not be written (WriteProfile).
    bool Save() const;

    // The console's options: --chrony-sock PATH, --shm UNIT, --shm-mode MODE,
    // --latency-ms MS, each with the name of its value and its line of help.
    struct Option {
        const char* name;
        const char* value;
        const char* help;
    };
    static const std::array<Option, 4>& Options();
    static bool IsOption(const std::string& option);
    // Takes the value of one of them; false with one sentence in *error.
    bool ParseOption(const std::string& option, const std::string& value, std::string* error);
};

// The feed the settings ask for, with its sinks; null when it is off. Null
// too, with one sentence in *problem, when a sink that was asked for cannot be
// had at all (the shared memory); a sink that may come good later (chronyd's
// socket) tells `tell` instead.
std::unique_ptr<CClockFeed> MakeClockFeed(const ClockFeedSettings& settings, CClockFeed::Tell tell,
                                          std::string* problem);

}  // namespace velto
