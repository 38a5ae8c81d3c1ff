#include "vokbfn1.h"

#include "Args.h"
#include "Streams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vokb {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Zeros from offset 0 up to length, written over the blocks the file already has.
bool writeZeros(int fd, int64_t length) {
    static const std::array<uint8_t, 64 * 1024> zeros{};
    int64_t done = 0;
    while (done < length) {
        const auto want = static_cast<size_t>(
            std::min<int64_t>(length - done, static_cast<int64_t>(zeros.size())));
        const ssize_t put = pwrite(fd, zeros.data(), want, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += put;
    }
    return true;
}

} // namespace
} // namespace vokb

extern "C" int32_t wipefile(int32_t byteCount, const char* path) {
    using namespace vokb;
    if (byteCount == 0 || isEmpty(path)) {
        return 0;
    }
    // No truncation: that would hand the old blocks, document and all, back to the file system
    // and write the zeros somewhere else. No creation: there is nothing to wipe in a new file.
    // A symbolic link is not followed, since the caller deletes the path it named and zeroing
    // the link's target would destroy a file the user never asked to wipe. O_NONBLOCK keeps a
    // FIFO under the name from stalling the open; only an ordinary file is written.
    const Descriptor file(open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (file.get() < 0 || fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return -6;
    }
    // The whole present length is overwritten even when the count is smaller; the file then
    // ends at the count, as it always has.
    const int64_t length = std::max<int64_t>(st.st_size, byteCount);
    // Zeros still in the page cache when the caller deletes the file never reach the disk: the
    // overwrite counts only once synced. A failure here means the old contents may still be
    // there, and the caller must not delete the file believing otherwise.
    if (!writeZeros(file.get(), length) || syncData(file.get()) != 0) {
        return -6;
    }
    const int64_t keep = std::max<int64_t>(byteCount, 0);
    if (keep < length && ftruncate(file.get(), static_cast<off_t>(keep)) != 0) {
        return -6;
    }
    return -1;
}
