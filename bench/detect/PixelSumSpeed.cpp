#include "PixelSumSpeed.h"

#include "CoderCosts.h"
#include "PixelSumCoder.h"

#include "protection/KeyedWalk.h"
#include "protection/StealthStream.h"
#include "protection/Trellis.h"

#include <QByteArray>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace detect {

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

void timePixelSum(uint32_t width, uint32_t height, double rate, const PixelSumShape& shape) {
    Rng rng(11);
    Tile carrier(static_cast<int>(width), static_cast<int>(height));
    // A smooth picture with grain, as the stealth timing has it.
    for (size_t i = 0; i < carrier.bgr.size(); ++i) {
        carrier.bgr[i] = static_cast<uint8_t>(96 + (i / 3 % width) / 100 + rng.below(9));
    }
    std::vector<unsigned char> message(
        static_cast<size_t>(std::floor(rate * static_cast<double>(carrier.colourBytes()) / 8)));
    for (unsigned char& b : message) {
        b = static_cast<unsigned char>(rng.next());
    }
    const std::vector<double> single = coderCosts(carrier);

    // The stealth coder's stream over every colour byte, its three coupled passes included.
    Tile coded = carrier;
    std::vector<uint16_t> packed(coded.colourBytes());
    for (size_t b = 0; b < packed.size(); ++b) {
        packed[b] = brindmar::trellisColumn(single[b] == kWet ? brindmar::kWetCost
                                                              : static_cast<float>(single[b]),
                                            (coded.bgr[b] & 1) != 0);
    }
    std::array<unsigned char, 32> walkKey{};
    std::array<unsigned char, 32> codeKey{};
    for (size_t k = 0; k < 32; ++k) {
        walkKey[k] = static_cast<unsigned char>(rng.next());
        codeKey[k] = static_cast<unsigned char>(rng.next());
    }
    const brindmar::KeyedWalk walk(walkKey.data(), coded.colourBytes(), {});
    const brindmar::StreamStretch stretch{&walk, 0, walk.size(), codeKey.data()};
    const QByteArray sealed(reinterpret_cast<const char*>(message.data()),
                            static_cast<qsizetype>(message.size()));
    auto start = std::chrono::steady_clock::now();
    const brindmar::StreamChanges shipped =
        brindmar::carryStream(coded.bgr.data(), width, height, packed.data(), stretch, sealed);
    const double coderMs = msSince(start);

    const std::vector<double> own = coderCosts(carrier, false, true);
    const PixelSumKey key = randomPixelSumKey(rng);
    Tile summed = carrier;
    start = std::chrono::steady_clock::now();
    const PixelSumChanges made = pixelSumEmbed(summed, single, own, key, message, shape);
    const double pixelMs = msSince(start);
    if (!made.carried || pixelSumRead(summed, key, message.size(), shape.passes) != message) {
        std::fprintf(stderr, "detect_bench: the pixel-sum picture did not give its message back\n");
    }
    if (shipped.end != brindmar::StreamEnd::Done) {
        std::fprintf(stderr, "detect_bench: the stealth coder's search did not carry the stream\n");
    }
    std::printf("psum_speed %.2f passes %d pricing_ms %.0f pixels_search_ms %.0f coder_search_ms "
                "%.0f ratio %.2f "
                "moves %llu "
                "changes %llu\n",
                rate, shape.passes, made.pricingMs, pixelMs, coderMs, pixelMs / coderMs,
                static_cast<unsigned long long>(made.moves),
                static_cast<unsigned long long>(shipped.changes));
    std::fflush(stdout);
}

} // namespace detect
