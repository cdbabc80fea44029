#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "clock/ChronySock.h"
#include "clock/ClockFeed.h"
#include "clock/ClockFeedSettings.h"
#include "clock/ShmRefclock.h"
#include "tests/support/ShmCopy.h"

namespace velto {
namespace {

constexpr std::int64_t kStart = 1750000000;  // system time of sample 0

struct CRecorder : IClockSampleSink {
    explicit CRecorder(std::vector<ClockSample>& out) : out(out) {}
    std::optional<Warning> Send(const ClockSample& sample) override {
        out.push_back(sample);
        return std::nullopt;
    }
    std::vector<ClockSample>& out;
};

// Second k: true time kStart + k, on-time point at sample 96000 k + 4800.5.
DecoderRise Rise(std::int64_t k, bool vouched = true,
                 ReceptionState state = ReceptionState::TimeValid, int leap = 0) {
    return {.onTimeSample = static_cast<double>(k * 96000) + 4800.5,
            .secondInMinute = static_cast<int>(k % 60),
            .state = state,
            .timeValid = state == ReceptionState::TimeValid || state == ReceptionState::Flywheel,
            .utcUnix = kStart + k,
            .leap = leap,
            .vouched = vouched};
}

// None for the flywheel, a leap second, a capture 3 s old or a second rise in one second.
TEST(ClockFeed, SendsOnlyVouchedFreshSecondsWithASteadyCaptureTime) {
    std::vector<ClockSample> sent;
    CClockFeed feed(ClockFeedSettings::kMaxLatencyMs, nullptr);
    feed.AddSink(std::make_unique<CRecorder>(sent));
    SystemTime now;
    feed.SetClock([&] { return now; });
    // Captured 50.005 ms into system second kStart + k - 1, heard of `after` s later.
    const auto offer = [&](const DecoderRise& r, double after = 1.5, bool steady = true) {
        const SystemTime captured =
            SystemTime{kStart + (r.utcUnix - kStart) - 1, 0}.Plus(4800.5 / 96000.0);
        now = captured.Plus(after);
        feed.OnRise(r, steady ? std::optional(captured) : std::nullopt);
        return sent.size();
    };
    using S = ReceptionState;
    EXPECT_EQ(offer(Rise(1, false)), 0u);
    EXPECT_EQ(offer(Rise(2, true, S::MinuteLocked)), 0u);
    EXPECT_EQ(offer(Rise(3, true, S::Flywheel)), 0u);
    EXPECT_EQ(offer(Rise(4), 1.5, false), 0u);
    EXPECT_EQ(offer(Rise(5), 3.2), 0u);
    auto leap = Rise(60);
    leap.secondInMinute = 60;
    EXPECT_EQ(offer(leap), 0u);
    EXPECT_EQ(offer(Rise(6, true, S::TimeValid, 1), 2.9), 1u);
    EXPECT_EQ(offer(Rise(6)), 1u) << "the same second twice";
    EXPECT_EQ(offer(Rise(7)), 2u);
    const ClockSample& s6 = sent[0];
    const double system =
        static_cast<double>(s6.system.sec - kStart) + static_cast<double>(s6.system.nsec) * 1e-9;
    EXPECT_NEAR(system, 5.0 + 4800.5 / 96000.0 - 1.0, 2e-6);
    EXPECT_NEAR(s6.offset, 6.0 - system, 1e-9);
    EXPECT_EQ(s6.leap, LeapWarning::Insert);
    EXPECT_EQ(sent[1].leap, LeapWarning::None);
}

TEST(ClockFeed, KeepsItsTroubleUntilASampleIsTakenAndWhenOneWas) {
    struct CFlakySink : IClockSampleSink {
        std::optional<Warning> Send(const ClockSample&) override {
            if (!up) return Warning{WarningCode::ClockFeed, "cannot send: Permission denied"};
            return ++taken == 1 ? std::optional(Warning{WarningCode::ClockFeed, "back"})
                                : std::nullopt;
        }
        long Taken() const override { return taken; }
        bool up = false;
        long taken = 0;
    };
    auto flaky = std::make_unique<CFlakySink>();
    CFlakySink* sink = flaky.get();
    std::vector<std::string> told;
    CClockFeed feed(0.0, [&](const Warning& w) { told.push_back(w.text); });
    feed.AddSink(std::move(flaky));
    feed.NoteTrouble("no chronyd listens yet");
    EXPECT_FALSE(feed.LastTaken());
    feed.SetClock([] { return SystemTime{kStart + 2, 0}; });
    const auto second = [&feed](std::int64_t k) {
        feed.OnRise(Rise(k), SystemTime{kStart + k, 0});
    };
    second(0);
    EXPECT_EQ(feed.Trouble(), "cannot send: Permission denied");
    EXPECT_FALSE(feed.LastTaken());
    sink->up = true;
    const auto before = std::chrono::steady_clock::now();
    second(1);
    EXPECT_EQ(feed.Trouble(), "");
    ASSERT_TRUE(feed.LastTaken());
    EXPECT_GE(*feed.LastTaken(), before);
    EXPECT_EQ(told, (std::vector<std::string>{"cannot send: Permission denied", "back"}));
}

// chronyd's side: a datagram socket bound at a path in a private directory.
struct CChronyEnd {
    CChronyEnd() {
        char tmpl[] = "/tmp/velto-sock-XXXXXX";
        dir = ::mkdtemp(tmpl);
        path = dir + "/jjy.sock";
    }
    ~CChronyEnd() {
        if (fd >= 0) ::close(fd);
        ::unlink(path.c_str());
        ::rmdir(dir.c_str());
    }
    void Bind() {
        fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    std::string dir, path;
    int fd = -1;
};

// Velto may start before chronyd: it says so once and keeps trying.
TEST(ChronySock, WaitsQuietlyForChronydThenSendsItsSampleLayout) {
    CChronyEnd chronyd;
    std::string problem;
    const std::unique_ptr<CChronySock> sock = CChronySock::Open(chronyd.path, &problem);
    ASSERT_TRUE(sock) << problem;
    const ClockSample sample{SystemTime{1750000000, 123456789}, -0.25, LeapWarning::Insert};
    std::vector<std::string> said;
    const auto send = [&](CChronySock& to) {
        if (const std::optional<Warning> w = to.Send(sample)) said.push_back(w->text);
    };
    for (int i = 0; i < 5; ++i) send(*sock);
    EXPECT_EQ(sock->Taken(), 0);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].starts_with("no chronyd listens at " + chronyd.path)) << said[0];

