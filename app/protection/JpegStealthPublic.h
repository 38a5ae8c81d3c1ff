#pragma once

#include "protection/JpegAcCoefficients.h"
#include "protection/Trellis.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace brindmar {

// From version 2 the salt's coefficients carry the stream's last bytes too, so that those public
// places change as often as the rest at any rate, not only at the one rate a salt alone would
// give them. There are K of them, the public walk's first K steps. Two layers lie on their
// shifted values (below), as on a pixel's sum: bit 1 carries the stream's tail under a keyed
// code, and then bit 0 the salt under a public one, among the coefficients the first layer left.
inline constexpr uint64_t kJpegMostPublic = uint64_t{1} << 18;

// K = min(2^18, max(M / 4, 2048)) for M AC coefficients: a salt over fewer would change them
// more often than a stream at a tenth of the recommended rate changes the rest.
uint64_t jpegPublicCount(uint64_t acCount);

// The stream's last bytes the public coefficients carry, from the sealed length and M alone: as
// many as give them 17/16 of the bits a coefficient the rest of the stream gives the others,
// (128 + 8 Lt) / K = (17/16) 8 (Ls - Lt) / (M - K), rounded down; at most one bit in four
// public coefficients less the salt's, and half the stream. Two layers change a coefficient
// less often a bit than the stream's one does: measured, a sixteenth more bits makes the
// changes come out alike.
uint64_t jpegTailBytes(uint64_t sealedBytes, uint64_t acCount);

// Columns per bit of a layer of `bits` over K public coefficients: as many as they allow, at
// most 32.
uint32_t jpegPublicWidth(uint64_t publicCount, uint64_t bits);

// The public coefficients by number, in the order the layers take them.
std::vector<uint32_t> jpegPublicCoefficients(uint64_t acCount);

// Each public coefficient's shift, 0 to 3: byte k of the public walk key's XChaCha20 keystream
// under the nonce 7, 0, ..., 0, mod 4. The layers take the two low bits of the value plus its
// shift (two's complement), not of the value: a change for bit 1 goes up where that sum is odd,
// which would otherwise send every odd value up and every even one down, more -1s than 1s where
// a JPEG's coefficients are as often one as the other.
std::vector<uint8_t> jpegPublicShifts(uint64_t acCount);

struct JpegPublicPlaces {
    std::vector<uint32_t> places;
    std::vector<uint8_t> shifts;

    explicit JpegPublicPlaces(uint64_t acCount)
        : places(jpegPublicCoefficients(acCount)), shifts(jpegPublicShifts(acCount)) {}
};

// Carries bits by code on bit `plane` of the public coefficients' shifted values, the columns
// sharing them out as the stream's share the walk. prices[k] is the price of changing the k-th,
// as trellisColumn has it (its bit is not read). A change for bit 1 goes up from an odd shifted
// value and down from an even one; one for bit 0 the other way, which keeps bit 1. A changed
// coefficient, and one at the largest magnitude, is wet afterwards. The number of changes;
// nothing when memory ran out or, with carried set false, when the wet ones left no way.
std::optional<uint64_t> jpegCarryPublic(std::vector<JpegComponent>& components,
                                        const AcCoefficients& ac, const JpegPublicPlaces& open,
                                        uint16_t* prices, const TrellisCode& code, int plane,
                                        const unsigned char* message, uint64_t bits, bool& carried);

// The bits a layer carries: bit `plane` of each column's shifted values, XORed.
std::vector<unsigned char> jpegReadPublic(const std::vector<JpegComponent>& components,
                                          const AcCoefficients& ac, const JpegPublicPlaces& open,
                                          const TrellisCode& code, int plane, uint64_t bits);

} // namespace brindmar
