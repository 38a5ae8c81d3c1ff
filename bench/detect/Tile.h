#pragma once

// A square of a picture as the detectors see it: 24-bit colour bytes in BMP order within a pixel
// (blue, green, red), rows from top to bottom, no padding.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace detect {

struct Tile {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;

    Tile() = default;
    Tile(int w, int h) : width(w), height(h), bgr(static_cast<size_t>(w) * h * 3) {}

    size_t colourBytes() const { return bgr.size(); }
    int at(int x, int y, int channel) const {
        return bgr[(static_cast<size_t>(y) * width + x) * 3 + channel];
    }
    uint8_t& at(int x, int y, int channel) {
        return bgr[(static_cast<size_t>(y) * width + x) * 3 + channel];
    }
};

// splitmix64: every run and every machine draws the same tiles, payloads and changes, which the
// standard library's distributions do not promise.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_s(seed) {}
    uint64_t next() {
        uint64_t z = (m_s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [0, n); n > 0. The bias of the modulo is below 2^-40 for the sizes used here.
    uint64_t below(uint64_t n) { return next() % n; }

private:
    uint64_t m_s;
};

} // namespace detect
