#include "headless/HeadlessOptions.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "receiver/ChronySock.h"
#include "receiver/ShmRefclock.h"

namespace {

// The largest delay --latency-ms takes: a sound card's buffering is some
// milliseconds to a few hundred.
constexpr double kMaxLatencyMs = 10000.0;

// A whole number or a decimal, nothing after it.
bool ParseNumber(const std::string& text, double* value) {
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(*value);
}

}  // namespace

bool ParseHeadlessOptions(int argc, char** argv, HeadlessOptions* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](std::optional<std::string>* into) {
            if (i + 1 >= argc) {
                *error = "option " + arg + " needs a value.";
                return false;
            }
            *into = argv[++i];
            return true;
        };
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
            if (!value(&options->device)) return false;
        } else if (arg == "--input") {
            if (!value(&options->input)) return false;
        } else if (arg == "--record") {
            if (!value(&options->record)) return false;
        } else if (arg == "--chrony-sock") {
            if (!value(&options->chronySock)) return false;
            if (!velto::CChronySock::PathFits(*options->chronySock)) {
                *error = "--chrony-sock needs the path of a socket, shorter than 108 bytes.";
                return false;
            }
        } else if (arg == "--shm") {
            std::optional<std::string> text;
            if (!value(&text)) return false;
            double unit = -1.0;
            if (!ParseNumber(*text, &unit) || unit != std::floor(unit) || unit < 0 ||
                unit > velto::CShmRefclock::kMaxUnit) {
                *error = "--shm needs a unit number from 0 to " +
                         std::to_string(velto::CShmRefclock::kMaxUnit) + ", not \"" + *text + "\".";
                return false;
            }
            options->shmUnit = static_cast<int>(unit);
        } else if (arg == "--latency-ms") {
            std::optional<std::string> text;
            if (!value(&text)) return false;
            if (!ParseNumber(*text, &options->latencyMs) ||
                std::abs(options->latencyMs) > kMaxLatencyMs) {
                *error = "--latency-ms needs a number of milliseconds within +-" +
                         std::to_string(static_cast<int>(kMaxLatencyMs)) + ", not \"" + *text +
                         "\".";
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
    if ((options->chronySock || options->shmUnit) && options->input) {
        *error = "--chrony-sock and --shm need live reception (a sound card or --simulate): " +
                 std::string("a recording says nothing about the system clock.");
        return false;
    }
    return true;
}
