#pragma once

#include <cstdio>
#include <string>

#include "receiver/ClockSample.h"

namespace velto {

// Sends samples to chronyd's SOCK reference clock: one datagram each to the
// Unix socket that chronyd binds at the path of its "refclock SOCK" line.
// Never blocks; a sample chronyd cannot take now is dropped.
class CChronySock : public IClockSampleSink {
public:
    // Messages go to `log` (standard error by default).
    explicit CChronySock(std::string path, std::FILE* log = stderr);
    ~CChronySock() override;
    CChronySock(const CChronySock&) = delete;
    CChronySock& operator=(const CChronySock&) = delete;

    void Send(const ClockSample& sample) override;

    // Whether a socket path is short enough for a Unix socket address.
    static bool PathFits(const std::string& path);

    // Samples that reached the socket.
    long Delivered() const { return m_delivered; }

private:
    void Complain(int error);

    std::string m_path;
    std::FILE* m_log;
    int m_fd = -1;
    long m_delivered = 0;
    bool m_complained = false;
};

}  // namespace velto