    chronyd.Bind();
    send(*sock);
    EXPECT_EQ(sock->Taken(), 1);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_EQ(said[1], "chronyd takes the samples at " + chronyd.path + " now");
    unsigned char bytes[64];
    ASSERT_EQ(::recv(chronyd.fd, bytes, sizeof bytes, MSG_DONTWAIT), 40);
    timeval tv{};
    double offset = 0.0;
    int ints[4] = {};  // pulse, leap, pad, magic
    std::memcpy(&tv, bytes, sizeof tv);
    std::memcpy(&offset, bytes + 16, sizeof offset);
    std::memcpy(ints, bytes + 24, sizeof ints);
    EXPECT_EQ(tv.tv_sec, 1750000000);
    EXPECT_EQ(tv.tv_usec, 123456);
    EXPECT_NEAR(static_cast<double>(tv.tv_usec) * 1e-6 + offset, 0.123456789 - 0.25, 1e-12);
    EXPECT_EQ(std::vector(ints, ints + 4), (std::vector{0, 1, 0, 0x534f434b}));

    const std::unique_ptr<CChronySock> direct = CChronySock::Open(chronyd.path, &problem);
    send(*direct);
    EXPECT_EQ(direct->Taken(), 1);
    EXPECT_EQ(said.size(), 2u);

