#pragma once

#include <QString>
#include <string>

// Texts the libraries below the window tell in Japanese, as the window shows
// them in its own language.

// A warning's sentence: one of the Japanese sentences of health/Warning.h,
// its figures kept. Texts that are none of them (a library's own message)
// are shown as they are.
QString ShownWarningText(const std::string& text);

// A capture device's name: the built-in simulator's translated, a card's as
// the system names it.
QString ShownDeviceName(const QString& name);
