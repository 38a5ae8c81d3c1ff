#include "protection/StealthImage.h"

#include "protection/HillCost.h"
#include "protection/KeyedWalk.h"
#include "protection/LargeBuffer.h"
#include "protection/MatrixCode.h"
#include "protection/Parallel.h"
#include "protection/Trellis.h"

#include <algorithm>
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

constexpr uint64_t kSaltSteps = uint64_t{kSaltPositions};
static_assert(kSaltSteps == (kSaltLength * 8 / kSaltCheckBits) * ((1u << kSaltCheckBits) - 1));
static_assert(kHeadSteps == (kHeadLength * 8 / kHeadCheckBits) * ((1u << kHeadCheckBits) - 1));

uint64_t colourBytesOf(uint32_t width, uint32_t height) {
    return uint64_t{width} * height * 3;
}

// Walk steps left for the sealed stream once the salt and the head have theirs.
uint64_t streamSteps(uint32_t width, uint32_t height) {
    const uint64_t all = colourBytesOf(width, height);
    return all > kSaltSteps + kHeadSteps ? all - kSaltSteps - kHeadSteps : 0;
}

// The longest archive whose seal is at most sealedLimit bytes long.
int64_t archiveFor(uint64_t sealedLimit) {
    sealedLimit = std::min<uint64_t>(sealedLimit, std::numeric_limits<uint32_t>::max());
    if (static_cast<uint64_t>(sealedLength(0)) > sealedLimit) {
        return 0;
    }
    int64_t low = 0;
    auto high = static_cast<int64_t>(sealedLimit);
    while (low < high) {
        const int64_t middle = low + (high - low + 1) / 2;
        if (static_cast<uint64_t>(sealedLength(middle)) <= sealedLimit) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return low;
}

struct Subkeys {
    SecretBytes walk{32};
    SecretBytes seal{32};
    SecretBytes directions{32};
    SecretBytes head{32};
    SecretBytes code{32};
};

std::optional<Subkeys> subkeysOf(const SecretBytes& key) {
    if (sodium_init() < 0 || key.size() != crypto_kdf_KEYBYTES) {
        return std::nullopt;
    }
    Subkeys keys;
    const std::pair<SecretBytes*, StealthSubkey> all[] = {
        {&keys.walk, StealthSubkey::Walk},
        {&keys.seal, StealthSubkey::Seal},
        {&keys.directions, StealthSubkey::Directions},
        {&keys.head, StealthSubkey::Head},
        {&keys.code, StealthSubkey::Code}};
    for (const auto& [into, id] : all) {
        if (!into->valid() ||
            crypto_kdf_derive_from_key(into->data(), into->size(), static_cast<uint64_t>(id),
                                       kStealthKdfContext, key.data()) != 0) {
            return std::nullopt;
        }
    }
    return keys;
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

struct SaltWalk {
    const std::vector<uint64_t>* positions;
    uint64_t operator()(uint64_t step) const { return (*positions)[static_cast<size_t>(step)]; }
};

// The trellis code of a stream: its submatrix is the code subkey's XChaCha20 keystream (all-zero
// nonce), one byte a column.
TrellisCode streamCode(uint32_t width, const SecretBytes& codeKey) {
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    std::vector<unsigned char> stream(width);
    crypto_stream_xchacha20(stream.data(), stream.size(), zeroNonce, codeKey.data());
    TrellisCode code = trellisCode(width, stream.data());
    sodium_memzero(stream.data(), stream.size());
    return code;
}

// The picture is swept in strips of rows, each on its own, so that cores can share the work.
constexpr uint32_t kStripRows = 128;

// Every colour byte's price and low bit packed as the trellis search takes them, in picture
// order: strip by strip, each row packed as soon as its HILL costs are out.
bool packBytes(const unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed) {
    const uint64_t row = uint64_t{width} * 3;
    const uint64_t strips = (uint64_t{height} + kStripRows - 1) / kStripRows;
    return forEachTask(strips, [&](uint64_t g) {
        const auto first = static_cast<uint32_t>(g * kStripRows);
        const uint32_t end = std::min<uint32_t>(height, first + kStripRows);
        HillCost(colour, width, height).eachRow(first, end, [&](uint32_t y, const float* costs) {
            const unsigned char* bytes = colour + y * row;
            uint16_t* out = packed + y * row;
            for (size_t i = 0; i < row; ++i) {
                out[i] = trellisColumn(costs[i], (bytes[i] & 1) != 0);
            }
        });
    });
}

// The stream's walk steps shared out among the trellis columns as evenly as whole steps allow:
// column k takes steps [start(k), start(k + 1)) after the head, start(k) = floor(k * steps /
// columns). Every step belongs to a column, so the whole picture carries the stream whatever its
// length, and a column's bit is the XOR of its bytes' low bits.
struct ColumnGroups {
    const KeyedWalk* walk;
    uint64_t steps;
    uint64_t columns;

    uint64_t start(uint64_t column) const { return column * steps / columns; }

    // For the columns [first, first + count) in turn: byte(b) for each of its colour bytes in
    // walk order, then end(c), c counted from first. The columns' bounds are carried along
    // rather than each divided out.
    template <class Byte, class End>
    void bytesOf(uint64_t first, uint64_t count, Byte&& byte, End&& end) const {
        constexpr uint32_t kBatch = 4096;
        thread_local std::vector<uint32_t> bytes(kBatch);
        // Plain copies: the callers' stores could otherwise be taken to change them.
        const uint64_t all = columns;
        const uint64_t less = steps / all;
        const uint64_t more = steps % all;
        const uint64_t begin = start(first);
        const uint64_t last = start(first + count);
        uint64_t carry = first * more % all;
        uint64_t c = 0;
        uint64_t next = begin;
        uint32_t* batch = bytes.data();
        for (uint64_t step = begin; step < last;) {
            const auto n = static_cast<uint32_t>(std::min<uint64_t>(kBatch, last - step));
            walk->bytesAt(kHeadSteps + step, n, batch);
            for (uint32_t k = 0; k < n; ++k, ++step) {
                if (step == next) { // every column has a byte at least
                    if (step != begin) {
                        end(c++);
                    }
                    next += less + (carry + more >= all ? 1 : 0);
                    carry = carry + more >= all ? carry + more - all : carry + more;
                }
                byte(batch[k]);
            }
        }
        if (count != 0) {
            end(c);
        }
    }

    // Columns of one or two colour bytes: where the stream takes more than a thirty-second of
    // the picture, as at all but the lowest rates. one(c, byte) or two(c, first, second) for
    // each column in turn, with no test per byte.
    bool singlesOrPairs() const { return steps / columns == 1; }
    template <class One, class Two>
    void singlesOf(uint64_t first, uint64_t count, One&& one, Two&& two) const {
        constexpr uint32_t kBatch = 4096;
        thread_local std::vector<uint32_t> bytes(kBatch);
        const uint64_t all = columns;
        const uint64_t more = steps % all;
        const uint64_t last = start(first + count);
        uint64_t step = start(first); // batch[at]'s
        uint64_t carry = first * more % all;
        uint32_t* batch = bytes.data();
        uint32_t filled = 0;
        uint32_t at = 0;
        for (uint64_t c = 0; c < count; ++c) {
            const bool pair = carry + more >= all;
            carry = pair ? carry + more - all : carry + more;
            if (at + 2 > filled) { // the byte left, if any, then the next stretch
                const uint32_t kept = filled - at;
                if (kept != 0) {
                    batch[0] = batch[at];
                }
                const auto n =
                    static_cast<uint32_t>(std::min<uint64_t>(kBatch - kept, last - step - kept));
                walk->bytesAt(kHeadSteps + step + kept, n, batch + kept);
                filled = kept + n;
                at = 0;
            }
            if (pair) {
                two(c, batch[at], batch[at + 1]);
                at += 2;
                step += 2;
            } else {
                one(c, batch[at]);
                at += 1;
                step += 1;
            }
        }
    }
};

// The walk comes back to a slice's next bytes a pass later, one slice among hundreds: too many
// streams for the processor to foresee, and too few misses among the steps for it to overlap,
// so each slice's next line is asked for now: one ahead, since 256 slices' lines and those
// ahead of them must fit in the nearest cache together. Prefetching never faults.
template <class T> void aheadInSlice(const T* at) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(at) + 64));
}