    EXPECT_FALSE(CChronySock::PathFits(std::string(108, 'a')));
    EXPECT_TRUE(CChronySock::PathFits(std::string(107, 'a')));
}

// A reader as chronyd's SHM driver: sample k is k ms ahead of the system time, k s on.
TEST(ShmRefclock, ReaderNeverTakesAHalfWrittenSample) {
    // A unit of this process's own, far from the ones ntpd and chrony use.
    const int unit = 100 + static_cast<int>(::getpid() % 150);
    const auto remove = [&] {
        const int id = ::shmget(CShmRefclock::kKeyBase + unit, 0, 0);
        if (id >= 0) ::shmctl(id, IPC_RMID, nullptr);
    };
    remove();
    std::string problem;
    const std::unique_ptr<CShmRefclock> writer = CShmRefclock::Attach(unit, 0600, &problem);
    ASSERT_TRUE(writer) << problem;
    const int id = ::shmget(CShmRefclock::kKeyBase + unit, sizeof(ShmTime), 0);
    ASSERT_GE(id, 0);
    // Created for Velto's user alone: no other may write a false time into it.
    shmid_ds state{};
    ASSERT_EQ(::shmctl(id, IPC_STAT, &state), 0);
    EXPECT_EQ(state.shm_perm.mode & 0777, 0600u);
    auto* shm = static_cast<ShmTime*>(::shmat(id, nullptr, 0));
    remove();  // gone once both sides have detached
    ASSERT_NE(shm, reinterpret_cast<ShmTime*>(-1));

    constexpr long long kBase = 1750000000;
    std::atomic<bool> done{false};
    std::atomic<long> whole{0};
    long torn = 0, bad = 0;
    std::thread reader([&] {
        support::ShmCopy seen{};
        while (!done.load()) {
            const support::ShmLook look = support::LookAtShm(*shm, seen);
            torn += look == support::ShmLook::Torn ? 1 : 0;
            if (look != support::ShmLook::Whole) continue;
            ++whole;
            const long long k = seen.receiveSec - kBase;
            const long long diffNs = (seen.clockSec - seen.receiveSec) * 1000000000LL +
                                     seen.clockNsec - seen.receiveNsec;
            bad += diffNs != k * 1000000 || seen.leap != static_cast<int>(k % 3);
        }
    });
    // Writes go on until the reader has taken plenty of whole copies.
    int written = 0, told = 0;
    for (int k = 0; k < 20000 || whole.load() < 2000; ++k, ++written) {
        const ClockSample sample{SystemTime{kBase + k, 500000000 + k},
                                 static_cast<double>(k) * 1e-3, static_cast<LeapWarning>(k % 3)};
        told += writer->Send(sample).has_value();
    }
    EXPECT_EQ(told, 0) << "a reader is no other writer";
    done.store(true);
    reader.join();

    EXPECT_EQ(bad, 0) << "of " << whole.load() << " whole reads (" << torn
                      << " torn ones rejected)";
    EXPECT_EQ(std::tuple(shm->mode, shm->count, shm->valid), std::tuple(1, 2 * written, 1));
    // The last sample's fields that the reader does not judge.
    const int last = written - 1;
    EXPECT_EQ(shm->receiveTimeStampUSec, (500000000 + last) / 1000);
    EXPECT_EQ(shm->receiveTimeStampNSec, 500000000u + last);
    EXPECT_EQ(shm->clockTimeStampUSec, static_cast<int>(shm->clockTimeStampNSec / 1000));
    // Another program's write in between is told, once.
    shm->count += 2;
    const std::optional<Warning> other = writer->Send(ClockSample{});
    ASSERT_TRUE(other);
    EXPECT_EQ(other->text.find("another program writes to NTP shared-memory unit " +
                               std::to_string(unit) + " too"),
              0u);
    shm->count += 2;
    EXPECT_FALSE(writer->Send(ClockSample{}));
    ::shmdt(shm);

    EXPECT_FALSE(CShmRefclock::Attach(CShmRefclock::kMaxUnit + 1, 0600, &problem));
    EXPECT_EQ(problem, "shared-memory unit 256 is not in 0..255");
}

}  // namespace
}  // namespace velto
