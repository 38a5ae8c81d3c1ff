#include "EngineCarriers.h"

#include "BenchSupport.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace engine_bench {

using bench::kFloorBlock;
using bench::Noise;

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, int bits, uint32_t compression,
                                uint32_t dataOffset, uint32_t imageBytes) {
    std::vector<uint8_t> h(54, 0);
    h[0] = 'B';
    h[1] = 'M';
    put32(h, 2, dataOffset + imageBytes);
    put32(h, 10, dataOffset);
    put32(h, 14, 40);
    put32(h, 18, static_cast<uint32_t>(width));
    put32(h, 22, static_cast<uint32_t>(height));
    put16(h, 26, 1);
    put16(h, 28, static_cast<uint32_t>(bits));
    put32(h, 30, compression);
    put32(h, 34, imageBytes);
    put32(h, 38, 2835);
    put32(h, 42, 2835);
    if (bits == 8) {
        put32(h, 46, 256);
    }
    return h;
}

// A smooth image: each channel a gradient in its own direction with a soft ripple.
int smooth(int x, int y, int channel) {
    const int gx = x * 255 / kWidth;
    const int gy = y * 255 / kHeight;
    const int ripple = ((x / 40 + y / 30) % 16) - 8;
    switch (channel) {
    case 0:
        return (gx + gy) / 2 + ripple;
    case 1:
        return 255 - gy + ripple / 2;
    default:
        return (gx * 3 + (255 - gy)) / 4 - ripple;
    }
}

uint8_t clampByte(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void makeCarrier24(const std::string& path) {
    OutFile f(path);
    const auto stride = static_cast<uint32_t>(stride24());
    f.write(bmpHeaders(kWidth, kHeight, 24, 0, 54, stride * kHeight));
    std::vector<uint8_t> row(stride, 0);
    Noise noise(24);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t n = noise.next();
            for (int c = 0; c < 3; ++c) {
                const int jitter = static_cast<int>((n >> (8 * c)) & 15) - 8;
                row[static_cast<size_t>(3 * x + c)] = clampByte(smooth(x, y, c) + jitter);
            }
        }
        f.write(row);
    }
}

std::vector<uint8_t> palette256() {
    std::vector<uint8_t> p(4 * 256);
    for (int i = 0; i < 256; ++i) {
        p[static_cast<size_t>(4 * i)] = static_cast<uint8_t>(i);
        p[static_cast<size_t>(4 * i + 1)] = static_cast<uint8_t>((i * 7 / 8) + 16);
        p[static_cast<size_t>(4 * i + 2)] = static_cast<uint8_t>(255 - i);
        p[static_cast<size_t>(4 * i + 3)] = 0;
    }
    return p;
}

// Palette index of a pixel: a gradient; in textured areas with noise, elsewhere posterised so
// that neighbours repeat (the run-length encoder then finds encoded runs there).
uint8_t indexAt(int x, int y, Noise& noise, bool& textured) {
    textured = ((x / 300) + (y / 200)) % 3 == 0;
    const int g = (x * 255 / kWidth + y * 255 / kHeight) / 2;
    if (textured) {
        return clampByte(g + static_cast<int>(noise.next() & 31) - 16);
    }
    return static_cast<uint8_t>(g / 4 * 4 + ((y / 16) % 4));
}

void makeCarrier8(const std::string& path) {
    OutFile f(path);
    const auto stride = static_cast<uint32_t>(stride8());
    f.write(bmpHeaders(kWidth, kHeight, 8, 0, kPaletteOffset, stride * kHeight));
    f.write(palette256());
    std::vector<uint8_t> row(stride, 0);
    Noise noise(8);
    bool textured = false;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            row[static_cast<size_t>(x)] = indexAt(x, y, noise, textured);
        }
        f.write(row);
    }
}

// BMP RLE8: encoded runs for repeats of 3 or more, absolute runs for the stretches between.
struct RunCounts {
    uint64_t encoded = 0;
    uint64_t absolute = 0;
};

void encodeRleRow(const std::vector<uint8_t>& px, std::vector<uint8_t>& out, RunCounts& counts) {
    const size_t n = px.size();
    size_t i = 0;
    auto repeatAt = [&](size_t k) {
        size_t r = 1;
        while (k + r < n && px[k + r] == px[k] && r < 255) {
            ++r;
        }
        return r;
    };
    while (i < n) {
        const size_t rep = repeatAt(i);
        if (rep >= 3) {
            out.push_back(static_cast<uint8_t>(rep));
            out.push_back(px[i]);
            ++counts.encoded;
            i += rep;
            continue;
        }
        size_t lit = 0;
        while (i + lit < n && lit < 255 && repeatAt(i + lit) < 3) {
            ++lit;
        }
        if (lit < 3) {
            for (size_t k = 0; k < lit; ++k) {
                out.push_back(1);
                out.push_back(px[i + k]);
                ++counts.encoded;
            }
        } else {
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(lit));
            out.insert(out.end(), px.begin() + static_cast<long>(i),
                       px.begin() + static_cast<long>(i + lit));
            if (lit % 2 == 1) {
                out.push_back(0);
            }
            ++counts.absolute;
        }
        i += lit;
    }
}

void makeCarrierRle(const std::string& path) {
    OutFile f(path);
    f.write(bmpHeaders(kWidth, kHeight, 8, 1, kPaletteOffset, 0));
    f.write(palette256());
    const auto rowPixels = static_cast<size_t>((kWidth - 1) / 4 * 4 + 4);
    std::vector<uint8_t> px(rowPixels);
    std::vector<uint8_t> out;
    Noise noise(81);
    bool textured = false;
    uint32_t streamBytes = 0;
    RunCounts counts;
    for (int y = 0; y < kHeight; ++y) {
        for (size_t x = 0; x < rowPixels; ++x) {
            px[x] = indexAt(static_cast<int>(x), y, noise, textured);
        }
        out.clear();
        encodeRleRow(px, out, counts);
        out.push_back(0);
        out.push_back(y + 1 == kHeight ? 1 : 0);
        f.write(out);
        streamBytes += static_cast<uint32_t>(out.size());
    }
    f.rewriteAt(0, bmpHeaders(kWidth, kHeight, 8, 1, kPaletteOffset, streamBytes));
    std::printf("RLE8 stream: %llu encoded runs, %llu absolute runs\n",
                static_cast<unsigned long long>(counts.encoded),
                static_cast<unsigned long long>(counts.absolute));
}

void makeDocument(const std::string& path) {
    OutFile f(path);
    std::vector<uint8_t> block(kFloorBlock);
    Noise noise(0x5EED);
    for (int32_t done = 0; done < kDocLength; done += static_cast<int32_t>(block.size())) {
        for (auto& b : block) {
            b = static_cast<uint8_t>(noise.next());
        }
        f.write(block);
    }
}

} // namespace engine_bench
