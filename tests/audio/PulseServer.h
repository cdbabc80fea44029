#pragma once

#include <string>

namespace velto {

// A private PulseAudio server for the life of the object, started and stopped
// with tests/audio/pulse-server (see there for its sinks). While it runs,
// PULSE_SERVER in this process's environment points at it, so that programs
// started from here and ALSA's default device reach it.
class CPulseServer {
public:
    CPulseServer();
    ~CPulseServer();
    CPulseServer(const CPulseServer&) = delete;
    CPulseServer& operator=(const CPulseServer&) = delete;

    // What is not installed for the server and its clients; empty if all is.
    const std::string& Missing() const { return m_missing; }
    bool Running() const { return m_running; }
    // Why the server did not start.
    const std::string& Error() const { return m_error; }

private:
    std::string m_missing;
    std::string m_error;
    std::string m_dir;
    bool m_running = false;
};

}  // namespace velto
