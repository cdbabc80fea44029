#include "headless/HeadlessOptions.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

// The console's options with a value, and those without; --simulate is the
// window's too. The clock feed's come from ClockFeedSettings, the reception
// log's from ReceptionLogSettings.
constexpr std::array<std::string_view, 4> kValueOptions = {"--device", "--input", "--record",
                                                           "--spectrum"};
constexpr std::array<std::string_view, 3> kFlagOptions = {"--headless", "--list-devices", "--json"};

bool Listed(const auto& list, const std::string& arg) {
    return std::ranges::find(list, arg) != list.end();
}

}  // namespace

bool IsConsoleOption(const std::string& arg) {
    return Listed(kValueOptions, arg) || Listed(kFlagOptions, arg) ||
           velto::ClockFeedSettings::IsOption(arg) || velto::ReceptionLogSettings::IsOption(arg);
}

bool ParseHeadlessOptions(int argc, char** argv, HeadlessOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = Listed(kValueOptions, arg) || velto::ClockFeedSettings::IsOption(arg) ||
                            velto::ReceptionLogSettings::IsOption(arg);
        if (valued && i + 1 >= argc) {
            *error = "option " + arg + " needs a value.";
            return false;
        }
        if (arg == "--headless") {
            continue;
        }
        if (arg == "--list-devices") {
            options->listDevices = true;
        } else if (arg == "--json") {
            options->json = true;
        } else if (arg == "--simulate") {
            options->simulate = true;
        } else if (arg == "--device") {
            options->device = argv[++i];
        } else if (arg == "--input") {
            options->input = argv[++i];
        } else if (arg == "--record") {
            options->record = argv[++i];
        } else if (arg == "--spectrum") {
            options->spectrum = argv[++i];
        } else if (velto::ClockFeedSettings::IsOption(arg)) {
            if (!options->clock.ParseOption(arg, argv[++i], error)) {
                return false;
            }
        } else if (velto::ReceptionLogSettings::IsOption(arg)) {
            if (!options->log.ParseOption(arg, argv[++i], error)) {
                return false;
            }
        } else {
            *error = "unknown option " + arg + ".";
            return false;
        }
    }
    const int sources =
        (options->simulate ? 1 : 0) + (options->device ? 1 : 0) + (options->input ? 1 : 0);
    if (sources > 1) {
        *error = "choose one input: --simulate, --device or --input.";
        return false;
    }
    if (options->clock.enabled && options->input) {
        *error = "--chrony-sock and --shm need live reception (a sound card or --simulate): " +
                 std::string("a recording says nothing about the system clock.");
        return false;
    }
    if (options->spectrum && !options->input) {
        *error = "--spectrum draws the band of a recording: it needs --input.";
        return false;
    }
    return true;
}
