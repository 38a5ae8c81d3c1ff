#include "protection/StealthWet.h"

#include "protection/Parallel.h"
#include "protection/WideTargets.h"

#include <algorithm>
#include <vector>

namespace brindmar {

namespace {

bool wetAt(const unsigned char* colour, uint64_t row, uint32_t height, uint32_t y, uint64_t i) {
    const unsigned char v = colour[y * row + i];
    if (v == 0 || v == 255) {
        return true;
    }
    for (int64_t dy = -1; dy <= 1; ++dy) {
        const int64_t ny = int64_t{y} + dy;
        for (int64_t dx = -3; dx <= 3 && ny >= 0 && ny < int64_t{height}; dx += 3) {
            const int64_t nx = static_cast<int64_t>(i) + dx;
            if (nx >= 0 && nx < static_cast<int64_t>(row) &&
                colour[static_cast<uint64_t>(ny) * row + static_cast<uint64_t>(nx)] != v) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

// Away from the picture's edges every neighbour is there, so the test needs no branch and the
// compiler runs it many bytes a vector: a branch per byte mispredicts wherever a photograph has
// runs of equal values.
BRINDMAR_WIDE void stealthWetRow(const unsigned char* colour, uint64_t row, uint32_t height,
                                 uint32_t y, uint8_t* wet) {
    const uint64_t edge = 3;
    if (y == 0 || y + 1 >= height || row < 2 * edge + 1) {
        for (uint64_t i = 0; i < row; ++i) {
            wet[i] = wetAt(colour, row, height, y, i) ? 1 : 0;
        }
        return;
    }
    const unsigned char* above = colour + (uint64_t{y} - 1) * row;
    const unsigned char* middle = above + row;
    const unsigned char* below = middle + row;
    for (uint64_t i = 0; i < edge; ++i) {
        wet[i] = wetAt(colour, row, height, y, i) ? 1 : 0;
        wet[row - 1 - i] = wetAt(colour, row, height, y, row - 1 - i) ? 1 : 0;
    }
    for (uint64_t i = edge; i < row - edge; ++i) {
        const unsigned char v = middle[i];
        const int flat = (above[i - 3] == v) & (above[i] == v) & (above[i + 3] == v) &
                         (middle[i - 3] == v) & (middle[i + 3] == v) & (below[i - 3] == v) &
                         (below[i] == v) & (below[i + 3] == v);
        wet[i] = static_cast<uint8_t>(flat | (v == 0) | (v == 255));
    }
}

namespace {

// A row's pixels [from, end) with all three channels wet.
BRINDMAR_WIDE uint32_t wetPixels(const uint8_t* wet, uint32_t from, uint32_t end) {
    uint32_t n = 0; // a row has fewer than 2^32 pixels
    for (uint32_t x = from; x < end; ++x) {
        n += wet[3 * size_t{x}] & wet[3 * size_t{x} + 1] & wet[3 * size_t{x} + 2];
    }
    return n;
}

} // namespace

StealthDryCount stealthDryCount(const unsigned char* colour, uint32_t width, uint32_t height) {
    // Strips of rows, each counted on its own, so that cores can share the work; the counts
    // are added in strip order, whatever thread made them.
    constexpr uint32_t kStripRows = 64;
    const uint64_t row = uint64_t{width} * 3;
    const uint64_t pixels = uint64_t{width} * height;
    const uint64_t tail = pixels - pixels % 256;
    const uint64_t strips = (uint64_t{height} + kStripRows - 1) / kStripRows;
    std::vector<StealthDryCount> counts(static_cast<size_t>(strips));
    const bool counted = forEachTask(strips, [&](uint64_t t) {
        thread_local std::vector<uint8_t> wet;
        wet.resize(static_cast<size_t>(row));
        const auto first = static_cast<uint32_t>(t * kStripRows);
        const uint32_t end = std::min(height, first + kStripRows);
        StealthDryCount& count = counts[static_cast<size_t>(t)];
        for (uint32_t y = first; y < end; ++y) {
            stealthWetRow(colour, row, height, y, wet.data());
            const uint64_t at = uint64_t{y} * width;
            count.dry += width - wetPixels(wet.data(), 0, width);
            // Only the last row or two reach the tail.
            if (at + width > tail) {
                const auto from = static_cast<uint32_t>(std::max(at, tail) - at);
                count.wetTail += wetPixels(wet.data(), from, width);
            }
        }
    });
    // A strip that ran out of memory counts as wet: the writer then promises less, never more.
    StealthDryCount all{};
    for (const StealthDryCount& c : counts) {
        all.dry += counted ? c.dry : 0;
        all.wetTail += c.wetTail;
    }
    if (!counted) {
        all.wetTail = pixels % 256;
    }
    return all;
}

} // namespace brindmar
