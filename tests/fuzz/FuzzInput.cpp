// libFuzzer entry: velto --headless --input ... --json over the bytes after the first, whose
// bit 0 chooses a file or standard input and bits 1-3 play it 1 to 8 times.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "audio/RawSampleReader.h"
#include "audio/SoundFileReader.h"
#include "headless/EventPrinter.h"
#include "receiver/Receiver.h"

namespace {

template <typename Reader>
void DecodeAll(Reader& reader, velto::CReceiver& receiver) {
    std::vector<std::int16_t> samples(4096);
    for (std::size_t n; (n = reader.Read(samples.data(), samples.size())) > 0;) {
        receiver.FeedInput(samples.data(), n);
    }
    [[maybe_unused]] const std::string problem = reader.EndProblem();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static velto::CReceiver receiver;
    static COutputLines sink(::open("/dev/null", O_WRONLY | O_CLOEXEC), false);
    static CEventPrinter printer(sink, true);
    [[maybe_unused]] static const bool added = (receiver.AddObserver(&printer), true);
    if (size == 0) return 0;
    const int fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0) return 0;
    for (std::size_t done = 1; done < size;) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const int plays = 1 + (data[0] >> 1) % 8;
    receiver.BeginInput();
    for (int play = 0; play < plays; ++play) {
        ::lseek(fd, 0, SEEK_SET);
        if (data[0] % 2 == 0) {
            velto::CSoundFileReader reader;
            std::string error;
            if (!reader.Open("/proc/self/fd/" + std::to_string(fd), &error)) break;
            DecodeAll(reader, receiver);
        } else {
            velto::CRawSampleReader reader(fd, "standard input");
            DecodeAll(reader, receiver);
        }
    }
    receiver.EndInput();
    ::close(fd);
    return 0;
}
