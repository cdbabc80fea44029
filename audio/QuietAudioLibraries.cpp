// The stdio wrappers of _FORTIFY_SOURCE would clash with the vfprintf below.
#undef _FORTIFY_SOURCE

#include "audio/QuietAudioLibraries.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
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

// PortAudio's ALSA code reports every failed call as a line "Expression '...'
// failed in 'src/...', line: N" on stderr, with no hook to turn it off; a
// sound server that goes away mid-stream yields a burst of them. Velto tells
// the user about a lost device itself.
bool IsPortAudioComplaint(const char* format) {
    return format != nullptr && std::strncmp(format, "Expression '", 12) == 0 &&
           std::strstr(format, "' failed in 'src/") != nullptr;
}

}  // namespace

}  // namespace velto

// PortAudio prints through vfprintf; this definition stands in for the C
// library's for the whole program and passes everything else on.
extern "C" int vfprintf(FILE* stream, const char* format, va_list args) {
    using Function = int (*)(FILE*, const char*, va_list);
    static const auto next = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "vfprintf"));
    if (stream == stderr && velto::IsPortAudioComplaint(format)) {
        return 0;
    }
    return next(stream, format, args);
}

namespace velto {

void SilenceAudioLibraries() {
    snd_lib_error_set_handler(IgnoreAlsa);
    SilenceJack();
}

}  // namespace velto
