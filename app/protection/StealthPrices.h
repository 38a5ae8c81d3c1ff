#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace brindmar {

// What the writer pays for a change, after HILL (HillCost.h): a colour byte's price is its own
// channel's HILL cost plus that of its difference from the pixel's other channels (when
// gStealthColourCosts is on), since a change must hide in both. Wet bytes (StealthWet.h) are at
// kWetCost. Only the writer prices; a reader never does.

// How a pixel's sum B + G + R moves by one: one channel (0 blue, 1 green, 2 red) that way, or
// all three the other way (a sum moved by 3 the other way has the same two low bits).
inline constexpr uint8_t kAllThree = 3;

// A pixel's sum B + G + R, from its three colour bytes.
inline unsigned pixelSum(const unsigned char* bgr) {
    return unsigned{bgr[0]} + bgr[1] + bgr[2];
}

// A pixel's way and its sum's low bits, kept in one byte by the writer.
inline uint8_t wayOf(uint8_t kept) {
    return kept & 3u;
}
inline uint8_t withSum(uint8_t way, unsigned sum) {
    return static_cast<uint8_t>(way | (sum & 3u) << 2);
}
// Bit `plane` of the sum as trellisColumn has a low bit (0 or 0x8000).
inline uint16_t sumBitOf(uint8_t kept, int plane) {
    return static_cast<uint16_t>((kept << (13 - plane)) & 0x8000u);
}

// Moving all three channels leaves their differences as they were, so it is priced by their own
// HILL costs alone, summed, times this factor. Measured against the colour rich model and SPAM
// on 300 tiles (bench/detect_bench): pricing it up (1.25 to 3, or one channel only) raised the
// rich model's score and bought nothing on SPAM; 0.75 scored as 1 does, changing a sixth more
// bytes; 0.5 let the single-channel residuals see the extra bytes. Tools that measure the trade
// set the global; the image reads alike.
inline constexpr float kStealthTripleFactor = 1.0f;
inline std::atomic<float> gStealthTripleFactor{kStealthTripleFactor};

// Colour bytes whose own prices are wanted beside the pixels' (the salt's and the head's
// places): bytes ascending, and for each the slot its price goes to, as trellisColumn has it
// (bit clear).
struct ListedBytes {
    std::vector<uint32_t> bytes;
    std::vector<uint32_t> into;
    std::vector<uint16_t> prices;
};
// From the places in slot order, any of them more than once.
ListedBytes listedBytes(const std::vector<uint32_t>& places);

// Every pixel's price for moving its sum by one, either way alike, as trellisColumn has it (bit
// clear; kWetCost when no move is possible), and the way that price is had (a channel or
// kAllThree) with the sum's two low bits above it (wayOf and sumBitOf take them apart), and the
// listed bytes' prices: one sweep of strips of rows on every core, each row priced as soon as its
// HILL costs are out. False when memory ran out.
// beside, when given, runs on one of the sweep's threads before it joins the sweep (forEachTask).
bool pricePixels(const unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed,
                 uint8_t* way, ListedBytes& listed, const std::function<void()>& beside = {});

// The prices of the given colour bytes alone, as pricePixels lists them, each from a patch of the
// picture about it: for a few places known only once the sweep is done (the head's, which the
// key decides). Bytes in the order given, any of them more than once.
std::vector<uint16_t> priceBytes(const unsigned char* colour, uint32_t width, uint32_t height,
                                 const std::vector<uint32_t>& bytes);

// Every colour byte's price and low bit, as trellisColumn has them, in picture order: what the
// version-4 stream's coder (carryStream) takes.
bool packColourBytes(const unsigned char* colour, uint32_t width, uint32_t height,
                     uint16_t* packed);

} // namespace brindmar
