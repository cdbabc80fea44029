#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "receiver/DeviceProfile.h"

namespace velto {

// Where the reception log is kept and for how long: the one description of
// it. The window keeps it in $XDG_DATA_HOME/Velto/log with the days from the
// profile section "ReceptionLog"; the console keeps it only when asked
// (--log DIR, --log-days N).
struct ReceptionLogSettings {
    // About 110 kB a day: a year is some 40 MB.
    static constexpr int kDefaultKeepDays = 365;
    static constexpr int kMaxKeepDays = 100000;

    bool enabled = false;
    std::filesystem::path directory;
    int keepDays = kDefaultKeepDays;  // 0 keeps every day

    static bool KeepDaysFit(double days);

    // The window's: on unless the profile says "Enabled=false", keeping
    // "KeepDays" days (out of bounds: the default, told in *fallbacks).
    static ReceptionLogSettings Load(ProfileFallbacks* fallbacks = nullptr);
    // $XDG_DATA_HOME/Velto/log (~/.local/share/Velto/log).
    static std::filesystem::path WindowDirectory();

    // The console's options: --log DIR, --log-days N, each with the name of
    // its value and its line of help.
    struct Option {
        const char* name;
        const char* value;
        const char* help;
    };
    static const std::array<Option, 2>& Options();
    static bool IsOption(const std::string& option);
    // Takes the value of one of them; false with one sentence in *error.
    bool ParseOption(const std::string& option, const std::string& value, std::string* error);
};

}  // namespace velto
