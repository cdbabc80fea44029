#pragma once

namespace velto {

// The sound libraries print their probing to stderr: ALSA about every PCM the
// configuration names but the machine lacks, JACK about the server it cannot
// reach. None of it is the user's business (Velto tells its own failures in
// warning boxes), so it is silenced before PortAudio starts probing. Safe to
// call more than once.
void SilenceAudioLibraries();

}  // namespace velto
