#include "audio/QuietAudioLibraries.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <initializer_list>

namespace velto {
namespace {

void IgnoreAlsa(const char*, int, const char*, int, const char*, ...) {}
void IgnoreJack(const char*) {}

// JACK comes in through PortAudio when PortAudio was built with it; look its
// message hooks up at run time rather than linking JACK for their sake.
void SilenceJack() {
    using SetFunction = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
            reinterpret_cast<SetFunction>(symbol)(IgnoreJack);
        }
    }
}

}  // namespace

void SilenceAudioLibraries() {
    snd_lib_error_set_handler(IgnoreAlsa);
    SilenceJack();
}

}  // namespace velto
