#pragma once

#include <array>

#include "base/Geometry.h"

namespace velto {

// One row of AmplitudeHistory: a value for each 10 ms slot of the 8-second
// ring, slot 10b + j being slot j of capture buffer b.
using SlotRow = std::array<double, kRowSlots>;

}  // namespace velto
