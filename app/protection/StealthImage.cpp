#include "protection/StealthImage.h"

#include "protection/HillCost.h"
#include "protection/KeyedWalk.h"
#include "protection/LargeBuffer.h"
#include "protection/Parallel.h"
#include "protection/StealthColumns.h"
#include "protection/StealthKeys.h"
#include "protection/StealthStream.h"
#include "protection/StealthWet.h"
#include "protection/Trellis.h"
#include "protection/WideTargets.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <sodium.h>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace brindmar {

namespace {

constexpr uint64_t kSaltBits = kSaltLength * 8;
constexpr uint64_t kHeadBits = uint64_t{kHeadLength} * 8;

uint64_t colourBytesOf(uint32_t width, uint32_t height) {
    return uint64_t{width} * height * 3;
}

// Where the salt, the head and the stream lie in a picture of this size. The salt and the head
// are carried as the stream is, by a trellis code over a stretch of a walk, with as many colour
// bytes a bit as the stream has at the recommended rate: their changes are then as rare, and as
// well placed, as its own. A sixteenth of the picture each at most.
struct Layout {
    uint64_t colourBytes = 0;
    uint64_t saltSteps = 0; // public positions
    uint64_t headSteps = 0; // the keyed walk's first steps
    uint32_t saltWidth = 0;
    uint32_t headWidth = 0;

    // The walk counts in 32 bits; a carrier's colour bytes fit a signed 32-bit count anyway.
    bool holds() const {
        return saltWidth >= kLeastWidth && headWidth >= kLeastWidth && colourBytes <= 0x7fffffffu;
    }
    uint64_t streamSteps() const { return holds() ? colourBytes - headSteps : 0; }
};

uint64_t stepsFor(uint64_t bits, uint64_t colourBytes) {
    return std::min(bits * kStealthStepsPerBit, colourBytes / 16);
}

uint32_t widthFor(uint64_t steps, uint64_t bits) {
    const uint64_t fits = steps / bits;
    return fits < kLeastWidth ? 0 : static_cast<uint32_t>(std::min<uint64_t>(fits, kMostWidth));
}

Layout layoutOf(uint32_t width, uint32_t height) {
    Layout layout;
    layout.colourBytes = colourBytesOf(width, height);
    layout.saltSteps = stepsFor(kSaltBits, layout.colourBytes);
    layout.headSteps = stepsFor(kHeadBits, layout.colourBytes);
    layout.saltWidth = widthFor(layout.saltSteps, kSaltBits);
    layout.headWidth = widthFor(layout.headSteps, kHeadBits);
    return layout;
}

// Walk steps left for the sealed stream once the head has its own.
uint64_t streamSteps(uint32_t width, uint32_t height) {
    return layoutOf(width, height).streamSteps();
}

// The head's bytes are masked with the head key's XChaCha20 keystream (all-zero nonce), so a
// version and a length read without the key are noise like the rest.
std::array<unsigned char, kHeadLength> maskHead(std::array<unsigned char, kHeadLength> head,
                                                const SecretBytes& headKey) {
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    crypto_stream_xchacha20_xor(head.data(), head.data(), head.size(), zeroNonce, headKey.data());
    return head;
}

std::array<unsigned char, kHeadLength> clearHead(uint32_t sealedLength) {
    std::array<unsigned char, kHeadLength> head{};
    head[0] = kStealthVersion;
    for (int i = 0; i < 4; ++i) {
        head[static_cast<size_t>(1 + i)] = static_cast<unsigned char>(sealedLength >> (8 * i));
    }
    return head;
}

// The sealed stream's first chunk is bound to the clear head, as strong protection binds it to
// its payload header.
std::string_view headText(const std::array<unsigned char, kHeadLength>& head) {
    return {reinterpret_cast<const char*>(head.data()), head.size()};
}

// The salt's code is public, as its positions are: the bytes after the 32 that the positions'
// permutation takes as round keys. The head's follows the 5 bytes that mask it.
constexpr size_t kSaltCodeSkip = 32;
constexpr size_t kHeadCodeSkip = kHeadLength;

// The salt's places in the order they carry it, their columns and their code: all public.
struct SaltPlaces {
    std::vector<uint32_t> bytes;
    ListedWalk walk{&bytes};
    ColumnGroups<ListedWalk> groups{};
    TrellisCode code;

