#pragma once

// The noise residuals of the rich model: what is left of a plane once each pixel is predicted
// from its neighbours by one of several local models. Each residual is a small integer kernel
// with a scale (its centre weight's magnitude) by which it is quantised.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace detect {

struct Tap {
    int dx;
    int dy;
    int weight;
};

struct ResidualKernel {
    const char* name;
    int scale;
    std::vector<Tap> taps;
};

// Indices into residualKernels().
enum Residual : int {
    kFirstRight,
    kFirstLeft,
    kFirstDown,
    kFirstUp,
    kSecondH,
    kSecondV,
    kThirdRight,
    kThirdLeft,
    kThirdDown,
    kThirdUp,
    kSquare3,
    kEdge3Up,
    kEdge3Down,
    kEdge3Left,
    kEdge3Right,
    kSquare5,
    kEdge5Up,
    kEdge5Down,
    kEdge5Left,
    kEdge5Right,
    kResidualCount
};

const std::vector<ResidualKernel>& residualKernels();

// Every residual is taken on the same pixels, those at least kResidualMargin from each border,
// the widest kernel's reach, so that residuals of different kernels line up pixel for pixel.
inline constexpr int kResidualMargin = 2;

// An integer plane (a colour channel, or a difference of two), row major.
struct Plane {
    int width = 0;
    int height = 0;
    std::vector<int> values;
    int at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
};

// A residual (or a min or max of several) on the inner (width - 2m) x (height - 2m) pixels.
using ResidualPlane = Plane;

ResidualPlane residual(const Plane& plane, Residual kind);

// The pixelwise minimum or maximum of residual planes of the same size.
ResidualPlane pixelwiseMin(const std::vector<const ResidualPlane*>& planes);
ResidualPlane pixelwiseMax(const std::vector<const ResidualPlane*>& planes);

// Quantisation and truncation: round(r / q), rounding halves away from zero, clipped to [-t, t],
// stored shifted by t so that symbols run 0 .. 2t.
inline constexpr int kTruncation = 2;
inline constexpr int kSymbols = 2 * kTruncation + 1;
std::vector<uint8_t> quantised(const ResidualPlane& r, int q);

} // namespace detect
