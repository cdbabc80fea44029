#pragma once

#include <functional>
#include <string>

#include "headless/HeadlessOptions.h"

namespace velto {
class CSpectrumAnalyser;
}

// The band of a recording as a picture (`--spectrum FILE.png`). Drawing it
// needs Qt Gui, which the console does without: the program's main provides
// it. `write` is called after the console's own application object is
// gone; false with one sentence in *error.
struct SpectrumPicture {
    int maxLines = 0;  // the most waterfall lines the picture shows
    std::function<bool(const velto::CSpectrumAnalyser& analyser, const std::string& path,
                       std::string* error)>
        write;
};

// Runs Velto without a window (`velto --headless`, `velto --list-devices`):
// reception from a sound card, the simulator, a recording or standard input,
// reported on standard output. Returns the process's exit status.
int RunHeadless(const HeadlessOptions& options, int argc, char** argv,
                const SpectrumPicture& picture = {});
