#include "protection/JpegStealth.h"

#include "protection/JpegAcCoefficients.h"
#include "protection/JpegCost.h"
#include "protection/JpegStealthPublic.h"
#include "protection/KeyedWalk.h"
#include "protection/LargeBuffer.h"
#include "protection/Trellis.h"

#include <algorithm>
#include <limits>
#include <new>
#include <sodium.h>
#include <utility>
#include <vector>

namespace brindmar {

namespace {

constexpr uint32_t kMostWidth = 32;
constexpr uint32_t kLeastWidth = 2;

std::vector<unsigned char> keystream(const std::array<unsigned char, 32>& key, size_t bytes,
                                     unsigned char nonceFirst) {
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {nonceFirst};
    std::vector<unsigned char> stream(bytes);
    crypto_stream_xchacha20(stream.data(), stream.size(), nonce, key.data());
    return stream;
}

// The stream's code takes the code key's keystream under the zero nonce, the head's under the
// nonce 2, 0, ..., 0; the directions of the stream's changes and the head's are the direction
// key's under the nonces 1 and 2.
constexpr unsigned char kStreamNonce = 0;
constexpr unsigned char kHeadNonce = 2;
constexpr unsigned char kStreamDirectionNonce = 1;

// Version 1's salt code (its changes went the direction key's way under the nonce 3, which no
// image takes again).
constexpr unsigned char kSaltCodeNonce = 4;
// From version 2: the tail's code is the code key's keystream under the nonce 5, the salt's the
// public walk key's under the nonce 6.
constexpr unsigned char kTailNonce = 5;
constexpr unsigned char kPublicSaltNonce = 6;

TrellisCode codeFrom(const std::array<unsigned char, 32>& key, uint32_t width,
                     unsigned char nonce) {
    std::vector<unsigned char> words = keystream(key, width, nonce);
    TrellisCode code = trellisCode(width, words.data());
    sodium_memzero(words.data(), words.size());
    return code;
}

TrellisCode codeOf(const JpegStealthKeys& keys, uint32_t width, unsigned char nonce) {
    return codeFrom(keys.code, width, nonce);
}

// Where a code's columns lie: column k is the walk steps from start + floor(k * C / P) up to the
// next column's, C being the code's steps and P its columns, so that a short stream still
// spreads over every coefficient.
struct StreamColumns {
    uint64_t start;
    uint64_t steps;
    uint64_t columns;

