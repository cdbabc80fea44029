#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace velto {

// A file as the system knows it, whatever path or hard link reaches it: a
// recording's target is compared with the input by this, never by name.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;

    bool operator==(const FileId&) const = default;

    // None when there is no such file (or it cannot be looked at).
    static std::optional<FileId> OfPath(const std::string& path);
    static std::optional<FileId> OfDescriptor(int fd);
};

}  // namespace velto
