#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "log/ReceptionRecord.h"

namespace velto {

struct ReceptionLogContents {
    std::vector<ReceptionRecord> records;  // in time order, one per minute
    int skipped = 0;                       // lines that were not the log's
};

// The minutes from `fromUtc` to `toUtc` (inclusive) that the log in
// `directory` holds: the last hour, day or week for a chart. Missing files
// are days without reception; a line that is not the log's is skipped and
// counted. At most kMaxReadDays days are read.
inline constexpr int kMaxReadDays = 32;
ReceptionLogContents ReadReceptionLog(const std::filesystem::path& directory, std::int64_t fromUtc,
                                      std::int64_t toUtc);

}  // namespace velto
