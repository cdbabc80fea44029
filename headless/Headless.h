#pragma once

#include "headless/HeadlessOptions.h"

// Runs Velto without a window (`velto --headless`, `velto --list-devices`):
// reception from a sound card, the simulator, a recording or standard input,
// reported on standard output. Returns the process's exit status.
int RunHeadless(const HeadlessOptions& options, int argc, char** argv);
