#pragma once

#include <cstdint>

namespace velto {

// Fills the 768000-sample monitor table: a 1600 Hz sine of amplitude 3000,
// value(i) = (int16)(sin(i / 96000 x 2 pi 1600) x 3000 + 0.5).
void MakeToneTable(std::int16_t* table);

}  // namespace velto
