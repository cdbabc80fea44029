#include "log/ReceptionLogReader.h"

#include <algorithm>
#include <fstream>
#include <string>

#include "log/ReceptionLogFormat.h"

namespace velto {

ReceptionLogContents ReadReceptionLog(const std::filesystem::path& directory, std::int64_t fromUtc,
                                      std::int64_t toUtc) {
    ReceptionLogContents contents;
    const std::int64_t last = receptionlog::DayOf(toUtc);
    const std::int64_t first = std::max(receptionlog::DayOf(fromUtc), last - kMaxReadDays + 1);
    for (std::int64_t day = first; day <= last; ++day) {
        std::ifstream in(directory / receptionlog::FileName(day));
        std::string line;
        bool header = true;
        while (std::getline(in, line)) {
            const bool isHeader = header && line == receptionlog::HeaderLine();
            header = false;
            if (isHeader || line.empty()) {
                continue;
            }
            const auto record = receptionlog::ParseLine(line);
            if (!record) {
                ++contents.skipped;
            } else if (record->minuteUtc >= fromUtc && record->minuteUtc <= toUtc) {
                contents.records.push_back(*record);
            }
        }
    }
    // A clock stepped back may have written minutes out of order, or twice.
    std::stable_sort(contents.records.begin(), contents.records.end(),
                     [](const auto& a, const auto& b) { return a.minuteUtc < b.minuteUtc; });
    const auto end =
        std::unique(contents.records.begin(), contents.records.end(),
                    [](const auto& a, const auto& b) { return a.minuteUtc == b.minuteUtc; });
    contents.records.erase(end, contents.records.end());
    return contents;
}

}  // namespace velto
