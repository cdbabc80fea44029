#pragma once

#include <clocale>

namespace velto {

// Qt's application object sets the C library's locale from the environment,
// numbers included: under a German or French locale printf would write
// "63,8" into the JSON lines, the reception log and the band's labels, and
// strtod would read "63.8" back as 63. The numbers Velto writes and reads
// are for programs, so right after making the application object each
// program gives LC_NUMERIC back to "C"; texts and dates keep the user's.
inline void KeepNumbersInCNotation() { std::setlocale(LC_NUMERIC, "C"); }

}  // namespace velto
