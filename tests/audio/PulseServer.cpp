#include "tests/audio/PulseServer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace velto {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

bool HasProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// ALSA reaches PulseAudio through this plugin (Debian's libasound2-plugins).
bool HasAlsaPulsePlugin() {
    std::error_code error;
    for (const fs::path root : {"/usr/lib", "/usr/lib64", "/lib"}) {
        if (fs::exists(root / "alsa-lib/libasound_module_pcm_pulse.so", error)) {
            return true;
        }
        for (const auto& entry : fs::directory_iterator(root, error)) {
            if (fs::exists(entry.path() / "alsa-lib/libasound_module_pcm_pulse.so", error)) {
                return true;
            }
        }
    }
    return false;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

CPulseServer::CPulseServer() {
    for (const char* program : {"pulseaudio", "pactl", "pacat", "parecord"}) {
        if (!HasProgram(program)) {
            m_missing += std::string(m_missing.empty() ? "" : ", ") + program;
        }
    }
    if (!HasAlsaPulsePlugin()) {
        m_missing += std::string(m_missing.empty() ? "" : ", ") + "ALSA's pulse plugin";
    }
    if (!m_missing.empty()) {
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "velto-pulse-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        m_error = "cannot make a temporary directory";
        return;
    }
    m_dir = buffer.data();
    const fs::path dir(m_dir);
    const std::string command = Quoted(VELTO_PULSE_SERVER_SCRIPT) + " start " + Quoted(m_dir) +
                                " >" + Quoted((dir / "env").string()) + " 2>" +
                                Quoted((dir / "start.err").string());
    if (std::system(command.c_str()) != 0) {
        m_error = "pulse-server failed: " + ReadFile(dir / "start.err");
        return;
    }
    const std::string env = ReadFile(dir / "env");
    const std::string key = "PULSE_SERVER=";
    const auto at = env.find(key);
    if (at == std::string::npos) {
        m_error = "pulse-server printed no address";
        return;
    }
    const std::string address = env.substr(at + key.size(), env.find('\n', at) - at - key.size());
    setenv("PULSE_SERVER", address.c_str(), 1);
    m_running = true;
}

CPulseServer::~CPulseServer() {
    if (m_dir.empty()) {
        return;
    }
    const std::string command = Quoted(VELTO_PULSE_SERVER_SCRIPT) + " stop " + Quoted(m_dir);
    if (std::system(command.c_str()) != 0) {
        return;  // leave the directory for a look at the server's log
    }
    unsetenv("PULSE_SERVER");
    std::error_code error;
    fs::remove_all(m_dir, error);
}

}  // namespace velto
