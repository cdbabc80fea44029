#pragma once

#include <portaudio.h>

namespace velto {

// PortAudio's error as one of the service's result codes: a bad stream or
// device is an invalid handle, a missing device or host a missing driver.
int WaveResultFromPortAudio(PaError error);

// PortAudio streams open in the process. PortAudio reads its device list only
// when initialised, and ending it closes every stream: the list may be read
// anew only while none is open.
void CountStreamOpened();
void CountStreamClosed();
int OpenStreamCount();

}  // namespace velto
