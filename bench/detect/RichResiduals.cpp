#include "RichResiduals.h"

#include <algorithm>
#include <cstdlib>

namespace detect {
namespace {

// A kernel turned a quarter clockwise (x, y) -> (-y, x) in image coordinates, y down: what
// looks up then looks right.
std::vector<Tap> turned(const std::vector<Tap>& taps) {
    std::vector<Tap> out;
    for (const Tap& t : taps) {
        out.push_back({-t.dy, t.dx, t.weight});
    }
    return out;
}

std::vector<Tap> mirroredX(const std::vector<Tap>& taps) {
    std::vector<Tap> out;
    for (const Tap& t : taps) {
        out.push_back({-t.dx, t.dy, t.weight});
    }
    return out;
}

std::vector<Tap> transposed(const std::vector<Tap>& taps) {
    std::vector<Tap> out;
    for (const Tap& t : taps) {
        out.push_back({t.dy, t.dx, t.weight});
    }
    return out;
}

// The taps of a square matrix of weights centred on the pixel, rows from the top, zero weights
// left out; rows beyond `rows` are taken as zero (for the edge kernels' halves).
std::vector<Tap> fromMatrix(const std::vector<std::vector<int>>& m, int rows) {
    const int r = static_cast<int>(m.size()) / 2;
    std::vector<Tap> out;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < static_cast<int>(m.size()); ++x) {
            if (m[y][x] != 0) {
                out.push_back({x - r, y - r, m[y][x]});
            }
        }
    }
    return out;
}

std::vector<ResidualKernel> makeKernels() {
    const std::vector<std::vector<int>> square3 = {{-1, 2, -1}, {2, -4, 2}, {-1, 2, -1}};
    const std::vector<std::vector<int>> square5 = {{-1, 2, -2, 2, -1},
                                                   {2, -6, 8, -6, 2},
                                                   {-2, 8, -12, 8, -2},
                                                   {2, -6, 8, -6, 2},
                                                   {-1, 2, -2, 2, -1}};
    const std::vector<Tap> firstRight = {{0, 0, -1}, {1, 0, 1}};
    const std::vector<Tap> second = {{-1, 0, 1}, {0, 0, -2}, {1, 0, 1}};
    const std::vector<Tap> thirdRight = {{-1, 0, 1}, {0, 0, -3}, {1, 0, 3}, {2, 0, -1}};
    // The edge kernels are the square ones' upper half with the centre row; turning them gives
    // the right, down and left halves.
    const std::vector<Tap> edge3Up = fromMatrix(square3, 2);
    const std::vector<Tap> edge5Up = fromMatrix(square5, 3);
    const std::vector<Tap> edge3Right = turned(edge3Up);
    const std::vector<Tap> edge5Right = turned(edge5Up);
    std::vector<ResidualKernel> k(kResidualCount);
    k[kFirstRight] = {"1st right", 1, firstRight};
    k[kFirstLeft] = {"1st left", 1, mirroredX(firstRight)};
    k[kFirstDown] = {"1st down", 1, transposed(firstRight)};
    k[kFirstUp] = {"1st up", 1, transposed(mirroredX(firstRight))};
    k[kSecondH] = {"2nd h", 2, second};
    k[kSecondV] = {"2nd v", 2, transposed(second)};
    k[kThirdRight] = {"3rd right", 3, thirdRight};
    k[kThirdLeft] = {"3rd left", 3, mirroredX(thirdRight)};
    k[kThirdDown] = {"3rd down", 3, transposed(thirdRight)};
    k[kThirdUp] = {"3rd up", 3, transposed(mirroredX(thirdRight))};
    k[kSquare3] = {"3x3 square", 4, fromMatrix(square3, 3)};
    k[kEdge3Up] = {"3x3 edge up", 4, edge3Up};
    k[kEdge3Right] = {"3x3 edge right", 4, edge3Right};
    k[kEdge3Down] = {"3x3 edge down", 4, turned(edge3Right)};
    k[kEdge3Left] = {"3x3 edge left", 4, turned(turned(edge3Right))};
    k[kSquare5] = {"5x5 square", 12, fromMatrix(square5, 5)};
    k[kEdge5Up] = {"5x5 edge up", 12, edge5Up};
    k[kEdge5Right] = {"5x5 edge right", 12, edge5Right};
    k[kEdge5Down] = {"5x5 edge down", 12, turned(edge5Right)};
    k[kEdge5Left] = {"5x5 edge left", 12, turned(turned(edge5Right))};
    return k;
}

ResidualPlane pixelwise(const std::vector<const ResidualPlane*>& planes, bool least) {
    ResidualPlane out = *planes.front();
    for (size_t p = 1; p < planes.size(); ++p) {
        const std::vector<int>& v = planes[p]->values;
        for (size_t i = 0; i < out.values.size(); ++i) {
            out.values[i] = least ? std::min(out.values[i], v[i]) : std::max(out.values[i], v[i]);
        }
    }
    return out;
}

} // namespace

const std::vector<ResidualKernel>& residualKernels() {
    static const std::vector<ResidualKernel> kernels = makeKernels();
    return kernels;
}

ResidualPlane residual(const Plane& plane, Residual kind) {
    const ResidualKernel& kernel = residualKernels()[kind];
    ResidualPlane out;
    out.width = std::max(0, plane.width - 2 * kResidualMargin);
    out.height = std::max(0, plane.height - 2 * kResidualMargin);
    out.values.assign(static_cast<size_t>(out.width) * out.height, 0);
    // One tap at a time over the whole plane: each pass reads two rows in order.
    for (const Tap& t : kernel.taps) {
        for (int y = 0; y < out.height; ++y) {
            const int* in =
                &plane.values[static_cast<size_t>(y + kResidualMargin + t.dy) * plane.width +
                              kResidualMargin + t.dx];
            int* row = &out.values[static_cast<size_t>(y) * out.width];
            for (int x = 0; x < out.width; ++x) {
                row[x] += t.weight * in[x];
            }
        }
    }
    return out;
}

ResidualPlane pixelwiseMin(const std::vector<const ResidualPlane*>& planes) {
    return pixelwise(planes, true);
}

ResidualPlane pixelwiseMax(const std::vector<const ResidualPlane*>& planes) {
    return pixelwise(planes, false);
}

std::vector<uint8_t> quantised(const ResidualPlane& r, int q) {
    std::vector<uint8_t> out(r.values.size());
    // Halves away from zero: |v| / q rounds to k or more when 2|v| >= (2k - 1) q. Comparisons
    // against the two thresholds instead of a division a value.
    const int one = q;
    const int two = 3 * q;
    for (size_t i = 0; i < r.values.size(); ++i) {
        const int v = r.values[i];
        const int twice = 2 * std::abs(v);
        const int magnitude = (twice >= one ? 1 : 0) + (twice >= two ? 1 : 0);
        static_assert(kTruncation == 2);
        out[i] = static_cast<uint8_t>(kTruncation + (v < 0 ? -magnitude : magnitude));
    }
    return out;
}

} // namespace detect
