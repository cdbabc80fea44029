#pragma once

// Runs Velto without a window (`velto --headless`, `velto --list-devices`):
// reception from a sound card, the simulator, a recording or standard input,
// reported on standard output. Returns the process's exit status.
int RunHeadless(int argc, char** argv);
