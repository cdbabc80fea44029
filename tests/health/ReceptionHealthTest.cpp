#include <gtest/gtest.h>

#include <vector>

#include "base/Geometry.h"
#include "health/ReceptionHealth.h"
#include "tests/support/Simulated.h"

namespace velto {
namespace {

TEST(ReceptionHealth, RaisesAndClearsEachWarningOnceAndANewRunStartsClean) {
    std::vector<HealthEvent> events;
    CReceptionHealth health([&](const HealthEvent& e) { events.push_back(e); });
    health.StartRun();
    EXPECT_TRUE(events.empty());

    std::vector<std::int16_t> buffer(kBufferSamples, 0);
    for (int b = 0; b < 2 * kHealthWindowBuffers; ++b) {
        health.OnBuffer(buffer.data(), buffer.size(), 0);
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, WarningCode::Silence);
    EXPECT_TRUE(events[0].raised);
    EXPECT_EQ(events[0].text, WarningText(WarningCode::Silence));

    const auto x = support::Simulated(
        1796610180, std::size_t{3} * kHealthWindowBuffers * kBufferSamples, {.noiseSigma = 300.0});
    std::uint64_t dropped = 0;
    for (int b = 0; b < 3 * kHealthWindowBuffers; ++b) {
        // A few samples, then 1.5 buffers' worth.
        dropped += b == 1 ? 3 : b == 2 ? kBufferSamples * 3 / 2 : 0;
        health.OnBuffer(x.data() + std::size_t(b) * kBufferSamples, kBufferSamples, dropped);
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].code, WarningCode::SamplesDropped);
    EXPECT_EQ(events[1].text, SamplesDroppedText(1, 1));  // rounded up, never 0 ms
    EXPECT_EQ(events[2].code, WarningCode::SamplesDropped);
    EXPECT_EQ(events[2].text, SamplesDroppedText(150, 151));
    EXPECT_EQ(events[3].code, WarningCode::Silence);
    EXPECT_FALSE(events[3].raised);
    EXPECT_EQ(health.Input(), InputState::Good);

    health.OnDeviceLost();
    health.Raise(WarningCode::StoredDeviceMissing, StoredDeviceMissingText("USB Audio"));
    events.clear();
    health.StartRun();
    ASSERT_EQ(events.size(), 3u);
    for (const HealthEvent& e : events) EXPECT_FALSE(e.raised) << WarningCodeName(e.code);
    EXPECT_EQ(health.Input(), InputState::Unknown);
    EXPECT_EQ(health.DroppedMs(), 0);
}

}  // namespace
}  // namespace velto