// A column's price is its cheapest byte's, and its low bit the XOR of its bytes'; a change of it
// goes to that cheapest byte (the first of equals).
void gatherColumns(const ColumnGroups& groups, const uint16_t* packed, uint64_t first, size_t count,
                   uint16_t* out, uint32_t* place) {
    if (groups.singlesOrPairs()) {
        groups.singlesOf(
            first, count,
            [&](uint64_t c, uint32_t byte) {
                aheadInSlice(packed + byte);
                out[c] = packed[byte];
                place[c] = byte;
            },
            [&](uint64_t c, uint32_t one, uint32_t two) {
                aheadInSlice(packed + one);
                aheadInSlice(packed + two);
                const uint16_t a = packed[one];
                const uint16_t b = packed[two];
                const bool second = (b & 0x7fffu) < (a & 0x7fffu);
                out[c] = static_cast<uint16_t>(((a ^ b) & 0x8000u) | ((second ? b : a) & 0x7fffu));
                place[c] = second ? two : one;
            });
        return;
    }
    constexpr uint16_t kNone = 0x7fff; // dearer than any price, low bit 0
    uint16_t column = kNone;
    uint32_t cheapest = 0;
    groups.bytesOf(
        first, count,
        [&](uint32_t byte) {
            aheadInSlice(packed + byte);
            const uint16_t v = packed[byte];
            const auto cost = static_cast<uint16_t>(v & 0x7fffu);
            cheapest = cost < (column & 0x7fffu) ? byte : cheapest;
            column = static_cast<uint16_t>(((column ^ v) & 0x8000u) |
                                           std::min<uint16_t>(column & 0x7fffu, cost));
        },
        [&](uint64_t c) {
            out[c] = column;
            place[c] = cheapest;
            column = kNone;
        });
}

