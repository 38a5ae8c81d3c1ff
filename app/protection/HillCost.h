#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace brindmar {

// What changing a colour byte by one costs in detectability, after HILL (a high-pass filter's
// local strength, inverted and spread): low where the picture is busy, high where it is smooth.
// Each colour channel is its own plane. Only the writer needs it; a reader never does.
//
// The picture is width * 3 colour bytes a row, height rows. The costs of rows [first, end) go to
// out, (end - first) * width * 3 of them, in the same order. A row's costs do not depend on
// which rows are asked for with it, so pictures can be costed in strips, in any order.
// The differences between a pixel's channels as a picture of the same size: blue less green,
// green less the mean of red and blue, red less green, each plus 128 and clipped to 0..255.
// Changing one channel by one moves its difference by one, so this picture's HILL costs say how
// well a change hides among the colour differences, which colour detectors look at. pixels
// pixels of three bytes from colour to out.
void channelDifferences(const unsigned char* colour, uint64_t pixels, unsigned char* out);

// The reciprocal of a 3 x 3 mean strength as the costs take it: in whole 2^-15ths, and never
// above 74565 of them, where the nearly flat and the flat meet. For references that check the
// costs.
double hillReciprocal(double meanStrength);

class HillCost {
public:
    HillCost(const unsigned char* colour, uint32_t width, uint32_t height)
        : m_colour(colour), m_width(width), m_height(height) {}
    // Of a picture held only in part: colour is its row firstRow, and the rows held reach at
    // least kRowsAround past each end of the strips asked for (or the picture's own end), all
    // that their costs read.
    static constexpr uint32_t kRowsAround = 9;
    HillCost(const unsigned char* colour, uint32_t width, uint32_t height, uint32_t firstRow)
        : m_colour(colour), m_width(width), m_height(height), m_firstRow(firstRow) {}

    void rows(uint32_t first, uint32_t end, float* out) const;
    // The same a row at a time: take(y, costs) with row y's width * 3 costs, valid during the
    // call, so that a caller can use each row while it is still in the nearest cache.
    void eachRow(uint32_t first, uint32_t end,
                 const std::function<void(uint32_t y, const float* costs)>& take) const;
    // This picture's rows and another's of the same size together, take(y, costs, others), so
    // that a caller who adds them needs no strip of either held in memory.
    void eachRowOfBoth(
        const HillCost& other, uint32_t first, uint32_t end,
        const std::function<void(uint32_t y, const float* costs, const float* others)>& take) const;

private:
    const unsigned char* m_colour;
    uint32_t m_width;
    uint32_t m_height;
    uint32_t m_firstRow = 0;
};

} // namespace brindmar
