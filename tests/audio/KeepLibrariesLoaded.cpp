// Keeps ALSA's plugins mapped until exit, so that LeakSanitizer names what they leave.
extern "C" int dlclose(void*) { return 0; }
