#include "Streams.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vokb {
namespace {

// No call opens more than three files; the slack only guards against a future export forgetting
// to close before opening more.
constexpr size_t kMaxStreams = 8;

struct Registry {
    std::array<FILE*, kMaxStreams> streams{};
    std::array<bool, kMaxStreams> seekable{};
    size_t count = 0;
};

thread_local Registry t_registry;

struct ScratchSet {
    std::array<std::unique_ptr<uint8_t[]>, static_cast<size_t>(Scratch::Count)> blocks;
};

thread_local ScratchSet t_scratch;

thread_local int t_failure = 0;

struct ReadFault {
    int64_t countdown = 0;
    int error = 0;
};

thread_local ReadFault t_readFault;
thread_local int64_t t_reads = 0;

// True when the seam wants this read to fail; errno is then set as the system would.
bool injectedReadFault() {
    ++t_reads;
    ReadFault& fault = t_readFault;
    if (fault.countdown <= 0 || --fault.countdown > 0) {
        return false;
    }
    errno = fault.error;
    return true;
}

} // namespace

void noteFailure(int error) {
    if (t_failure == 0) {
        t_failure = error != 0 ? error : EIO;
    }
}

int notedFailure() {
    return t_failure;
}

CloseAllOnExit::CloseAllOnExit() {
    t_failure = 0;
}

CloseAllOnExit::~CloseAllOnExit() {
    closeAllRegistered();
    // 0 after a call that noted nothing, whatever the closing did on the way.
    errno = t_failure;
}

void failNthRead(int64_t n, int error) {
    t_readFault = {n, error};
}

int64_t systemReads() {
    return t_reads;
}

namespace {
thread_local int t_syncFault = 0;
} // namespace

void failNextSync(int error) {
    t_syncFault = error;
}

int syncData(int fd) {
    if (t_syncFault != 0) {
        errno = std::exchange(t_syncFault, 0);
        return -1;
    }
    return fdatasync(fd);
}

FILE* openRegistered(const char* path, const char* mode) {
    Registry& reg = t_registry;
    if (reg.count == kMaxStreams) {
        return nullptr;
    }
    FILE* file = std::fopen(path, mode);
    if (file == nullptr) {
        noteFailure(errno);
        return nullptr;
    }
    // Folders and pipes open for reading on Linux. A folder is never a usable image or document;
    // a pipe cannot be positioned, which the reader reports where positioning is asked for.
    bool seekable = true;
    if (mode[0] == 'r') {
        struct stat st {};
        if (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode)) {
            std::fclose(file);
            errno = EISDIR;
            noteFailure(EISDIR);
            return nullptr;
        }
        seekable = !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode);
    }
    // Reader and Writer buffer themselves; a second stdio buffer would only copy twice.
    std::setvbuf(file, nullptr, _IONBF, 0);
    reg.seekable[reg.count] = seekable;
    reg.streams[reg.count++] = file;
    return file;
}

