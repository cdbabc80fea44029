#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

// Files and texts as the tests read and write them.
namespace support {

namespace fs = std::filesystem;

// The whole of a file; empty when there is none.
inline std::string Slurp(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// How often `what` occurs in `text`.
inline int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The lines of `text` that begin with `head`.
inline std::vector<std::string> Lines(const std::string& text, const std::string& head = "") {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (l.starts_with(head)) lines.push_back(l);
    }
    return lines;
}

// A directory of the test's own, removed with all it holds.
class TempDir {
public:
    TempDir() {
        std::string name = (fs::temp_directory_path() / "velto-test-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("no temporary directory");
        m_path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return m_path; }
    fs::path operator/(const fs::path& name) const { return m_path / name; }
    // Writes `bytes` to the file `name` in it; the file's path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(m_path / name, std::ios::binary) << bytes;
        return (m_path / name).string();
    }

private:
    fs::path m_path;
};

}  // namespace support
