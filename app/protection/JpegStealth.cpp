#include "protection/JpegStealth.h"

#include "protection/JpegCost.h"
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

// The walk's AC coefficients by number: component after component, each block's 63 in turn.
class AcCoefficients {
public:
    explicit AcCoefficients(const std::vector<JpegComponent>& components) {
        uint64_t first = 0;
        for (const JpegComponent& component : components) {
            m_first.push_back(first);
            first += component.blocks() * 63;
        }
        m_first.push_back(first);
    }

    uint64_t count() const { return m_first.back(); }
    int16_t& at(std::vector<JpegComponent>& components, uint64_t n) const {
        const auto [c, k] = locate(n);
        return components[c].coefficients[k];
    }
    int parity(const std::vector<JpegComponent>& components, uint64_t n) const {
        const auto [c, k] = locate(n);
        return components[c].coefficients[k] & 1;
    }

private:
    // The component and the place within its coefficients, DC ones included.
    std::pair<size_t, size_t> locate(uint64_t n) const {
        size_t c = 0;
        while (n >= m_first[c + 1]) {
            ++c;
        }
        const uint64_t within = n - m_first[c];
        return {c, static_cast<size_t>(within / 63 * 64 + within % 63 + 1)};
    }

    std::vector<uint64_t> m_first;
};

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

constexpr unsigned char kSaltDirectionNonce = 3;
constexpr unsigned char kSaltCodeNonce = 4;

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

// The salt, when given, over the public walk; then the head and the stream over the keyed one,
// the salt's coefficients wet for them.
JpegStealthReport embedAll(JpegCoefficients& jpeg, const JpegStealthKeys& keys,
                           const QByteArray& stream, const JpegStealthSalt* salt) {
    JpegStealthReport report;
    std::vector<JpegComponent>& components = jpeg.components();
    const AcCoefficients ac(components);
    const auto length = static_cast<uint64_t>(stream.size());
    const uint32_t width = jpegStealthWidth(length, ac.count());
    if (width == 0 || (salt != nullptr && !jpegStealthSalted(ac.count())) || sodium_init() < 0) {
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
        bool carried = true;
        std::optional<uint64_t> saltChanges = 0;
        if (salt != nullptr) {
            const std::array<unsigned char, 32> publicKey = jpegSaltWalkKey(ac.count());
            const KeyedWalk saltWalk(publicKey.data(), ac.count(), {});
            saltChanges =
                embedColumns(components, ac, saltWalk, packed, saltColumns(),
                             codeFrom(publicKey, kJpegSaltWidth, kSaltCodeNonce), salt->data(),
                             kJpegSaltBits, keys.directions, kSaltDirectionNonce, carried);
            std::vector<uint32_t> places(kJpegSaltSteps);
            saltWalk.bytesAt(0, static_cast<uint32_t>(kJpegSaltSteps), places.data());
            for (const uint32_t n : places) {
                packed[n] = trellisColumn(kWetCost, ac.parity(components, n) != 0);
            }
        }
        std::array<unsigned char, 5> head{kJpegStealthVersion};
        for (size_t k = 0; k < 4; ++k) {
            head[1 + k] = static_cast<unsigned char>(length >> (8 * k));
        }
        const auto masked = maskedHead(head, keys);
        std::optional<uint64_t> headChanges;
        if (saltChanges) {
            headChanges = embedColumns(components, ac, walk, packed, headColumns(),
                                       codeOf(keys, kJpegHeadWidth, kHeadNonce), masked.data(),
                                       kJpegHeadBits, keys.directions, kHeadNonce, carried);
        }
        const uint64_t bits = length * 8;
        const StreamColumns layout{kJpegHeadSteps, ac.count() - kJpegHeadSteps, bits * width};
        std::optional<uint64_t> streamChanges;
        if (headChanges) {
            streamChanges = embedColumns(components, ac, walk, packed, layout,
                                         codeOf(keys, width, kStreamNonce),
                                         reinterpret_cast<const unsigned char*>(stream.constData()),
                                         bits, keys.directions, kStreamDirectionNonce, carried);
        }
        report.fits = carried;
        if (!streamChanges) {
            return report;
        }
        report.done = true;
        report.width = width;
        report.changes = *saltChanges + *headChanges + *streamChanges;
        const uint64_t nonZero = jpegNonZeroAcCount(jpeg);
        report.bitsPerNonZeroAc =
            nonZero == 0 ? 0 : static_cast<double>(bits) / static_cast<double>(nonZero);
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

JpegStealthSalt jpegStealthReadSalt(const JpegCoefficients& jpeg) {
    JpegStealthSalt salt{};
    const AcCoefficients ac(jpeg.components());
    if (!jpegStealthSalted(ac.count()) || sodium_init() < 0) {
        return salt;
    }
    try {
        const std::array<unsigned char, 32> publicKey = jpegSaltWalkKey(ac.count());
        const KeyedWalk saltWalk(publicKey.data(), ac.count(), {});
        const std::vector<unsigned char> bits =
            readColumns(jpeg.components(), ac, saltWalk, saltColumns(),
                        codeFrom(publicKey, kJpegSaltWidth, kSaltCodeNonce), kJpegSaltBits);
        std::copy_n(bits.begin(), std::min(salt.size(), bits.size()), salt.begin());
    } catch (const std::bad_alloc&) {
        salt.fill(0);
    }
    return salt;
}

std::optional<QByteArray> jpegStealthRead(const JpegCoefficients& jpeg,
                                          const JpegStealthKeys& keys) {
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
        const uint32_t width = jpegStealthWidth(length, ac.count());
        if (head[0] != kJpegStealthVersion || width == 0) {
            return std::nullopt;
        }
        const uint64_t bits = length * 8;
        const std::vector<unsigned char> message =
            readColumns(jpeg.components(), ac, walk,
                        StreamColumns{kJpegHeadSteps, ac.count() - kJpegHeadSteps, bits * width},
                        codeOf(keys, width, kStreamNonce), bits);
        if (message.size() < length) {
            return std::nullopt;
        }
        return QByteArray(reinterpret_cast<const char*>(message.data()),
                          static_cast<qsizetype>(length));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace brindmar
