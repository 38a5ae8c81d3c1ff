#pragma once

// The pixel-sum coder's search against the stealth coder's on one large picture, both on the
// coder's prices already made (their HILL costs are the same work): the first has a trellis
// column a pixel, the second one a colour byte.

#include "PixelSumCoder.h"

#include <cstdint>

namespace detect {

// Prints "psum_speed RATE passes N pixels_search_ms P coder_search_ms C ratio R moves M changes
// N", and complains on stderr when the pixel-sum picture does not give its message back. The
// pixel-sum time includes pricing each layer's pixels, which the coupled shape redoes a layer.
void timePixelSum(uint32_t width, uint32_t height, double rate, const PixelSumShape& shape);

} // namespace detect
