#include "protection/StealthPublic.h"

#include "protection/StealthColumns.h"
#include "protection/StealthPixelStream.h"
#include "protection/Trellis.h"

namespace brindmar {

namespace {

StealthSalt saltOf(const std::vector<unsigned char>& bits) {
    StealthSalt salt{};
    if (bits.size() == salt.size()) {
        std::copy(bits.begin(), bits.end(), salt.begin());
    }
    return salt;
}

// Version 5's salt code is public, as its places are: the bytes after the 32 that the places'
// permutation takes as round keys.
constexpr size_t kSaltCodeSkip = 32;

} // namespace

StealthSalt readStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height) {
    const StealthLayout layout(width, height);
    if (!layout.holds()) {
        return {};
    }
    return readSaltFrom(colour, PublicPixels(layout, width, height));
}

StealthSalt readSaltFrom(const unsigned char* colour, const PublicPixels& places) {
    return saltOf(readListedPixels(colour, places.pixels, places.saltCode, 0, kStealthSaltBits));
}

StealthSalt readEarlierStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height) {
    const StealthLayout layout(width, height);
    if (!layout.holds()) {
        return {};
    }
    const std::vector<uint64_t> positions = saltPositions(width, height, layout.saltSteps);
    const std::vector<uint32_t> bytes(positions.begin(), positions.end());
    const ListedWalk walk{&bytes};
    const ColumnGroups<ListedWalk> groups{&walk, 0, layout.saltSteps,
                                          kStealthSaltBits * layout.saltWidth};
    const std::array<unsigned char, 32> key = saltPositionKey(width, height);
    return saltOf(readBits(groups, colour, 0,
                           keystreamCode(layout.saltWidth, key.data(), kSaltCodeSkip),
                           kStealthSaltBits));
}

} // namespace brindmar
