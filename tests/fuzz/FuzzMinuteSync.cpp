// libFuzzer entry: minute sync over arbitrary soft scores, a shift, weakening or reset half-way
// as the first byte says. The phase is a second of the minute, changed only with a generation.
#include <cstdint>

#include "SoftSeconds.h"
#include "timecode/MinuteSync.h"

using namespace velto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    CMinuteSync sync(GetStation(StationId::Jjy40));
    const std::size_t seconds = (size - 1) / fuzz::kSecondBytes;
    const std::size_t eventAt = seconds / 2;
    const int event = data[0] / 60;  // 0 none, 1 shift ahead, 2 back, 3 weaken, 4 reset
    int generation = sync.Generation(), phase = 0;
    for (std::size_t i = 0; i < seconds; ++i) {
        const std::uint8_t* b = data + 1 + fuzz::kSecondBytes * i;
        ScoredSecond s{};
        s.second = static_cast<std::int64_t>(i) + data[0] % 60;
        for (int h = 0; h < 3; ++h) s.log[h] = fuzz::LogProbability(b[h]);
        if (i == eventAt) {
            if (event == 1) sync.Shift(1);
            if (event == 2) sync.Shift(-1);
            if (event == 3) sync.Weaken(timecode::kSpliceMinuteKeep);
            if (event == 4) sync.Reset();
            if (event == 1 || event == 2) phase = sync.SecondInMinute(s.second);
        }
        sync.Add(s);
        if (!sync.Locked()) continue;
        const int now = sync.SecondInMinute(s.second);
        fuzz::Require(now >= 0 && now < 60);
        fuzz::Require(sync.Generation() != generation || now == phase);
        generation = sync.Generation();
        phase = sync.SecondInMinute(s.second + 1);
    }
    return 0;
}
