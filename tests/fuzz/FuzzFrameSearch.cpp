// libFuzzer entry: the frame search over arbitrary soft scores, the first byte the first
// second's place in its minute. The result always names a real minute of a real day.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "SoftSeconds.h"
#include "timecode/FrameDecoder.h"

using namespace velto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CFrameDecoder decoder(GetStation(StationId::Jjy40));
    static std::array<MinuteRecord, timecode::kMaxRecords> records;
    if (size < 1) return 0;
    const int phase = data[0] % 60;
    const std::size_t seconds = (size - 1) / fuzz::kSecondBytes;
    const int count =
        std::min<int>(static_cast<int>((phase + seconds + 59) / 60), timecode::kMaxRecords);
    if (count == 0) return 0;
    for (int a = 0; a < count; ++a) records[a] = MinuteRecord{};
    for (std::size_t i = 0; i < seconds; ++i) {
        const std::size_t at = phase + i;
        const int newestFirst = count - 1 - static_cast<int>(at / 60);
        if (newestFirst < 0) break;
        MinuteRecord& r = records[newestFirst];
        const std::uint8_t* b = data + 1 + fuzz::kSecondBytes * i;
        const int s = static_cast<int>(at % 60);
        for (int h = 0; h < 3; ++h) r.log[s][h] = fuzz::LogProbability(b[h]);
        r.present[s] = true;
    }
    std::array<const MinuteRecord*, timecode::kMaxRecords> run{};
    for (int a = 0; a < count; ++a) run[a] = &records[a];
    const FrameResult result = decoder.Decode(run.data(), count);
    fuzz::Require(result.minuteOfDay >= 0 && result.minuteOfDay < 1440);
    fuzz::Require(result.year >= 2000 && result.year <= 2099);
    fuzz::Require(result.dayOfYear >= 1 && result.dayOfYear <= (result.year % 4 == 0 ? 366 : 365));
    fuzz::Require(!std::isnan(result.marginTime) && !std::isnan(result.marginDate));
    fuzz::Require(std::isfinite(result.ls1Evidence) && std::isfinite(result.ls2Evidence));
    fuzz::Require(result.confidence >= 0.0 && result.confidence <= 1.0);
    fuzz::Require(!result.decisive || (result.marginTime >= timecode::kDecisiveNats &&
                                       result.marginDate >= timecode::kDecisiveNats));
    return 0;
}
