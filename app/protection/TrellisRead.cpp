#include "protection/TrellisRows.h"

#include "protection/Parallel.h"

#include <algorithm>
#include <vector>

namespace brindmar {

// The syndrome of one segment's low bits, one bit a byte. Row i's bit is final once the columns
// of rows i - h + 1 to i are in, so a window of the open rows runs along without branches.
void segmentSyndrome(const TrellisCode& code, const uint8_t* low, uint64_t b, uint8_t* out) {
    const uint32_t w = code.width;
    const uint8_t* words = code.submatrix.data();
    uint32_t open = 0; // bit r: row i + r
    for (uint64_t i = 0; i < b; ++i) {
        const uint8_t* row = low + i * w;
        uint32_t sum = 0;
        for (uint32_t k = 0; k < w; ++k) {
            sum ^= words[k] & (0u - static_cast<uint32_t>(row[k] != 0));
        }
        open ^= sum & rowMask(i, b);
        out[i] = static_cast<uint8_t>(open & 1);
        open >>= 1;
    }
}

std::vector<unsigned char> trellisRead(const TrellisCode& code, const TrellisLowBits& low,
                                       uint64_t bits) {
    std::vector<unsigned char> message(static_cast<size_t>((bits + 7) / 8));
    // Segments start at multiples of 2048 bits, so each writes whole bytes of its own.
    const bool read = forEachTask(code.segments(bits), [&](uint64_t g) {
        const uint64_t b = code.segmentBits(bits, g);
        const uint64_t first = g * kSegmentBits;
        thread_local std::vector<uint8_t> columns;
        thread_local std::vector<uint8_t> syndrome;
        columns.resize(static_cast<size_t>(b * code.width));
        syndrome.resize(static_cast<size_t>(b));
        low(first * code.width, columns.size(), columns.data());
        segmentSyndrome(code, columns.data(), b, syndrome.data());
        for (uint64_t i = 0; i < b; ++i) {
            const uint64_t j = first + i;
            message[j >> 3] |= static_cast<unsigned char>(syndrome[i] << (j & 7));
        }
    });
    return read ? message : std::vector<unsigned char>{};
}

std::vector<unsigned char> trellisSyndrome(const TrellisCode& code, const uint8_t* lowBits,
                                           uint64_t bits) {
    return trellisRead(
        code,
        [lowBits](uint64_t first, size_t count, uint8_t* out) {
            std::copy(lowBits + first, lowBits + first + count, out);
        },
        bits);
}

} // namespace brindmar