FILE* adoptRegistered(int fd, const char* mode) {
    Registry& reg = t_registry;
    FILE* file = reg.count == kMaxStreams ? nullptr : fdopen(fd, mode);
    if (file == nullptr) {
        noteFailure(errno);
        close(fd);
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    reg.seekable[reg.count] = true;
    reg.streams[reg.count++] = file;
    return file;
}

bool isSeekable(FILE* file) {
    const Registry& reg = t_registry;
    for (size_t i = 0; i < reg.count; ++i) {
        if (reg.streams[i] == file) {
            return reg.seekable[i];
        }
    }
    return false;
}

bool closeRegistered(FILE* file) {
    Registry& reg = t_registry;
    for (size_t i = 0; i < reg.count; ++i) {
        if (reg.streams[i] == file) {
            --reg.count;
            reg.streams[i] = reg.streams[reg.count];
            reg.seekable[i] = reg.seekable[reg.count];
            if (std::fclose(file) != 0) {
                noteFailure(errno);
                return false;
            }
            return true;
        }
    }
    return false;
}

void closeAllRegistered() {
    Registry& reg = t_registry;
    for (size_t i = 0; i < reg.count; ++i) {
        std::fclose(reg.streams[i]);
    }
    reg.count = 0;
}

uint8_t* scratch(Scratch which) {
    auto& block = t_scratch.blocks[static_cast<size_t>(which)];
    if (!block) {
        block = std::make_unique<uint8_t[]>(kScratchBytes);
    }
    return block.get();
}

Reader::Reader(FILE* file, uint8_t* buffer, size_t capacity)
    : m_fd(fileno(file)), m_seekable(isSeekable(file)), m_buf(buffer), m_cap(capacity) {}

bool Reader::seek(int64_t pos) {
    // Reads are positioned (pread), so moving is bookkeeping; only what lseek would refuse fails.
    if (pos < 0 || !m_seekable) {
        noteFailure(pos < 0 ? EINVAL : ESPIPE);
        return false;
    }
    if (pos >= m_bufPos && pos <= m_bufPos + static_cast<int64_t>(m_len)) {
        m_idx = static_cast<size_t>(pos - m_bufPos);
        return true;
    }
    m_bufPos = pos;
    m_len = 0;
    m_idx = 0;
    m_eof = m_error != 0;
    return true;
}

size_t Reader::readAt(int64_t pos, uint8_t* dst, size_t n) {
    size_t done = 0;
    // A short count is not the end: only a read that returns nothing is.
    while (done < n && m_error == 0) {
        ssize_t got = -1;
        if (!injectedReadFault()) {
            got = m_seekable ? pread(m_fd, dst + done, n - done,
                                     static_cast<off_t>(pos) + static_cast<off_t>(done))
                             : read(m_fd, dst + done, n - done);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            m_error = errno != 0 ? errno : EIO;
            noteFailure(m_error);
            break;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

bool Reader::refill() {
    if (m_eof || m_error != 0) {
        return false;
    }
    m_bufPos += static_cast<int64_t>(m_len);
    m_idx = 0;
    m_len = 0;
    constexpr int64_t kMinRead = 4096;
    const int64_t wanted = std::clamp(m_limit - m_bufPos, kMinRead, static_cast<int64_t>(m_cap));
    m_len = readAt(m_bufPos, m_buf, static_cast<size_t>(wanted));
    if (m_len == 0) {
        m_eof = true;
        return false;
    }
    return true;
}

size_t Reader::readPadded(uint8_t* dst, size_t n) {
    const size_t wanted = n;
    while (n > 0) {
        if (m_idx == m_len) {
            // Large reads go straight to the destination instead of through the buffer.
            if (n >= m_cap && !m_eof && m_error == 0) {
                m_bufPos += static_cast<int64_t>(m_len);
                m_len = 0;
                m_idx = 0;
                const size_t got = readAt(m_bufPos, dst, n);
                m_bufPos += static_cast<int64_t>(got);
                dst += got;
                n -= got;
                if (n > 0) {
                    m_eof = true;
                }
                continue;
            }
            if (!refill()) {
                std::memset(dst, 0xFF, n);
                return wanted - n;
            }
        }
        const size_t take = std::min(n, m_len - m_idx);
        std::memcpy(dst, m_buf + m_idx, take);
        m_idx += take;
        dst += take;
        n -= take;
    }
    return wanted;
}

void Reader::skip(int64_t n) {
    while (n > 0) {
        if (m_idx == m_len && !refill()) {
            return;
        }
        const size_t take =
            static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(m_len - m_idx)));
        m_idx += take;
        n -= static_cast<int64_t>(take);
    }
}

bool Reader::atEnd() {
    return m_idx == m_len && !refill();
}

void Writer::write(const uint8_t* src, size_t n) {
    while (n > 0) {
        if (m_len == m_cap) {
            flush();
        }
        const size_t take = std::min(n, m_cap - m_len);
        std::memcpy(m_buf + m_len, src, take);
        m_len += take;
        src += take;
        n -= take;
    }
}

void Writer::zeros(int64_t n) {
    while (n > 0) {
        if (m_len == m_cap) {
            flush();
        }
        const size_t take =
            static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(m_cap - m_len)));
        std::memset(m_buf + m_len, 0, take);
        m_len += take;
        n -= static_cast<int64_t>(take);
    }
}

bool Writer::flush() {
    if (m_len > 0) {
        if (std::fwrite(m_buf, 1, m_len, m_file) != m_len) {
            m_failed = true;
            noteFailure(errno);
        }
        m_len = 0;
    }
    return !m_failed;
}

bool Writer::finish() {
    const bool flushed = flush();
    const bool closed = closeRegistered(m_file);
    return flushed && closed;
}

} // namespace vokb
