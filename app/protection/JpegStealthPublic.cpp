#include "protection/JpegStealthPublic.h"

#include "protection/JpegStealth.h"
#include "protection/KeyedWalk.h"
#include "protection/StealthColumns.h"

#include <algorithm>
#include <cstdlib>
#include <sodium.h>

namespace brindmar {

uint64_t jpegPublicCount(uint64_t acCount) {
    return std::min(kJpegMostPublic, std::max(acCount / 4, kJpegSaltSteps));
}

uint64_t jpegTailBytes(uint64_t sealedBytes, uint64_t acCount) {
    const uint64_t k = jpegPublicCount(acCount);
    if (acCount <= k) {
        return 0;
    }
    // A stream is below 2^32 bytes, so 17 K Ls below 2^5 * 2^18 * 2^32: no product overflows.
    const uint64_t carried = 17 * k * std::min<uint64_t>(sealedBytes, 0xffffffffu);
    const uint64_t salt = 256 * (acCount - k);
    const uint64_t matched = carried > salt ? (carried - salt) / (16 * (acCount - k) + 17 * k) : 0;
    const uint64_t most = k / 4 > kJpegSaltBits ? (k / 4 - kJpegSaltBits) / 8 : 0;
    return std::min({matched, most, sealedBytes / 2});
}

uint32_t jpegPublicWidth(uint64_t publicCount, uint64_t bits) {
    return bits == 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(32, publicCount / bits));
}

std::vector<uint32_t> jpegPublicCoefficients(uint64_t acCount) {
    const std::array<unsigned char, 32> key = jpegSaltWalkKey(acCount);
    const KeyedWalk walk(key.data(), acCount, {});
    std::vector<uint32_t> places(static_cast<size_t>(jpegPublicCount(acCount)));
    walk.bytesAt(0, static_cast<uint32_t>(places.size()), places.data());
    return places;
}

std::vector<uint8_t> jpegPublicShifts(uint64_t acCount) {
    static const unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {7};
    const std::array<unsigned char, 32> key = jpegSaltWalkKey(acCount);
    std::vector<uint8_t> shifts(static_cast<size_t>(jpegPublicCount(acCount)));
    crypto_stream_xchacha20(shifts.data(), shifts.size(), nonce, key.data());
    for (uint8_t& shift : shifts) {
        shift &= 3;
    }
    return shifts;
}

namespace {

// The two bits the layers take of the k-th public coefficient: its value plus its shift, mod 4.
uint8_t labelOf(int16_t value, uint8_t shift) {
    return static_cast<uint8_t>((static_cast<uint16_t>(value) + shift) & 3u);
}

} // namespace

std::optional<uint64_t> jpegCarryPublic(std::vector<JpegComponent>& components,
                                        const AcCoefficients& ac, const JpegPublicPlaces& open,
                                        uint16_t* prices, const TrellisCode& code, int plane,
                                        const unsigned char* message, uint64_t bits,
                                        bool& carried) {
    const std::vector<uint32_t>& places = open.places;
    static const uint16_t wet = trellisColumn(kWetCost, false);
    // A change's way is the layer's, not the cheaper one: at the largest magnitude it might
    // have to go past it.
    for (size_t k = 0; k < places.size(); ++k) {
        if (std::abs(ac.at(components, places[k])) >= kMostAcMagnitude) {
            prices[k] = wet;
        }
    }
    const CountingWalk ranks;
    const ColumnGroups<CountingWalk> groups{&ranks, 0, places.size(), bits * code.width};
    const auto bitOf = [&](uint32_t rank) {
        const uint8_t label = labelOf(ac.value(components, places[rank]), open.shifts[rank]);
        return static_cast<uint16_t>(((label >> plane) & 1u) << 15);
    };
    const TrellisFlips flips = searchColumns(groups, prices, bitOf, code, message, bits);
    if (!flips.ok) {
        return std::nullopt;
    }
    if (!flips.carried) {
        carried = false;
        return std::nullopt;
    }
    for (const uint32_t rank : flips.places) {
        int16_t& v = ac.at(components, places[rank]);
        const bool up = ((labelOf(v, open.shifts[rank]) & 1u) != 0) == (plane == 1);
        v = static_cast<int16_t>(up ? v + 1 : v - 1);
        prices[rank] = wet;
    }
    return flips.places.size();
}

std::vector<unsigned char> jpegReadPublic(const std::vector<JpegComponent>& components,
                                          const AcCoefficients& ac, const JpegPublicPlaces& open,
                                          const TrellisCode& code, int plane, uint64_t bits) {
    const std::vector<uint32_t>& places = open.places;
    std::vector<unsigned char> low(places.size());
    for (size_t k = 0; k < places.size(); ++k) {
        low[k] = labelOf(ac.value(components, places[k]), open.shifts[k]);
    }
    return readListed(low, code, plane, bits);
}

} // namespace brindmar