    // Both below 2^32: the product fits.
    uint64_t firstStep(uint64_t column) const { return start + column * steps / columns; }
};

// The coefficients a stretch of columns takes, in walk order, and the walk step of the first:
// coefficient at[s - from] is step s. The buffer is the thread's own, reused by the next stretch.
struct Stretch {
    const uint32_t* at;
    uint64_t from;
};

Stretch stretchOf(const KeyedWalk& walk, const StreamColumns& layout, uint64_t first,
                  size_t count) {
    thread_local std::vector<uint32_t> steps;
    const uint64_t from = layout.firstStep(first);
    const uint64_t to = layout.firstStep(first + count);
    steps.resize(static_cast<size_t>(to - from));
    walk.bytesAt(from, static_cast<uint32_t>(to - from), steps.data());
    return {steps.data(), from};
}

// A stretch of columns as the search takes them: each column's cheapest coefficient, its price
// and the parity of the whole column.
void gather(const KeyedWalk& walk, const uint16_t* packed, const StreamColumns& layout,
            uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
    const auto [at, from] = stretchOf(walk, layout, first, count);
    uint64_t s = from;
    for (size_t c = 0; c < count; ++c) {
        const uint64_t end = layout.firstStep(first + c + 1);
        uint16_t cheapest = 0x7fff;
        uint32_t where = at[static_cast<size_t>(s - from)];
        uint16_t parity = 0;
        for (; s < end; ++s) {
            const uint32_t n = at[static_cast<size_t>(s - from)];
            const uint16_t column = packed[n];
            parity ^= column & 0x8000u;
            if ((column & 0x7fffu) < cheapest) {
                cheapest = column & 0x7fffu;
                where = n;
            }
        }
        out[c] = static_cast<uint16_t>(cheapest | parity);
        place[c] = where;
    }
}

// The price of every AC coefficient and its parity, as the search takes columns, by number.
void packCoefficients(const std::vector<JpegComponent>& components, uint16_t* packed) {
    for (const JpegComponent& component : components) {
        const UerdCost cost(component);
        float prices[63];
        for (uint64_t b = 0; b < component.blocks(); ++b, packed += 63) {
            cost.block(b, prices);
            const int16_t* block = component.block(b);
            for (size_t k = 1; k < 64; ++k) {
                packed[k - 1] = trellisColumn(prices[k - 1], (block[k] & 1) != 0);
            }
        }
    }
}

void change(int16_t& v, bool up) {
    if (v >= kMostAcMagnitude) {
        up = false;
    } else if (v <= -kMostAcMagnitude) {
        up = true;
    }
    v = static_cast<int16_t>(up ? v + 1 : v - 1);
}

// Runs the search over columns and makes its changes; the number made, or nothing when memory
// ran out.
std::optional<uint64_t> embedColumns(std::vector<JpegComponent>& components,
                                     const AcCoefficients& ac, const KeyedWalk& walk,
                                     const uint16_t* packed, const StreamColumns& layout,
                                     const TrellisCode& code, const unsigned char* message,
                                     uint64_t bits,
                                     const std::array<unsigned char, 32>& directionKey,
                                     unsigned char directionNonce, bool& carried) {
    constexpr uint64_t kSampled = 1 << 16;
    std::vector<uint16_t> sample(static_cast<size_t>(std::min(kSampled, layout.columns)));
    std::vector<uint32_t> places(sample.size());
    for (uint64_t k = 0; k < sample.size(); k += 1024) {
        const uint64_t first = layout.columns * k / sample.size();
        const auto count = static_cast<size_t>(
            std::min<uint64_t>({1024, sample.size() - k, layout.columns - first}));
        gather(walk, packed, layout, first, count, sample.data() + k, places.data() + k);
    }
    const TrellisFlips flips = trellisEmbed(
        code,
        [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            gather(walk, packed, layout, first, count, out, place);
        },
        message, bits, trellisScale(sample.data(), sample.size()));
    if (!flips.ok) {
        return std::nullopt;
    }
    if (!flips.carried) {
        carried = false;
        return std::nullopt;
    }
    std::vector<unsigned char> up =
        keystream(directionKey, static_cast<size_t>((layout.columns + 7) / 8), directionNonce);
    for (size_t k = 0; k < flips.columns.size(); ++k) {
        const uint64_t j = flips.columns[k];
        change(ac.at(components, flips.places[k]), ((up[j >> 3] >> (j & 7)) & 1) != 0);
    }
    sodium_memzero(up.data(), up.size());
    return flips.columns.size();
}

std::vector<unsigned char> readColumns(const std::vector<JpegComponent>& components,
                                       const AcCoefficients& ac, const KeyedWalk& walk,
                                       const StreamColumns& layout, const TrellisCode& code,
                                       uint64_t bits) {
    return trellisRead(
        code,
        [&](uint64_t first, size_t count, uint8_t* out) {
            const auto [at, from] = stretchOf(walk, layout, first, count);
            uint64_t s = from;
            for (size_t c = 0; c < count; ++c) {
                const uint64_t end = layout.firstStep(first + c + 1);
                int parity = 0;
                for (; s < end; ++s) {
                    parity ^= ac.parity(components, at[static_cast<size_t>(s - from)]);
                }
                out[c] = static_cast<uint8_t>(parity);
            }
        },
        bits);
}

// The salt's columns: the public walk's first steps, one each.
StreamColumns saltColumns() {
    return {0, kJpegSaltSteps, kJpegSaltSteps};
}

// The head's columns are one walk step each, the first kJpegHeadSteps of them.
StreamColumns headColumns() {
    return {0, kJpegHeadSteps, kJpegHeadSteps};
}

std::array<unsigned char, kJpegHeadBits / 8> maskedHead(std::array<unsigned char, 5> head,
                                                        const JpegStealthKeys& keys) {
    std::vector<unsigned char> mask = keystream(keys.head, head.size(), 0);
    for (size_t k = 0; k < head.size(); ++k) {
        head[k] ^= mask[k];
    }
    // Keystream is key material: with the masked head it gives the stream's length away.
    sodium_memzero(mask.data(), mask.size());
    return head;
}

} // namespace

uint64_t jpegAcCount(const JpegCoefficients& jpeg) {
    return AcCoefficients(jpeg.components()).count();
}

uint64_t jpegNonZeroAcCount(const JpegCoefficients& jpeg) {
    uint64_t count = 0;
    for (const JpegComponent& component : jpeg.components()) {
        for (size_t k = 0; k < component.coefficients.size(); ++k) {
            count += k % 64 != 0 && component.coefficients[k] != 0 ? 1 : 0;
        }
    }
    return count;
}

uint32_t jpegStealthWidth(uint64_t streamBytes, uint64_t acCount) {
    if (streamBytes == 0 || streamBytes > std::numeric_limits<uint32_t>::max() ||
        acCount <= kJpegHeadSteps || acCount > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    const uint64_t fits = (acCount - kJpegHeadSteps) / (streamBytes * 8);
    return fits < kLeastWidth ? 0 : static_cast<uint32_t>(std::min<uint64_t>(fits, kMostWidth));
}

uint64_t jpegStealthCapacity(const JpegCoefficients& jpeg) {
    const uint64_t ac = jpegAcCount(jpeg);
    return ac <= kJpegHeadSteps || ac > std::numeric_limits<uint32_t>::max()
               ? 0
               : (ac - kJpegHeadSteps) / kLeastWidth / 8;
}

namespace {

// The code of the salt over the public coefficients.
TrellisCode publicSaltCode(uint64_t acCount) {
    return codeFrom(jpegSaltWalkKey(acCount),
                    jpegPublicWidth(jpegPublicCount(acCount), kJpegSaltBits), kPublicSaltNonce);
}

TrellisCode tailCode(const JpegStealthKeys& keys, uint64_t acCount, uint64_t tail) {
    return codeOf(keys, jpegPublicWidth(jpegPublicCount(acCount), tail * 8), kTailNonce);
}

// With a salt (version 2): the stream's tail and the salt over the public coefficients, which
// are then wet for the head and the rest of the stream over the keyed walk. Without one
// (version 1's layout, for tools): the head and the whole stream alone.
JpegStealthReport embedAll(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                           const QByteArray& stream, const JpegStealthSalt* salt) {
    JpegStealthReport report;
    std::vector<JpegComponent>& components = jpeg.components();
    const AcCoefficients ac(components);
    const auto length = static_cast<uint64_t>(stream.size());
    const bool salted = salt != nullptr && jpegStealthSalted(ac.count());
    const uint64_t tail = salted ? jpegTailBytes(length, ac.count()) : 0;
    const uint64_t own = length - tail; // over the keyed walk
    const uint32_t width = jpegStealthWidth(own, ac.count());
    if (width == 0 || salted != (salt != nullptr) || sodium_init() < 0) {
        report.fits = width != 0;
        return report;
    }
    try {
        const KeyedWalk walk(keys.walk.data(), ac.count(), {});
        LargeBuffer<uint16_t> packing(static_cast<size_t>(ac.count()));
        if (packing.data() == nullptr) {
            return report;
        }
        packCoefficients(components, packing.data());
        uint16_t* packed = packing.data();
        const auto* bytes = reinterpret_cast<const unsigned char*>(stream.constData());
        bool carried = true;
        std::optional<uint64_t> publicChanges = 0;
        if (salted) {
            const JpegPublicPlaces open(ac.count());
            std::vector<uint16_t> prices(open.places.size());
            for (size_t k = 0; k < prices.size(); ++k) {
                prices[k] = packed[open.places[k]];
            }
            if (tail != 0) {
                publicChanges = jpegCarryPublic(components, ac, open, prices.data(),
                                                tailCode(keys, ac.count(), tail), 1, bytes + own,
                                                tail * 8, carried);
            }
            if (publicChanges) {
                const std::optional<uint64_t> saltChanges =
                    jpegCarryPublic(components, ac, open, prices.data(), publicSaltCode(ac.count()),
                                    0, salt->data(), kJpegSaltBits, carried);
                publicChanges =
                    saltChanges ? std::optional(*publicChanges + *saltChanges) : std::nullopt;
            }
            for (const uint32_t n : open.places) {
                packed[n] = trellisColumn(kWetCost, ac.parity(components, n) != 0);
            }
        }
        // The seal bound kJpegStealthVersion in its first chunk before this was called: with a
        // salt, that is what the head says, since a salt that does not fit was refused above.
        std::array<unsigned char, 5> head{salted ? kJpegStealthVersion : kJpegStealthFirstVersion};
        for (size_t k = 0; k < 4; ++k) {
            head[1 + k] = static_cast<unsigned char>(length >> (8 * k));
        }
        const auto masked = maskedHead(head, keys);
        std::optional<uint64_t> headChanges;
        if (publicChanges) {
            headChanges = embedColumns(components, ac, walk, packed, headColumns(),
                                       codeOf(keys, kJpegHeadWidth, kHeadNonce), masked.data(),
                                       kJpegHeadBits, keys.directions, kHeadNonce, carried);
        }
        const uint64_t bits = own * 8;
        const StreamColumns layout{kJpegHeadSteps, ac.count() - kJpegHeadSteps, bits * width};
        std::optional<uint64_t> streamChanges;
        if (headChanges) {
            streamChanges = embedColumns(components, ac, walk, packed, layout,
                                         codeOf(keys, width, kStreamNonce), bytes, bits,
                                         keys.directions, kStreamDirectionNonce, carried);
        }
        report.fits = carried;
        if (!streamChanges) {
            return report;
        }
        report.done = true;
        report.width = width;
        report.changes = *publicChanges + *headChanges + *streamChanges;
        const uint64_t nonZero = jpegNonZeroAcCount(jpeg);
        report.bitsPerNonZeroAc =
            nonZero == 0 ? 0 : static_cast<double>(length * 8) / static_cast<double>(nonZero);
    } catch (const std::bad_alloc&) {
        return report;
    }
    return report;
}

} // namespace

JpegStealthReport jpegStealthEmbed(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                   const QByteArray& stream) {
    return embedAll(jpeg, keys, stream, nullptr);
}

JpegStealthReport jpegStealthEmbed(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                   const QByteArray& stream, const JpegStealthSalt& salt) {
    return embedAll(jpeg, keys, stream, &salt);
}

std::array<unsigned char, 32> jpegSaltWalkKey(uint64_t acCount) {
    static const char kLabel[] = "brindmar jpeg stealth salt";
    unsigned char input[sizeof kLabel - 1 + 4];
    std::copy_n(kLabel, sizeof kLabel - 1, input);
    for (size_t k = 0; k < 4; ++k) {
        input[sizeof kLabel - 1 + k] = static_cast<unsigned char>(acCount >> (8 * k));
    }
    std::array<unsigned char, 32> key{};
    crypto_generichash(key.data(), key.size(), input, sizeof input, nullptr, 0);
    return key;
}

bool jpegStealthSalted(uint64_t acCount) {
    // The walks are keyed permutations, which are defined below 2^31; the opener's largest
    // picture has fewer AC coefficients than that anyway.
    return acCount > kJpegSaltSteps + kJpegHeadSteps + 64 && acCount < (uint64_t{1} << 31);
}

uint64_t jpegSaltedStealthCapacity(const JpegCoefficients& jpeg) {
    const uint64_t ac = jpegAcCount(jpeg);
    return jpegStealthSalted(ac) ? (ac - kJpegHeadSteps - kJpegSaltSteps) / kLeastWidth / 8 : 0;
}

namespace {

JpegStealthSalt readSalt(const JpegCoefficients& jpeg, bool earlier) {
    JpegStealthSalt salt{};
    const AcCoefficients ac(jpeg.components());
    if (!jpegStealthSalted(ac.count()) || sodium_init() < 0) {
        return salt;
    }
    try {
        std::vector<unsigned char> bits;
        if (earlier) {
            const std::array<unsigned char, 32> publicKey = jpegSaltWalkKey(ac.count());
            const KeyedWalk saltWalk(publicKey.data(), ac.count(), {});
            bits = readColumns(jpeg.components(), ac, saltWalk, saltColumns(),
                               codeFrom(publicKey, kJpegSaltWidth, kSaltCodeNonce), kJpegSaltBits);
        } else {
            bits = jpegReadPublic(jpeg.components(), ac, JpegPublicPlaces(ac.count()),
                                  publicSaltCode(ac.count()), 0, kJpegSaltBits);
        }
        std::copy_n(bits.begin(), std::min(salt.size(), bits.size()), salt.begin());
    } catch (const std::bad_alloc&) {
        salt.fill(0);
    }
    return salt;
}

} // namespace

JpegStealthSalt jpegStealthReadSalt(const JpegCoefficients& jpeg) {
    return readSalt(jpeg, false);
}

JpegStealthSalt jpegStealthReadEarlierSalt(const JpegCoefficients& jpeg) {
    return readSalt(jpeg, true);
}

std::optional<QByteArray> jpegStealthRead(const JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                                          uint8_t* version) {
    const AcCoefficients ac(jpeg.components());
    if (ac.count() <= kJpegHeadSteps || ac.count() > std::numeric_limits<uint32_t>::max() ||
        sodium_init() < 0) {
        return std::nullopt;
    }
    try {
        const KeyedWalk walk(keys.walk.data(), ac.count(), {});
        const std::vector<unsigned char> headBits =
            readColumns(jpeg.components(), ac, walk, headColumns(),
                        codeOf(keys, kJpegHeadWidth, kHeadNonce), kJpegHeadBits);
        std::array<unsigned char, 5> head{};
        std::copy_n(headBits.begin(), std::min(head.size(), headBits.size()), head.begin());
        head = maskedHead(head, keys);
        uint64_t length = 0;
        for (size_t k = 4; k > 0; --k) {
            length = length << 8 | head[k];
        }
        const bool tailed = head[0] == kJpegStealthVersion && jpegStealthSalted(ac.count());
        const uint64_t tail = tailed ? jpegTailBytes(length, ac.count()) : 0;
        const uint32_t width = jpegStealthWidth(length - tail, ac.count());
        if ((head[0] != kJpegStealthFirstVersion && !tailed) || width == 0) {
            return std::nullopt;
        }
        const uint64_t bits = (length - tail) * 8;
        std::vector<unsigned char> message =
            readColumns(jpeg.components(), ac, walk,
                        StreamColumns{kJpegHeadSteps, ac.count() - kJpegHeadSteps, bits * width},
                        codeOf(keys, width, kStreamNonce), bits);
        if (message.size() < length - tail) {
            return std::nullopt;
        }
        message.resize(static_cast<size_t>(length - tail));
        if (tail != 0) {
            const std::vector<unsigned char> end =
                jpegReadPublic(jpeg.components(), ac, JpegPublicPlaces(ac.count()),
                               tailCode(keys, ac.count(), tail), 1, tail * 8);
            if (end.size() < tail) {
                return std::nullopt;
            }
            message.insert(message.end(), end.begin(), end.begin() + static_cast<ptrdiff_t>(tail));
        }
        if (version != nullptr) {
            *version = head[0];
        }
        return QByteArray(reinterpret_cast<const char*>(message.data()),
                          static_cast<qsizetype>(length));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace brindmar
