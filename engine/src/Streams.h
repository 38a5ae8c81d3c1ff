#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace vokb {

// Every stream a call opens is registered so that the call's "close all" step closes exactly
// the library's own streams and never the host program's (fcloseall would take stdout too).
// The registry is per thread: the library itself is single-threaded per call sequence, and a
// thread can never close another thread's files.
FILE* openRegistered(const char* path, const char* mode);
// Registers a stream over a descriptor the caller opened with flags fopen cannot express.
FILE* adoptRegistered(int fd, const char* mode);
// Closes and forgets one registered stream; false when the close reported an error.
bool closeRegistered(FILE* file);
void closeAllRegistered();

// The system's reason for a call's failure. The first one noted wins: what failed first is what
// the caller is told, not what the clean-up ran into afterwards.
void noteFailure(int error);
int notedFailure();

// Closes all registered streams when a call leaves, whatever the exit, and hands the noted reason
// of a failure back in errno (0 when none), which closing would otherwise overwrite.
class CloseAllOnExit {
public:
    CloseAllOnExit();
    CloseAllOnExit(const CloseAllOnExit&) = delete;
    CloseAllOnExit& operator=(const CloseAllOnExit&) = delete;
    ~CloseAllOnExit();
};

// Test seam: the n-th read from the system on this thread from now on (1 is the next one) fails
// with `error`, once. 0 disarms it. Failing media cannot be had on demand; this stands in.
void failNthRead(int64_t n, int error);
// Reads from the system made on this thread so far, for choosing n.
int64_t systemReads();

// fdatasync, which the next call on this thread fails with `error` when a test armed it: a disk
// that refuses to sync cannot be had on demand either. 0 disarms it.
int syncData(int fd);
void failNextSync(int error);

// Scratch memory reused by every call on a thread, so that block-by-block callers making
// thousands of short calls do not pay for fresh large allocations each time.
enum class Scratch { Carrier, Document, Output, Row, Count };
uint8_t* scratch(Scratch which);
constexpr size_t kScratchBytes = 256 * 1024;

// Stands in for bytes past the end of the file, which read as 255.
struct EndOfFileBytes {
    std::array<uint8_t, 4096> bytes{};
    constexpr EndOfFileBytes() {
        for (auto& b : bytes) {
            b = 0xFF;
        }
    }
};

inline constexpr EndOfFileBytes kEndOfFile{};

// Buffered reader with 64-bit positions. A read past the end yields -1 from get() and does not
// move the position, as a stdio stream would. A read the system refuses (EIO) is not an end,
// although the reader then answers as at the end so that the walk stops: the call checks error()
// and fails rather than store or report what it never read.
class Reader {
public:
    Reader(FILE* file, uint8_t* buffer, size_t capacity);

    // False when the stream cannot be positioned there (negative offset, unseekable stream).
    bool seek(int64_t pos);
    int64_t tell() const { return m_bufPos + static_cast<int64_t>(m_idx); }

    // Reads ahead no further than this offset unless a read needs more, so that short
    // block-sized calls do not pull in data they never use.
    void setReadAheadLimit(int64_t endPos) { m_limit = endPos; }

    int get() {
        if (m_idx == m_len && !refill()) {
            return -1;
        }
        return m_buf[m_idx++];
    }
    // Up to `want` bytes straight from the buffer (refilled when empty), without copying; null
    // at the end of the file. consume() then moves past the bytes actually used.
    const uint8_t* peek(size_t want, size_t& got) {
        if (m_idx == m_len && !refill()) {
            got = 0;
            return nullptr;
        }
        got = want < m_len - m_idx ? want : m_len - m_idx;
        return m_buf + m_idx;
    }
    void consume(size_t n) { m_idx += n; }
    // Copies n bytes; bytes past the end of the file read as 255. Returns the bytes really read.
    size_t readPadded(uint8_t* dst, size_t n);
    // Advances over n bytes (fewer at the end of the file).
    void skip(int64_t n);
    bool atEnd();
    // The errno of the first read that failed; 0 while every read succeeded or met the end.
    int error() const { return m_error; }

private:
    bool refill();
    size_t readAt(int64_t pos, uint8_t* dst, size_t n);

    int m_fd;
    bool m_seekable;
    uint8_t* m_buf;
    size_t m_cap;
    int64_t m_bufPos = 0; // file offset of m_buf[0]
    size_t m_len = 0;
    size_t m_idx = 0;
    int64_t m_limit = INT64_MAX;
    bool m_eof = false;
    int m_error = 0;
};

// Buffered writer that remembers whether any write fell short.
class Writer {
public:
    Writer(FILE* file, uint8_t* buffer, size_t capacity)
        : m_file(file), m_buf(buffer), m_cap(capacity) {}
    // Whatever a failing call wrote so far stays in the file.
    ~Writer() { flush(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void put(uint8_t b) {
        if (m_len == m_cap) {
            flush();
        }
        m_buf[m_len++] = b;
    }
    // Room for up to `want` bytes in the buffer (flushed when full); commit() then keeps the
    // bytes actually written there.
    uint8_t* reserve(size_t want, size_t& got) {
        if (m_len == m_cap) {
            flush();
        }
        got = want < m_cap - m_len ? want : m_cap - m_len;
        return m_buf + m_len;
    }
    void commit(size_t n) { m_len += n; }
    void write(const uint8_t* src, size_t n);
    void zeros(int64_t n);
    bool flush();
    // Flushes and closes the stream; false if anything written was lost.
    bool finish();

private:
    FILE* m_file;
    uint8_t* m_buf;
    size_t m_cap;
    size_t m_len = 0;
    bool m_failed = false;
};

} // namespace vokb
