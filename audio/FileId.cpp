#include "audio/FileId.h"

#include <sys/stat.h>

namespace velto {

std::optional<FileId> FileId::OfPath(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return FileId{st.st_dev, st.st_ino};
}

std::optional<FileId> FileId::OfDescriptor(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return FileId{st.st_dev, st.st_ino};
}

}  // namespace velto
