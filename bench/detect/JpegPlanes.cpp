#include "JpegPlanes.h"

#include <algorithm>
#include <cmath>

namespace detect {

const std::array<std::array<float, 8>, 8>& dctBasis() {
    static const std::array<std::array<float, 8>, 8> basis = [] {
        std::array<std::array<float, 8>, 8> b{};
        const double pi = std::acos(-1.0);
        for (int k = 0; k < 8; ++k) {
            const double c = k == 0 ? std::sqrt(1.0 / 8) : std::sqrt(2.0 / 8);
            for (int n = 0; n < 8; ++n) {
                b[k][n] = static_cast<float>(c * std::cos(pi * k * (2 * n + 1) / 16));
            }
        }
        return b;
    }();
    return basis;
}

SamplePlane decodedPlane(const brindmar::JpegComponent& component) {
    const auto& basis = dctBasis();
    SamplePlane plane(static_cast<int>(component.widthInBlocks) * 8,
                      static_cast<int>(component.heightInBlocks) * 8);
    for (uint64_t b = 0; b < component.blocks(); ++b) {
        const int16_t* block = component.block(b);
        float dequantised[64];
        for (int k = 0; k < 64; ++k) {
            dequantised[k] = static_cast<float>(block[k]) * component.quant[k];
        }
        // Rows first (over u), then columns (over v).
        float half[64];
        for (int v = 0; v < 8; ++v) {
            for (int n = 0; n < 8; ++n) {
                float s = 0;
                for (int u = 0; u < 8; ++u) {
                    s += dequantised[8 * v + u] * basis[u][n];
                }
                half[8 * v + n] = s;
            }
        }
        const int x0 = static_cast<int>(b % component.widthInBlocks) * 8;
        const int y0 = static_cast<int>(b / component.widthInBlocks) * 8;
        for (int m = 0; m < 8; ++m) {
            for (int n = 0; n < 8; ++n) {
                float s = 0;
                for (int v = 0; v < 8; ++v) {
                    s += half[8 * v + n] * basis[v][m];
                }
                plane.at(x0 + n, y0 + m) = s + 128.0f;
            }
        }
    }
    return plane;
}

brindmar::JpegComponent quantisedBlocks(const SamplePlane& plane,
                                        const std::array<uint16_t, 64>& quant) {
    const auto& basis = dctBasis();
    brindmar::JpegComponent out;
    out.widthInBlocks = static_cast<uint32_t>(plane.width / 8);
    out.heightInBlocks = static_cast<uint32_t>(plane.height / 8);
    out.quant = quant;
    out.coefficients.resize(static_cast<size_t>(out.blocks()) * 64);
    for (uint64_t b = 0; b < out.blocks(); ++b) {
        const int x0 = static_cast<int>(b % out.widthInBlocks) * 8;
        const int y0 = static_cast<int>(b / out.widthInBlocks) * 8;
        float half[64]; // [m][u]
        for (int m = 0; m < 8; ++m) {
            for (int u = 0; u < 8; ++u) {
                float s = 0;
                for (int n = 0; n < 8; ++n) {
                    s += (plane.at(x0 + n, y0 + m) - 128.0f) * basis[u][n];
                }
                half[8 * m + u] = s;
            }
        }
        int16_t* block = out.block(b);
        for (int v = 0; v < 8; ++v) {
            for (int u = 0; u < 8; ++u) {
                float s = 0;
                for (int m = 0; m < 8; ++m) {
                    s += half[8 * m + u] * basis[v][m];
                }
                block[8 * v + u] = static_cast<int16_t>(std::lround(s / quant[8 * v + u]));
            }
        }
    }
    return out;
}

void roundAndClip(SamplePlane& plane) {
    for (float& s : plane.samples) {
        s = std::clamp(std::round(s), 0.0f, 255.0f);
    }
}

SamplePlane cropped(const SamplePlane& plane, int dx, int dy) {
    SamplePlane out(plane.width - dx, plane.height - dy);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            out.at(x, y) = plane.at(x + dx, y + dy);
        }
    }
    return out;
}

} // namespace detect
