#pragma once

// The JPEG detectors' view of a picture: each component as its quantised coefficients, or as the
// plane of samples a decoder makes of them. The transforms are the exact orthonormal 8 x 8 DCT
// in floating point, not a codec's fast integer one: the detectors want the residuals a
// real-valued decoder would see, and the calibration only needs to land on the same table.

#include "protection/JpegCoefficients.h"

#include <array>
#include <cstdint>
#include <vector>

namespace detect {

struct SamplePlane {
    int width = 0;
    int height = 0;
    std::vector<float> samples; // row by row

    SamplePlane() = default;
    SamplePlane(int w, int h) : width(w), height(h), samples(static_cast<size_t>(w) * h) {}
    float at(int x, int y) const { return samples[static_cast<size_t>(y) * width + x]; }
    float& at(int x, int y) { return samples[static_cast<size_t>(y) * width + x]; }
};

// The DCT's basis along one axis: basis[k][n] = c(k) cos(pi k (2n + 1) / 16), c(0) = sqrt(1/8),
// otherwise sqrt(2/8), so that the 2-D basis is basis[v][m] * basis[u][n].
const std::array<std::array<float, 8>, 8>& dctBasis();

// The component's samples: each block dequantised and transformed back, plus 128, neither
// rounded nor clipped (what the rich JPEG models look at).
SamplePlane decodedPlane(const brindmar::JpegComponent& component);

// The plane's whole 8 x 8 blocks from the top left, transformed and divided by the steps, rounded:
// what an encoder with this table makes of it. The plane's samples are taken as they are (the
// caller rounds and clips them first when it stands for a decoded picture).
brindmar::JpegComponent quantisedBlocks(const SamplePlane& plane,
                                        const std::array<uint16_t, 64>& quant);

// Rounded to whole samples in 0..255, as a decoder writes them out.
void roundAndClip(SamplePlane& plane);

// The plane without its first `dx` columns and `dy` rows.
SamplePlane cropped(const SamplePlane& plane, int dx, int dy);

} // namespace detect
