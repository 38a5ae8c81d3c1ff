// A stealth picture is any picture: whoever holds the code may be handed one that someone else
// made or changed. The input describes a small picture and an archive; the target carries the
// archive in it with a fixed key, spoils the picture as the input says, and reads it back.
//
// Built this way rather than from saved stealth pictures, the inputs stay valid whatever the
// coding inside, and a mutation reaches the salt, the head and the sealed stream alike. What is
// checked is what the reader promises: no crash; an untouched picture gives its archive back;
// a spoiled one gives the same archive or nothing, never other bytes.
//
// Input: width and height (one byte each, 1 to 256), the picture's style and noise seed (two
// bytes), the archive's length (two bytes) and bytes, then changes of four bytes each: a
// position in the colour bytes (three bytes) and the value to add to it. A first byte of 0xFF
// instead reads the rest as a raw picture of 64 pixels a row, for the reader alone.
#include "FuzzPromise.h"
#include "protection/StealthImage.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void require(bool condition, const char* what) {
    fuzzpromise::require(condition, "stealth reader", what);
}

const brindmar::SecretBytes& fixedKey() {
    return fuzzpromise::fixedKey<0x5a>();
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    unsigned next() { return at < size ? data[at++] : 0; }
    size_t left() const { return size - at; }
};

// Flat, saturated and busy areas, as photographs have; only the walk's reach differs.
// The share of colour bytes at 0 or 255 or equal to the byte before of their channel: a bound
// from above on how much of the picture a flat area or a clipped one keeps from the coder.
double wetShare(const std::vector<unsigned char>& colour) {
    size_t wet = 0;
    for (size_t i = 0; i < colour.size(); ++i) {
        wet += colour[i] == 0 || colour[i] == 255 || (i >= 3 && colour[i] == colour[i - 3]) ? 1 : 0;
    }
    return colour.empty() ? 0 : static_cast<double>(wet) / static_cast<double>(colour.size());
}

std::vector<unsigned char> picture(uint32_t width, uint32_t height, unsigned style, unsigned seed) {
    std::vector<unsigned char> colour(size_t{width} * height * 3);
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < colour.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const unsigned noise = state >> 24;
        colour[i] = static_cast<unsigned char>(style % 3 == 0   ? noise
                                               : style % 3 == 1 ? (noise % 4 == 0 ? 0 : 255)
                                                                : 120 + (i / 7) % 9);
    }
    return colour;
}

void readRaw(Input& in) {
    constexpr uint32_t kWidth = 64;
    const auto height = static_cast<uint32_t>(in.left() / (kWidth * 3));
    if (height == 0) {
        return;
    }
    const auto result =
        brindmar::stealthExtractWithKey(in.data + in.at, kWidth, height, fixedKey());
    require(result.status == brindmar::StealthStatus::Done ||
                result.status == brindmar::StealthStatus::NotFound ||
                result.status == brindmar::StealthStatus::Damaged,
            "an outcome reading cannot give");
    require(result.status == brindmar::StealthStatus::Done || result.archive.isEmpty(),
            "handed back bytes it did not vouch for");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using brindmar::StealthStatus;
    Input in{data, size};
    if (size > 0 && data[0] == 0xFF) {
        in.at = 1;
        readRaw(in);
        return 0;
    }
    const uint32_t width = in.next() + 1;
    const uint32_t height = in.next() + 1;
    const unsigned style = in.next();
    const unsigned seed = in.next();
    const unsigned length = in.next() << 8 | in.next();
    QByteArray archive;
    for (unsigned i = 0; i < length && in.left() > 0; ++i) {
        archive.append(static_cast<char>(in.next()));
    }

    std::vector<unsigned char> colour = picture(width, height, style, seed);
    brindmar::StealthSalt salt{};
    for (size_t i = 0; i < salt.size(); ++i) {
        salt[i] = static_cast<unsigned char>(seed + 31 * i);
    }
    const auto embedded =
        brindmar::stealthEmbedWithKey(colour.data(), width, height, fixedKey(), salt, archive);
    // A capacity of 0 is ambiguous at the edge: no archive at all, or only an empty one (which a
    // real archive never is).
    const int64_t capacity = brindmar::stealthCapacity(width, height);
    if (embedded.status != StealthStatus::Done) {
        require(embedded.status == StealthStatus::TooLarge, "an outcome embedding cannot give");
        // Within the capacity only where wet bytes (at 0 or 255, or flat) left the code no path.
        require(capacity == 0 || archive.size() > capacity || wetShare(colour) > 0.01,
                "refused an archive within the capacity");
        return 0;
    }
    require(archive.size() <= capacity, "carried more than the capacity");

    bool spoiled = false;
    while (in.left() >= 4) {
        const size_t position = (in.next() << 16 | in.next() << 8 | in.next()) % colour.size();
        const unsigned add = in.next();
        spoiled = spoiled || add % 256 != 0;
        colour[position] = static_cast<unsigned char>(colour[position] + add);
    }

    const auto result = brindmar::stealthExtractWithKey(colour.data(), width, height, fixedKey());
    if (!spoiled) {
        require(result.status == StealthStatus::Done, "lost an untouched archive");
    }
    if (result.status == StealthStatus::Done) {
        require(result.archive == archive, "handed back other bytes");
    } else {
        require(result.status == StealthStatus::NotFound || result.status == StealthStatus::Damaged,
                "an outcome reading cannot give");
        require(result.archive.isEmpty(), "handed back bytes it did not vouch for");
    }
    return 0;
}
