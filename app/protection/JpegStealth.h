#pragma once

#include "protection/JpegCoefficients.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>

namespace brindmar {

// A byte stream carried by ±1 changes to a JPEG's quantised AC coefficients, along a keyed walk
// over all of them, by the syndrome-trellis code, the changes placed by the UERD cost. Nothing
// is in clear: a short head (version and length, masked) and then the stream each have their
// own stretch of the walk and their own code. A reader needs only the coefficients' two low bits,
// never the costs.
//
// The keys are taken already derived: where they come from (the code, the salt, the seal around
// the stream) is the caller's business, so that this layer stays the same whichever way they
// are made.
struct JpegStealthKeys {
    std::array<unsigned char, 32> walk{};
    std::array<unsigned char, 32> head{};
    std::array<unsigned char, 32> code{};
    std::array<unsigned char, 32> directions{};
};

// Version 1 kept the salt alone on 2048 public coefficients, which a small stream changed far
// more often than the rest; version 2 puts the stream's tail there too (JpegStealthPublic.h).
// Both are read.
inline constexpr uint8_t kJpegStealthVersion = 2;
inline constexpr uint8_t kJpegStealthFirstVersion = 1;
// The head: the version, then the stream's length in bytes (32 bits, little-endian), masked
// with the head key's keystream and carried at 16 columns a bit over the walk's first steps.
inline constexpr uint64_t kJpegHeadBits = 40;
inline constexpr uint32_t kJpegHeadWidth = 16;
inline constexpr uint64_t kJpegHeadSteps = kJpegHeadBits * kJpegHeadWidth;

// The AC coefficients the walk goes over (all components, blocks row by row, 63 a block), and
// the non-zero ones among them, by which a rate is given.
uint64_t jpegAcCount(const JpegCoefficients& jpeg);
uint64_t jpegNonZeroAcCount(const JpegCoefficients& jpeg);

// The trellis code's columns per stream bit for a stream of this many bytes: as many as the
// coefficients past the head allow, at most 32; 0 when fewer than two.
uint32_t jpegStealthWidth(uint64_t streamBytes, uint64_t acCount);
// The longest stream, in bytes, a JPEG takes.
uint64_t jpegStealthCapacity(const JpegCoefficients& jpeg);

struct JpegStealthReport {
    bool done = false;    // false: the stream does not fit, or memory ran out
    bool fits = true;     // false: too many of the coefficients it needs are wet to carry it
    uint32_t width = 0;   // columns per stream bit
    uint64_t changes = 0; // coefficients changed by one
    double bitsPerNonZeroAc = 0;
};

// Carries the stream in the coefficients, changed in place, with no salt: version 1's layout,
// the head and the whole stream over the keyed walk, for tools that measure the coder alone.
// When it fails past the start (memory ran out) some coefficients may already be changed: open
// the carrier again before another try.
JpegStealthReport jpegStealthEmbed(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                   const QByteArray& stream);

// The salt of the key derivation goes ahead of everything, since the reader needs it before it
// has a key: 128 bits over public coefficients, the first steps of a public walk (the keyed walk
// under jpegSaltWalkKey), its changes placed by the cost as the stream's are. Version 1 put it
// at 16 columns a bit, one AC coefficient a column, on the walk's first 2048 steps; version 2
// puts it on bit 0 of the K public coefficients (JpegStealthPublic.h). Those are then wet for
// the head and the stream, whose keyed walk crosses them, so that nothing written later moves
// it.
inline constexpr uint64_t kJpegSaltBits = 128;
inline constexpr uint32_t kJpegSaltWidth = 16;
inline constexpr uint64_t kJpegSaltSteps = kJpegSaltBits * kJpegSaltWidth;
using JpegStealthSalt = std::array<unsigned char, kJpegSaltBits / 8>;

// The public walk's key: BLAKE2b-256 of "brindmar jpeg stealth salt" followed by the count of
// AC coefficients as a 32-bit little-endian word. Version 1's salt code is the first
// kJpegSaltWidth bytes of that key's XChaCha20 keystream under the nonce 4, 0, ..., 0; version
// 2's is as many as its columns a bit under the nonce 6.
std::array<unsigned char, 32> jpegSaltWalkKey(uint64_t acCount);

// Whether a JPEG has room for the salt, the head and a stream at all.
bool jpegStealthSalted(uint64_t acCount);
// The longest stream, in bytes, a JPEG takes with the salt: its coefficients count as wet.
uint64_t jpegSaltedStealthCapacity(const JpegCoefficients& jpeg);

// Version 2: the stream's tail and then the salt over the public coefficients, then the head
// and the rest of the stream as the overload without a salt carries them. The public layers'
// changes go the way their bit says; the head's and the stream's as the direction key says.
JpegStealthReport jpegStealthEmbed(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                   const QByteArray& stream, const JpegStealthSalt& salt);

// The salt as the coefficients carry it, version 2's or version 1's: all zero when the JPEG is
// too small for one.
JpegStealthSalt jpegStealthReadSalt(const JpegCoefficients& jpeg);
JpegStealthSalt jpegStealthReadEarlierSalt(const JpegCoefficients& jpeg);

// The stream the coefficients carry under these keys, of either version, and which; nothing
// when the head is not one the embed writes (another key, or no stream). Under another key a
// plausible head may still come out of the noise: what follows is then noise too, which the
// seal around the stream refuses.
std::optional<QByteArray> jpegStealthRead(const JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                          uint8_t* version = nullptr);

} // namespace brindmar
