#pragma once

#include <functional>
#include <string>

namespace velto {

// How the audio layer tells the user of a failure: one warning box with a
// text and a caption. The application installs one that shows a message box;
// without one the warning goes to stderr.
using WarningFunction = std::function<void(const std::string& text, const std::string& caption)>;

// Replaces the warning function; an empty one restores the default.
void SetWarningFunction(WarningFunction function);
void ShowWarning(const std::string& text, const std::string& caption);

}  // namespace velto