    SaltPlaces(const SaltPlaces&) = delete; // the walk points into bytes
    SaltPlaces& operator=(const SaltPlaces&) = delete;
    SaltPlaces(const Layout& layout, uint32_t width, uint32_t height) {
        const std::vector<uint64_t> positions = saltPositions(width, height, layout.saltSteps);
        bytes.assign(positions.begin(), positions.end());
        groups = ColumnGroups<ListedWalk>{&walk, 0, layout.saltSteps, kSaltBits * layout.saltWidth};
        const std::array<unsigned char, 32> key = saltPositionKey(width, height);
        code = keystreamCode(layout.saltWidth, key.data(), kSaltCodeSkip);
    }
};

// The bits a stretch of columns carries.
template <class Walk>
std::vector<unsigned char> readBits(const unsigned char* colour, const ColumnGroups<Walk>& groups,
                                    const TrellisCode& code, uint64_t bits) {
    return trellisRead(
        code,
        [&](uint64_t first, size_t count, uint8_t* out) {
            readColumns(groups, colour, 0, first, count, out);
        },
        bits);
}

// The picture is swept in strips of rows, each on its own, so that cores can share the work.
constexpr uint32_t kStripRows = 128;

// A row's prices and low bits packed as trellisColumn has them, a wet byte's price its +inf.
BRINDMAR_WIDE void packRow(const unsigned char* bytes, const float* costs, const uint8_t* wet,
                           uint64_t row, uint16_t* out) {
    const uint16_t wetTop = trellisColumn(kWetCost, false);
    for (uint64_t i = 0; i < row; ++i) {
        uint32_t bits = 0;
        std::memcpy(&bits, costs + i, sizeof bits);
        const auto top = static_cast<uint16_t>(wet[i] != 0 ? wetTop : (bits >> 16 & 0x7fffu));
        out[i] = static_cast<uint16_t>(top | (bytes[i] & 1u) << 15);
    }
}

// Every colour byte's price and low bit packed as the trellis search takes them, in picture
// order: strip by strip, each row packed as soon as its HILL costs are out. A byte's price is
// its own channel's HILL cost plus that of its difference from the pixel's other channels: a
// change must hide in both, since a photograph's channels move together.
bool packBytes(const unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed) {
    const uint64_t row = uint64_t{width} * 3;
    const uint64_t strips = (uint64_t{height} + kStripRows - 1) / kStripRows;
    const bool together = gStealthColourCosts;
    return forEachTask(strips, [&](uint64_t g) {
        const auto first = static_cast<uint32_t>(g * kStripRows);
        const uint32_t end = std::min<uint32_t>(height, first + kStripRows);
        thread_local std::vector<uint8_t> wet;
        thread_local std::vector<unsigned char> differences;
        thread_local std::vector<float> sum;
        wet.resize(static_cast<size_t>(row));
        const HillCost own(colour, width, height);
        if (!together) {
            own.eachRow(first, end, [&](uint32_t y, const float* costs) {
                stealthWetRow(colour, row, height, y, wet.data());
                packRow(colour + y * row, costs, wet.data(), row, packed + y * row);
            });
            return;
        }
        // The strip's differences and the rows about it that their costs read, made here
        // rather than the whole picture's first: a few rows twice, but no second picture. Both
        // pictures are costed in step, a row of each at a time, so that neither's costs go
        // through memory.
        const uint32_t from = first - std::min(first, HillCost::kRowsAround);
        const uint32_t to = std::min(height, end + HillCost::kRowsAround);
        differences.resize(static_cast<size_t>(row * (to - from)));
        channelDifferences(colour + from * row, uint64_t{to - from} * width, differences.data());
        sum.resize(static_cast<size_t>(row));
        const HillCost apart(differences.data(), width, height, from);
        own.eachRowOfBoth(
            apart, first, end, [&](uint32_t y, const float* costs, const float* others) {
                stealthWetRow(colour, row, height, y, wet.data());
                for (uint64_t i = 0; i < row; ++i) {
                    sum[i] = costs[i] + others[i];
                }
                packRow(colour + y * row, sum.data(), wet.data(), row, packed + y * row);
            });
    });
}

// Which way each change of the salt or the head goes: bit j of the XChaCha20 keystream of the
// direction key for column j, under the nonce 2, 0, ..., 0 for the salt and 3 for the head (the
// stream's changes go the way its layers say). Each change is its own byte, so the changes can
// be shared among threads. Returns the number of changes, or nothing when memory ran out.
constexpr unsigned char kSaltDirections = 2;
constexpr unsigned char kHeadDirections = 3;

std::optional<uint64_t> changeColumns(unsigned char* colour, uint64_t columns,
                                      const TrellisFlips& flips, const SecretBytes& directionKey,
                                      unsigned char first) {
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {first};
    std::vector<unsigned char> up(static_cast<size_t>((columns + 7) / 8));
    crypto_stream_xchacha20(up.data(), up.size(), nonce, directionKey.data());
    constexpr uint64_t kShare = 1 << 14;
    const size_t all = flips.columns.size();
    const bool done = forEachTask((all + kShare - 1) / kShare, [&](uint64_t t) {
        const size_t end = std::min<size_t>(all, static_cast<size_t>((t + 1) * kShare));
        for (auto k = static_cast<size_t>(t * kShare); k < end; ++k) {
            const uint64_t j = flips.columns[k];
            unsigned char& v = colour[flips.places[k]];
            const bool goUp = (up[j >> 3] >> (j & 7)) & 1;
            v = static_cast<unsigned char>(v == 0 || (goUp && v != 255) ? v + 1 : v - 1);
        }
    });
    sodium_memzero(up.data(), up.size());
    return done ? std::optional<uint64_t>(all) : std::nullopt;
}

// Carries bits by the columns of a stretch at the least cost and makes the changes. TooLarge
// when too many of its bytes are wet to carry them.
template <class Walk>
StealthStatus carryBits(unsigned char* colour, const uint16_t* packed,
                        const ColumnGroups<Walk>& groups, const TrellisCode& code,
                        const unsigned char* message, uint64_t bits, const SecretBytes& directions,
                        unsigned char nonce, uint64_t& changes) {
    const unsigned char* const picture = colour;
    const auto lowBit = [picture](uint32_t byte) {
        return static_cast<uint16_t>((picture[byte] & 1u) << 15);
    };
    const TrellisFlips flips = trellisEmbed(
        code,
        [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            gatherColumns(groups, packed, lowBit, first, count, out, place);
        },
        message, bits, columnScale(groups, packed));
    if (!flips.ok) {
        return StealthStatus::NoMemory;
    }
    if (!flips.carried) {
        return StealthStatus::TooLarge;
    }
    const std::optional<uint64_t> made =
        changeColumns(colour, groups.columns, flips, directions, nonce);
    if (!made) {
        return StealthStatus::NoMemory;
    }
    changes += *made;
    return StealthStatus::Done;
}

} // namespace

