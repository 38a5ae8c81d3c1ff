#pragma once

#include <QIODevice>
#include <array>
#include <cstdint>
#include <cstring>

namespace brindmar {

// Reads a picture file forward through one block, for the checks and decoders that walk a whole
// file: the file is never held, and a file that ends (or shrinks) early only reads as its end.
class FileBytes {
public:
    explicit FileBytes(QIODevice& device, qint64 start = 0) : m_device(device), m_next(start) {
        m_device.seek(start);
    }

    // The next byte, or -1 at the end of the file.
    int next() {
        if (m_at == m_size && !fill()) {
            return -1;
        }
        return m_block[m_at++];
    }

    // Two-byte numbers; 0 when the file ends first (ended() then tells).
    uint32_t le16() {
        const int lo = next();
        const int hi = next();
        return hi < 0 ? 0 : static_cast<uint32_t>(lo | hi << 8);
    }
    uint32_t be16() {
        const int hi = next();
        const int lo = next();
        return lo < 0 ? 0 : static_cast<uint32_t>(hi << 8 | lo);
    }

    // False when the file ends before n more bytes.
    bool skip(qint64 n) {
        if (n < 0) {
            return false;
        }
        const qint64 buffered = m_size - m_at;
        if (n <= buffered) {
            m_at += static_cast<size_t>(n);
            return true;
        }
        // Past the block: seek instead of reading what is skipped (an image's pixel data).
        m_next += n - buffered;
        m_at = m_size = 0;
        if (m_next > m_device.size()) {
            m_ended = true;
            return false;
        }
        return m_device.seek(m_next);
    }

    // Consumes the bytes up to and including the next one equal to value; false at the end.
    bool through(uint8_t value) {
        for (;;) {
            const void* hit = std::memchr(m_block.data() + m_at, value, m_size - m_at);
            if (hit != nullptr) {
                m_at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - m_block.data()) + 1;
                return true;
            }
            m_at = m_size;
            if (!fill()) {
                return false;
            }
        }
    }

    // Whether a read or a skip ran into the end of the file.
    bool ended() const { return m_ended; }

private:
    bool fill() {
        const qint64 got = m_device.read(reinterpret_cast<char*>(m_block.data()), m_block.size());
        m_at = 0;
        m_size = got > 0 ? static_cast<size_t>(got) : 0;
        m_next += static_cast<qint64>(m_size);
        m_ended = m_ended || m_size == 0;
        return m_size > 0;
    }

    QIODevice& m_device;
    std::array<uint8_t, 64 * 1024> m_block{};
    size_t m_at = 0;
    size_t m_size = 0;
    qint64 m_next; // the file position just past the block
    bool m_ended = false;
};

} // namespace brindmar
