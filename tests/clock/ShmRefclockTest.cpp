#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "receiver/ShmRefclock.h"

namespace velto {
namespace {

// A unit of this process's own, far from the ones ntpd and chrony use, and
// removed again at the end.
class CShmUnit {
public:
    CShmUnit() : m_unit(100 + static_cast<int>(::getpid() % 150)) { Remove(); }
    ~CShmUnit() { Remove(); }
    int Unit() const { return m_unit; }
    key_t Key() const { return CShmRefclock::kKeyBase + m_unit; }

private:
    void Remove() {
        const int id = ::shmget(Key(), 0, 0);
        if (id >= 0) {
            ::shmctl(id, IPC_RMID, nullptr);
        }
    }
    int m_unit;
};

// What a reader copies between two reads of count.
struct Seen {
    long long clockSec, clockNsec, receiveSec, receiveNsec;
    int leap;
};

// A reader in the manner of chronyd's SHM driver runs while samples are
// written: every copy it takes with an unchanged, even count is a whole
// sample (the true time k ms after the system time, k whole seconds after the
// first); a copy with count moving under it is one it must, and can, tell.
TEST(ShmRefclock, ReaderNeverTakesAHalfWrittenSample) {
    CShmUnit unit;
    CShmRefclock writer(unit.Unit());
    ASSERT_TRUE(writer.Attached());
    const int id = ::shmget(unit.Key(), sizeof(ShmTime), 0);
    ASSERT_GE(id, 0);
    auto* shm = static_cast<ShmTime*>(::shmat(id, nullptr, 0));
    ASSERT_NE(shm, reinterpret_cast<ShmTime*>(-1));

    constexpr long long kBase = 1750000000;
    std::atomic<bool> done{false};
    std::atomic<long> whole{0};
    long torn = 0;
    long bad = 0;
    std::thread reader([&] {
        std::atomic_ref<int> count(shm->count);
        std::atomic_ref<int> valid(shm->valid);
        while (!done.load()) {
            const int before = count.load(std::memory_order_acquire);
            if (valid.load() == 0 || before % 2 != 0) {
                continue;
            }
            const volatile ShmTime& v = *shm;
            const Seen seen{v.clockTimeStampSec, v.clockTimeStampNSec, v.receiveTimeStampSec,
                            v.receiveTimeStampNSec, v.leap};
            // A release read-modify-write keeps the copy above before the
            // second look at count, with no fence (which sanitizers refuse).
            if (count.fetch_add(0, std::memory_order_acq_rel) != before) {
                ++torn;
                continue;
            }
            ++whole;
            const long long k = seen.receiveSec - kBase;
            const long long diffNs = (seen.clockSec - seen.receiveSec) * 1000000000LL +
                                     seen.clockNsec - seen.receiveNsec;
            if (diffNs != k * 1000000 || seen.leap != static_cast<int>(k % 3)) {
                ++bad;
            }
        }
    });
    // Writes go on until the reader has taken plenty of whole copies.
    int written = 0;
    for (int k = 0; k < 20000 || whole.load() < 2000; ++k, ++written) {
        ClockSample sample;
        sample.system = SystemTime{kBase + k, 500000000 + k};
        sample.offset = static_cast<double>(k) * 1e-3;
        sample.leap = static_cast<LeapWarning>(k % 3);
        writer.Send(sample);
    }
    done.store(true);
    reader.join();

    EXPECT_EQ(bad, 0) << "of " << whole.load() << " whole reads (" << torn
                      << " torn ones rejected)";
    EXPECT_EQ(shm->mode, 1);
    EXPECT_EQ(shm->count, 2 * written);
    EXPECT_EQ(shm->valid, 1);
    EXPECT_EQ(shm->precision, CShmRefclock::kPrecision);
    // The last sample, field by field, also in microseconds.
    const int kLast = written - 1;
    EXPECT_EQ(shm->receiveTimeStampSec, kBase + kLast);
    EXPECT_EQ(shm->receiveTimeStampUSec, (500000000 + kLast) / 1000);
    EXPECT_EQ(shm->receiveTimeStampNSec, 500000000u + kLast);
    // The true time is kLast ms after the system time.
    const long long lastNs = 500000000LL + kLast + kLast * 1000000LL;
    EXPECT_EQ(shm->clockTimeStampSec, kBase + kLast + lastNs / 1000000000);
    EXPECT_EQ(shm->clockTimeStampNSec, static_cast<unsigned>(lastNs % 1000000000));
    EXPECT_EQ(shm->clockTimeStampUSec, static_cast<int>(shm->clockTimeStampNSec / 1000));
    ::shmdt(shm);
}

TEST(ShmRefclock, RefusesUnitsOutOfRange) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* log = ::open_memstream(&text, &size);
    CShmRefclock bad(CShmRefclock::kMaxUnit + 1, log);
    EXPECT_FALSE(bad.Attached());
    std::fclose(log);
    EXPECT_NE(std::string(text, size).find("not in 0..255"), std::string::npos);
    std::free(text);
}

}  // namespace
}  // namespace velto
