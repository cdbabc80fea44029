#pragma once

#include <memory>
#include <string>

#include "clock/ClockSample.h"

namespace velto {

// Sends samples to chronyd's SOCK reference clock: one datagram each to the
// Unix socket that chronyd binds at the path of its "refclock SOCK" line.
// Never blocks; a sample chronyd cannot take now is dropped.
class CChronySock : public IClockSampleSink {
public:
    // Null with one sentence in *problem when no socket could be had.
    static std::unique_ptr<CChronySock> Open(std::string path, std::string* problem);
    ~CChronySock() override;
    CChronySock(const CChronySock&) = delete;
    CChronySock& operator=(const CChronySock&) = delete;

    std::optional<Warning> Send(const ClockSample& sample) override;

    // Whether a socket path is short enough for a Unix socket address.
    static bool PathFits(const std::string& path);

    // Samples that reached the socket.
    long Taken() const override { return m_delivered; }
    // Whether a sample could reach the socket now, before any is sent: the
    // trouble (no socket yet, no permission to write to it) said once, as a
    // failed send would say it.
    std::optional<Warning> Check();

private:
    CChronySock(std::string path, int fd);
    std::optional<Warning> Complain(int error);

    std::string m_path;
    int m_fd;
    long m_delivered = 0;
    bool m_complained = false;
};

}  // namespace velto
