#include "headless/HeadlessOptions.h"

#include <cstring>

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
    return true;
}
