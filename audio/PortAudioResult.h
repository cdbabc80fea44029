#pragma once

#include <portaudio.h>

namespace velto {

// PortAudio's error as one of the service's result codes: a bad stream or
// device is an invalid handle, a missing device or host a missing driver.
int WaveResultFromPortAudio(PaError error);

}  // namespace velto