uint32_t stealthWidth(uint64_t sealedLength, uint32_t width, uint32_t height) {
    if (sealedLength == 0 || sealedLength > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    const uint64_t steps = streamSteps(width, height);
    const uint32_t w = widthFor(steps, sealedLength * 8);
    return w != 0 && streamFits(steps, sealedLength, kLeastWidth) ? w : 0;
}

uint64_t stealthSaltSteps(uint32_t width, uint32_t height) {
    const Layout layout = layoutOf(width, height);
    return layout.holds() ? layout.saltSteps : 0;
}

int64_t stealthCapacity(uint32_t width, uint32_t height) {
    return longestSealedArchive(streamSteps(width, height) / kLeastWidth / 8);
}

int64_t stealthRecommendedCapacity(uint32_t width, uint32_t height) {
    const auto recommended = static_cast<uint64_t>(
        kStealthRecommendedRate * static_cast<double>(colourBytesOf(width, height)) / 8);
    return std::min(stealthCapacity(width, height), longestSealedArchive(recommended));
}

namespace {

// The longest sealed stream whose bits keep to one in kStealthDryStepsPerBit of the stream's dry
// steps, the head's steps and the salt's places counted as though all were dry.
uint64_t dryLimit(const Layout& layout, uint64_t dry) {
    const uint64_t taken = layout.headSteps + layout.saltSteps;
    return dry > taken ? (dry - taken) / kStealthDryStepsPerBit / 8 : 0;
}

// The longest sealed stream whose last pass's bit-1 layer (the larger of its two) can still be
// carried where the walk's tail ends it: its bits over the tail's t colour bytes, at most
// kStealthDeadTailBits more than the tail's dry bytes carry at one bit in
// kStealthDryStepsPerBit. The tail's order is keyed, so its wet bytes lie among its dry ones;
// only a tail wet throughout leaves bits with nothing to change.
uint64_t tailLimit(const Layout& layout, const StealthDryCount& count, uint64_t most) {
    const uint64_t tail = layout.colourBytes % 256;
    const uint64_t dryTail = tail - std::min(tail, count.wetTail);
    const uint64_t d = layout.streamSteps();
    const uint64_t lastSteps = d - d * (kStreamPasses - 1) / kStreamPasses;
    const auto holds = [&](uint64_t length) {
        const uint64_t last = length - length * (kStreamPasses - 1) / kStreamPasses;
        const uint64_t bits = 8 * ((last + 1) / 2);
        // bits * tail / lastSteps <= kStealthDeadTailBits + dryTail / kStealthDryStepsPerBit
        return bits * tail * kStealthDryStepsPerBit <=
               lastSteps * (kStealthDeadTailBits * kStealthDryStepsPerBit + dryTail);
    };
    uint64_t low = 0;
    uint64_t high = most;
    while (low < high) {
        const uint64_t middle = low + (high - low + 1) / 2;
        if (holds(middle)) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

} // namespace

int64_t stealthWriterCapacity(uint32_t width, uint32_t height, const StealthDryCount& count) {
    const Layout layout = layoutOf(width, height);
    const int64_t most = stealthCapacity(width, height);
    if (most == 0) {
        return 0;
    }
    const uint64_t sealedMost = static_cast<uint64_t>(sealedLength(most));
    const uint64_t sealed =
        std::min(dryLimit(layout, count.dry), tailLimit(layout, count, sealedMost));
    return std::min(most, longestSealedArchive(sealed));
}

int64_t stealthWriterRecommendedCapacity(uint32_t width, uint32_t height,
                                         const StealthDryCount& count) {
    return std::min(stealthWriterCapacity(width, height, count),
                    stealthRecommendedCapacity(width, height));
}

StealthSalt readStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height) {
    StealthSalt salt{};
    const Layout layout = layoutOf(width, height);
    if (!layout.holds()) {
        return salt;
    }
    const SaltPlaces places(layout, width, height);
    const std::vector<unsigned char> bits = readBits(colour, places.groups, places.code, kSaltBits);
    if (bits.size() == salt.size()) {
        std::copy(bits.begin(), bits.end(), salt.begin());
    }
    return salt;
}

namespace {

StealthEmbedReport embedOnce(unsigned char* colour, uint32_t width, uint32_t height,
                             const SecretBytes& key, const StealthSalt& salt,
                             const QByteArray& archive) {
    StealthEmbedReport report;
    const int64_t sealedBytes = sealedLength(archive.size());
    const uint32_t w = stealthWidth(static_cast<uint64_t>(sealedBytes), width, height);
    if (w == 0) {
        report.status = StealthStatus::TooLarge;
        return report;
    }
    std::optional<StealthSubkeys> keys = stealthSubkeysOf(key);
    if (!keys) {
        return report;
    }
    const std::array<unsigned char, kHeadLength> head =
        clearHead(static_cast<uint32_t>(sealedBytes));
    SealPrelude prelude;
    prelude.cost = kStealthCost;
    prelude.salt = salt;
    QByteArray sealed;
    if (sealBytes(archive, sealed, headText(head), keys->seal, prelude) != SealEnd::Done ||
        sealed.size() != sealedBytes) {
        return report;
    }
    const Layout layout = layoutOf(width, height);
    const KeyedWalk walk(keys->walk.data(), layout.colourBytes, {});
    const ColumnGroups<KeyedWalk> headGroups{&walk, 0, layout.headSteps,
                                             kHeadBits * layout.headWidth};
    LargeBuffer<uint16_t> packed(static_cast<size_t>(layout.colourBytes));
    if (packed.failed() || !packBytes(colour, width, height, packed.data())) {
        report.status = StealthStatus::NoMemory;
        return report;
    }

    // The salt first, over its public places; they are then wet for the rest, which the reader
    // takes after it has the key and which must not move the salt.
    uint64_t changes = 0;
    const SaltPlaces places(layout, width, height);
    StealthStatus status = carryBits(colour, packed.data(), places.groups, places.code, salt.data(),
                                     kSaltBits, keys->directions, kSaltDirections, changes);
    for (const uint32_t byte : places.bytes) {
        packed.data()[byte] = trellisColumn(kWetCost, (colour[byte] & 1) != 0);
    }
    const std::array<unsigned char, kHeadLength> masked = maskHead(head, keys->head);
    if (status == StealthStatus::Done) {
        status = carryBits(colour, packed.data(), headGroups,
                           keystreamCode(layout.headWidth, keys->head.data(), kHeadCodeSkip),
                           masked.data(), kHeadBits, keys->directions, kHeadDirections, changes);
    }
    StreamChanges stream;
    if (status == StealthStatus::Done) {
        stream =
            carryStream(colour, width, height, packed.data(),
                        {&walk, layout.headSteps, layout.streamSteps(), keys->code.data()}, sealed);
        status = stream.end == StreamEnd::Done       ? StealthStatus::Done
                 : stream.end == StreamEnd::TooLarge ? StealthStatus::TooLarge
                                                     : StealthStatus::NoMemory;
    }
    report.status = status;
    if (status != StealthStatus::Done) {
        return report;
    }
    report.width = w;
    report.changes = changes + stream.changes;
    report.streamChanges = stream.changes;
    report.mostChanges = places.groups.columns + headGroups.columns + stream.columns;
    return report;
}

} // namespace

StealthEmbedReport stealthEmbedWithKey(unsigned char* colour, uint32_t width, uint32_t height,
                                       const SecretBytes& key, const StealthSalt& salt,
                                       const QByteArray& archive) {
    // On a picture with much that is wet, a trellis can find no way round the wet bytes for one
    // sealing of the stream. Each sealing starts from a fresh stream header, so its bits are
    // others: a few more tries, each from the carrier as it was, turn about half of those into a
    // success the reader cannot tell apart. The rest stay too large, and the carrier is left as
    // it came; a hopeless carrier costs only these few tries.
    constexpr int kTries = 4;
    const size_t bytes = static_cast<size_t>(colourBytesOf(width, height));
    const bool fits =
        stealthWidth(static_cast<uint64_t>(sealedLength(archive.size())), width, height) != 0;
    // In huge pages: the copy is a whole picture written at once, and on small pages the
    // system's fault per page cost more than the copy itself (a third of a second at 72 MB).
    // Without the memory for it, one try only.
    LargeBuffer<unsigned char> original(fits ? bytes : 0);
    const bool kept = fits && original.data() != nullptr;
    if (kept) {
        std::memcpy(original.data(), colour, bytes);
    }
    StealthEmbedReport report;
    for (int attempt = 1;; ++attempt) {
        report = embedOnce(colour, width, height, key, salt, archive);
        if (report.status != StealthStatus::TooLarge || !kept) {
            return report;
        }
        std::memcpy(colour, original.data(), bytes);
        if (attempt == kTries) {
            return report;
        }
    }
}

StealthExtractReport stealthExtractWithKey(const unsigned char* colour, uint32_t width,
                                           uint32_t height, const SecretBytes& key) {
    StealthExtractReport report;
    std::optional<StealthSubkeys> keys = stealthSubkeysOf(key);
    const Layout layout = layoutOf(width, height);
    if (!keys || !layout.holds()) {
        return report;
    }
    const KeyedWalk walk(keys->walk.data(), layout.colourBytes, {});
    const ColumnGroups<KeyedWalk> headGroups{&walk, 0, layout.headSteps,
                                             kHeadBits * layout.headWidth};
    const std::vector<unsigned char> maskedBits =
        readBits(colour, headGroups,
                 keystreamCode(layout.headWidth, keys->head.data(), kHeadCodeSkip), kHeadBits);
    std::array<unsigned char, kHeadLength> head{};
    if (maskedBits.size() != head.size()) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    std::copy(maskedBits.begin(), maskedBits.end(), head.begin());
    head = maskHead(head, keys->head);
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) {
        length = (length << 8) | head[static_cast<size_t>(1 + i)];
    }
    // Under another code the head is noise: a version or a length no embedder writes.
    const uint32_t w = stealthWidth(length, width, height);
    if (head[0] != kStealthVersion || length < static_cast<uint64_t>(sealedLength(0)) || w == 0) {
        return report;
    }
    const QByteArray sealed = readStream(
        colour, {&walk, layout.headSteps, layout.streamSteps(), keys->code.data()}, length);
    if (sealed.isEmpty()) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    QByteArray archive;
    switch (openBytes(sealed, archive, headText(head), keys->seal)) {
    case SealEnd::Done:
        report.status = StealthStatus::Done;
        report.archive = archive;
        break;
    case SealEnd::Damaged:
        report.status = StealthStatus::Damaged;
        break;
    default:
        // The first chunk not opening is all a wrong code ever shows.
        report.status = StealthStatus::NotFound;
        break;
    }
    return report;
}

StealthEmbedReport stealthEmbed(unsigned char* colour, uint32_t width, uint32_t height,
                                const SecretBytes& code, const QByteArray& archive, StrongCost cost,
                                const std::function<void()>& alongside, StealthHeldKey* held) {
    // The writer's own most, before the key's derivation: an archive the wet bytes leave no room
    // for is refused here rather than after every try of the coder.
    if (stealthWidth(static_cast<uint64_t>(sealedLength(archive.size())), width, height) == 0 ||
        archive.size() >
            stealthWriterCapacity(width, height, stealthDryCount(colour, width, height))) {
        StealthEmbedReport tooLarge;
        tooLarge.status = StealthStatus::TooLarge;
        return tooLarge;
    }
    const SealPrelude prelude = freshPrelude(cost);
    std::optional<SecretBytes> key = deriveStrongKey(code, prelude);
    if (!key) {
        StealthEmbedReport noMemory;
        noMemory.status = StealthStatus::NoMemory;
        return noMemory;
    }
    StealthEmbedReport report =
        stealthEmbedWithKey(colour, width, height, *key, prelude.salt, archive);
    // The carrier's original may be wiped once the image is made: it must give the archive back
    // before anyone writes it, and with the key at hand that costs no second derivation. The
    // salt is read back too, since a reader derives the key from it.
    if (report.status == StealthStatus::Done) {
        const uint64_t spoilt = gStealthSpoilBeforeReadBack;
        if (spoilt != 0 && spoilt <= colourBytesOf(width, height)) {
            colour[spoilt - 1] ^= 1;
        }
        std::thread beside;
        if (alongside) {
            try {
                beside = std::thread(alongside);
            } catch (const std::system_error&) {
                alongside(); // no thread to be had: one after the other
            }
        }
        const bool back = readStealthSalt(colour, width, height) == prelude.salt &&
                          stealthExtractWithKey(colour, width, height, *key).archive == archive;
        if (beside.joinable()) {
            beside.join();
        }
        if (!back) {
            report.status = StealthStatus::Failed;
        } else if (held != nullptr) {
            held->key = std::move(key);
            held->salt = prelude.salt;
        }
    }
    return report;
}

StealthExtractReport stealthExtract(const unsigned char* colour, uint32_t width, uint32_t height,
                                    const SecretBytes& code, StrongCost cost) {
    StealthExtractReport report;
    if (streamSteps(width, height) == 0) {
        return report;
    }
    SealPrelude prelude;
    prelude.cost = cost;
    prelude.salt = readStealthSalt(colour, width, height);
    const std::optional<SecretBytes> key = deriveStrongKey(code, prelude);
    if (!key) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    return stealthExtractWithKey(colour, width, height, *key);
}

} // namespace brindmar