// The search's prices are scaled by what the columns cost, read off 64 stretches spread along
// them: prices of groups of several bytes are their cheapest byte's, lower than a byte's.
float columnScale(const ColumnGroups& groups, const uint16_t* packed) {
    constexpr uint64_t kStretches = 64;
    constexpr uint64_t kStretch = 1024;
    std::vector<uint16_t> sample;
    for (uint64_t t = 0; t < kStretches; ++t) {
        const uint64_t first = groups.columns * t / kStretches;
        const auto count = static_cast<size_t>(std::min(kStretch, groups.columns - first));
        const size_t at = sample.size();
        sample.resize(at + count);
        thread_local std::vector<uint32_t> places;
        places.resize(count);
        gatherColumns(groups, packed, first, count, sample.data() + at, places.data());
    }
    return trellisScale(sample.data(), sample.size());
}

// The stream's changes take their directions by column: bit j of the XChaCha20 keystream of the
// direction key under the nonce 1, 0, ..., 0 for column j. Each change is its own byte, so the
// changes can be shared among threads. Returns the number of changes, or nothing when memory
// ran out.
std::optional<uint64_t> changeColumns(unsigned char* colour, uint64_t columns,
                                      const TrellisFlips& flips, const SecretBytes& directionKey) {
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {1};
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

} // namespace

