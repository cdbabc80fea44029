#pragma once

#include <QStringList>
#include <string>
#include <vector>

#include "headless/HeadlessOptions.h"

// Velto's command line, the window's and the console's alike: one table of
// options, read by one parser.
enum class RunMode { Window, Console, Help, Version };

struct CommandLine {
    RunMode mode = RunMode::Window;
    // The options; in the window only `simulate` counts.
    HeadlessOptions options;
};

// One option as --help, the README and the manual page name it.
struct OptionEntry {
    std::string name;       // "--device"
    std::string shortName;  // "-h", or empty
    std::string value;      // "NAME", or empty for a flag
    std::string help;
    // The console's own: given without --headless, it still means the console.
    bool console = false;
};

// Every option Velto takes; the clock feed's come from ClockFeedSettings.
const std::vector<OptionEntry>& OptionTable();
std::string HelpText();

// The arguments after the program's name, as bytes: each passes as Latin-1,
// so that a file name in any encoding reaches the program unchanged. False
// with one sentence in *error for an unknown option, a stray argument or a
// value that cannot be used; the caller exits with status 2.
bool ParseCommandLine(const QStringList& arguments, CommandLine* line, std::string* error);
QStringList ArgumentsOf(int argc, char** argv);
