#pragma once

#include <string>

namespace velto {

// What a stream such as standard input carries, told from its first bytes
// without taking them from it, so that libsndfile or the raw reader still
// reads it from its start.
struct StreamHead {
    enum class Content {
        Empty,        // it ended before its first byte
        Raw,          // no header that a sound file starts with: raw samples
        SoundFile,    // the header of a sound file (`format` names it)
        Interrupted,  // a signal came while waiting for the first bytes
        Unreadable,   // `problem` says why
    };
    Content content = Content::Raw;
    std::string format;
    std::string problem;

    // Waits for the first bytes of a pipe, a file or a socket; anything else
    // (a terminal) counts as raw.
    static StreamHead Peek(int fd);
    // The format a sound file with these first bytes has; empty if none.
    static std::string FormatOf(const unsigned char* bytes, std::size_t n);
};

}  // namespace velto