uint32_t stealthWidth(uint64_t sealedLength, uint32_t width, uint32_t height) {
    if (sealedLength == 0 || sealedLength > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    const uint64_t fits = streamSteps(width, height) / (sealedLength * 8);
    return fits < kLeastWidth ? 0 : static_cast<uint32_t>(std::min<uint64_t>(fits, kMostWidth));
}

int64_t stealthCapacity(uint32_t width, uint32_t height) {
    return archiveFor(streamSteps(width, height) / kLeastWidth / 8);
}

int64_t stealthRecommendedCapacity(uint32_t width, uint32_t height) {
    const auto recommended = static_cast<uint64_t>(
        kStealthRecommendedRate * static_cast<double>(colourBytesOf(width, height)) / 8);
    return std::min(stealthCapacity(width, height), archiveFor(recommended));
}

StealthSalt readStealthSalt(const unsigned char* colour, uint32_t width, uint32_t height) {
    StealthSalt salt{};
    const std::vector<uint64_t> positions = saltPositions(width, height);
    if (positions.empty()) {
        return salt;
    }
    const std::vector<unsigned char> bits =
        HammingCoder(kSaltCheckBits).extract(colour, SaltWalk{&positions}, 0, kSaltLength * 8);
    std::copy(bits.begin(), bits.end(), salt.begin());
    return salt;
}

StealthEmbedReport stealthEmbedWithKey(unsigned char* colour, uint32_t width, uint32_t height,
                                       const SecretBytes& key, const StealthSalt& salt,
                                       const QByteArray& archive) {
    StealthEmbedReport report;
    const int64_t sealedBytes = sealedLength(archive.size());
    const uint32_t w = stealthWidth(static_cast<uint64_t>(sealedBytes), width, height);
    if (w == 0) {
        report.status = StealthStatus::TooLarge;
        return report;
    }
    std::optional<Subkeys> keys = subkeysOf(key);
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
    const uint64_t bits = static_cast<uint64_t>(sealedBytes) * 8;
    const TrellisCode code = streamCode(w, keys->code);
    const uint64_t colourBytes = colourBytesOf(width, height);
    const std::vector<uint64_t> saltAt = saltPositions(width, height);
    const KeyedWalk walk(keys->walk.data(), colourBytes, saltAt);
    const ColumnGroups groups{&walk, streamSteps(width, height), bits * w};
    LargeBuffer<uint16_t> packed(static_cast<size_t>(colourBytes));
    if (packed.failed()) {
        report.status = StealthStatus::NoMemory;
        return report;
    }

    ChangeDirections directions(keys->directions.data());
    HammingCoder saltCoder(kSaltCheckBits);
    saltCoder.embed(colour, SaltWalk{&saltAt}, 0, salt.data(), kSaltLength * 8, directions);
    const std::array<unsigned char, kHeadLength> masked = maskHead(head, keys->head);
    HammingCoder headCoder(kHeadCheckBits);
    headCoder.embed(colour, walk, 0, masked.data(), kHeadLength * 8, directions);

    // The costs are those of the picture as the salt and the head left it; the reader never
    // needs them.
    if (!packBytes(colour, width, height, packed.data())) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    const TrellisFlips flips = trellisEmbed(
        code,
        [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            gatherColumns(groups, packed.data(), first, count, out, place);
        },
        reinterpret_cast<const unsigned char*>(sealed.constData()), bits,
        columnScale(groups, packed.data()));
    if (!flips.ok) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    const std::optional<uint64_t> streamChanges =
        changeColumns(colour, groups.columns, flips, keys->directions);
    if (!streamChanges) {
        report.status = StealthStatus::NoMemory;
        return report;
    }

    report.status = StealthStatus::Done;
    report.width = w;
    report.changes = directions.made() + *streamChanges;
    report.mostChanges = saltCoder.blocksFor(kSaltLength * 8) +
                         headCoder.blocksFor(kHeadLength * 8) + groups.columns;
    return report;
}

StealthExtractReport stealthExtractWithKey(const unsigned char* colour, uint32_t width,
                                           uint32_t height, const SecretBytes& key) {
    StealthExtractReport report;
    std::optional<Subkeys> keys = subkeysOf(key);
    const std::vector<uint64_t> saltAt = saltPositions(width, height);
    if (!keys || saltAt.empty() || streamSteps(width, height) == 0) {
        return report;
    }
    const KeyedWalk walk(keys->walk.data(), colourBytesOf(width, height), saltAt);
    const std::vector<unsigned char> maskedBits =
        HammingCoder(kHeadCheckBits).extract(colour, walk, 0, kHeadLength * 8);
    std::array<unsigned char, kHeadLength> head{};
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
    const uint64_t bits = uint64_t{length} * 8;
    const TrellisCode code = streamCode(w, keys->code);
    const ColumnGroups groups{&walk, streamSteps(width, height), bits * w};
    const std::vector<unsigned char> message = trellisRead(
        code,
        [&](uint64_t first, size_t count, uint8_t* out) {
            if (groups.singlesOrPairs()) {
                // Taken by value: stores of bytes could otherwise be taken to change them.
                const unsigned char* const picture = colour;
                groups.singlesOf(
                    first, count,
                    [picture, out](uint64_t c, uint32_t byte) {
                        aheadInSlice(picture + byte);
                        out[c] = picture[byte] & 1;
                    },
                    [picture, out](uint64_t c, uint32_t one, uint32_t two) {
                        aheadInSlice(picture + one);
                        aheadInSlice(picture + two);
                        out[c] = (picture[one] ^ picture[two]) & 1;
                    });
                return;
            }
            uint8_t low = 0;
            groups.bytesOf(
                first, count,
                [&](uint32_t byte) {
                    aheadInSlice(colour + byte);
                    low ^= colour[byte] & 1;
                },
                [&](uint64_t c) {
                    out[c] = low;
                    low = 0;
                });
        },
        bits);
    if (message.empty()) {
        report.status = StealthStatus::NoMemory;
        return report;
    }
    QByteArray sealed(reinterpret_cast<const char*>(message.data()),
                      static_cast<qsizetype>(message.size()));
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
                                const std::function<void()>& alongside) {
    if (stealthWidth(static_cast<uint64_t>(sealedLength(archive.size())), width, height) == 0) {
        StealthEmbedReport tooLarge;
        tooLarge.status = StealthStatus::TooLarge;
        return tooLarge;
    }
    const SealPrelude prelude = freshPrelude(cost);
    const std::optional<SecretBytes> key = deriveStrongKey(code, prelude);
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
