#pragma once

#include <QString>
#include <string>

// A warning's sentence as the window shows it: one of the Japanese sentences
// of health/Warning.h, its figures kept, in the window's language. Texts that
// are none of them (a library's own message) are shown as they are.
QString ShownWarningText(const std::string& text);
