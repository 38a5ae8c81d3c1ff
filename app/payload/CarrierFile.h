#pragma once

#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace brindmar {

// An image file opened for reading by the program itself, outside the engine. Only ordinary
// files are opened: a FIFO or a device named like a BMP must not stall or feed the reader.
class CarrierFile {
public:
    explicit CarrierFile(const QString& path);
    ~CarrierFile();
    CarrierFile(const CarrierFile&) = delete;
    CarrierFile& operator=(const CarrierFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int64_t size() const { return m_size; }

    // Up to length bytes at offset; the count actually read. Fewer at the end of the file, or
    // after a read the system refused, which error() then tells apart.
    size_t readAt(int64_t offset, unsigned char* buffer, size_t length) const;
    // The errno of the first read that failed; 0 while every read succeeded or met the end.
    int error() const { return m_error; }

    // Test seam: the n-th read from now on (1 is the next one) fails with `error`, once; 0
    // disarms it. Failing media cannot be had on demand.
    static void failNthRead(int64_t n, int error);
    // Reads from the system made through this class on this thread so far, for choosing n.
    static int64_t reads();

private:
    int m_fd = -1;
    int64_t m_size = 0;
    mutable int m_error = 0;
};

// A carrier file read front to back from an offset through a buffer of its own, for decoders
// that walk a compressed stream rather than address rows.
class CarrierStream {
public:
    CarrierStream(const CarrierFile& file, int64_t from) : m_file(file), m_next(from) {}

    // The next count bytes; false when the file ends first.
    bool read(unsigned char* out, size_t count) {
        while (count > 0) {
            if (m_at == m_have && !refill()) {
                return false;
            }
            const size_t n = std::min(count, m_have - m_at);
            std::memcpy(out, m_buffer.data() + m_at, n);
            m_at += n;
            out += n;
            count -= n;
        }
        return true;
    }

    // Passes over bytes without reading them; false when the file ends first.
    bool skip(size_t count) {
        const size_t buffered = std::min(count, m_have - m_at);
        m_at += buffered;
        m_next += static_cast<int64_t>(count - buffered);
        return m_next <= m_file.size();
    }

private:
    static constexpr size_t kChunk = 64 * 1024;

    bool refill() {
        m_have = m_file.readAt(m_next, m_buffer.data(), m_buffer.size());
        m_next += static_cast<int64_t>(m_have);
        m_at = 0;
        return m_have > 0;
    }

    const CarrierFile& m_file;
    int64_t m_next;
    std::vector<unsigned char> m_buffer = std::vector<unsigned char>(kChunk);
    size_t m_at = 0;
    size_t m_have = 0;
};

} // namespace brindmar
