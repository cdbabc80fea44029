#pragma once

#include <QString>
#include <string>

// Texts the libraries below the window tell in Japanese, as the window and
// the console tell them in the user's language.

// A warning's sentence: one of the Japanese sentences of health/Warning.h
// in the installed language, its figures kept byte for byte. Texts that are
// none of them (a library's own message, a file name in any encoding) are
// told as they are.
std::string ToldWarningText(const std::string& text);
// The same for a widget.
QString ShownWarningText(const std::string& text);

// A capture device's name: the built-in simulator's translated, a card's as
// the system names it.
QString ShownDeviceName(const QString& name);
