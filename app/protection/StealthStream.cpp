#include "protection/StealthStream.h"

#include "protection/Parallel.h"
#include "protection/StealthColumns.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sodium.h>
#include <vector>

namespace brindmar {

namespace {

// One layer of one pass: the bytes of the stream it carries and where.
struct Layer {
    uint64_t from = 0; // walk steps
    uint64_t steps = 0;
    uint64_t firstByte = 0; // of the stream
    uint64_t bytes = 0;
    int plane = 0;      // 1: the bit-1 layer, embedded first; 0: the low-bit layer
    uint32_t width = 0; // trellis columns per bit
    size_t codeSkip = 0;

    uint64_t bits() const { return bytes * 8; }
    uint64_t columns() const { return bits() * width; }
};

// The layers in stream order. Each takes its code from its own stretch of the code key's
// keystream, kMostLayerWidth bytes apart.
std::vector<Layer> layersOf(uint64_t from, uint64_t steps, uint64_t length) {
    std::vector<Layer> layers;
    for (uint64_t p = 0; p < kStreamPasses; ++p) {
        const uint64_t passFrom = from + steps * p / kStreamPasses;
        const uint64_t passSteps = from + steps * (p + 1) / kStreamPasses - passFrom;
        const uint64_t first = length * p / kStreamPasses;
        const uint64_t bytes = length * (p + 1) / kStreamPasses - first;
        const uint64_t two = (bytes + 1) / 2;
        for (const auto& [at, count, plane] :
             {std::array<uint64_t, 3>{first, two, 1},
              std::array<uint64_t, 3>{first + two, bytes - two, 0}}) {
            Layer layer{passFrom,
                        passSteps,
                        at,
                        count,
                        static_cast<int>(plane),
                        0,
                        kMostLayerWidth * layers.size()};
            layer.width = count == 0 ? 0
                                     : static_cast<uint32_t>(std::min<uint64_t>(
                                           passSteps / layer.bits(), kMostLayerWidth));
            layers.push_back(layer);
        }
    }
    return layers;
}

constexpr uint16_t kWetPacked = 0x7f80;

float costOf(uint16_t packed) {
    const uint32_t bits = uint32_t{packed & 0x7fffu} << 16u;
    float cost = 0;
    std::memcpy(&cost, &bits, sizeof cost);
    return cost;
}

// The way a change of x goes in a layer: the bit-1 layer's changes flip bit 1 (up from an odd
// value, down from an even one), the low-bit layer's keep it.
int directionOf(unsigned char x, int plane) {
    return ((x & 1) != 0) == (plane == 1) ? 1 : -1;
}

// Neighbours' leanings: a colour byte and the sum of the directions of the changes next to it.
struct Lean {
    uint32_t byte;
    int32_t sum;
};

class Coupling {
public:
    Coupling(uint32_t width, uint32_t height) : m_row(uint64_t{width} * 3), m_height(height) {}

    // A change at byte b in direction d leans the pixel's other channels and the four nearest
    // bytes of its channel the same way.
    void changed(uint32_t b, int d) {
        const uint64_t x = b % m_row;
        const uint64_t y = b / m_row;
        const uint64_t channel = x % 3;
        for (uint64_t c = 0; c < 3; ++c) {
            if (c != channel) {
                m_raw.push_back({static_cast<uint32_t>(b - channel + c), d});
            }
        }
        if (x >= 3) {
            m_raw.push_back({b - 3, d});
        }
        if (x + 3 < m_row) {
            m_raw.push_back({b + 3, d});
        }
        if (y > 0) {
            m_raw.push_back({static_cast<uint32_t>(b - m_row), d});
        }
        if (y + 1 < m_height) {
            m_raw.push_back({static_cast<uint32_t>(b + m_row), d});
        }
    }

    // Lowers, by the factor, the price of every leaning byte whose change in this layer would go
    // its way; restore() undoes it.
    void lower(const unsigned char* colour, uint16_t* packed, int plane, float factor) {
        // Only the leanings added since the last layer are sorted, then merged in and summed
        // per byte: the list grows by a few per change, layer after layer.
        const auto byByte = [](const Lean& a, const Lean& b) { return a.byte < b.byte; };
        const auto fresh = m_raw.begin() + static_cast<std::ptrdiff_t>(m_sorted);
        std::sort(fresh, m_raw.end(), byByte);
        std::inplace_merge(m_raw.begin(), fresh, m_raw.end(), byByte);
        size_t kept = 0;
        for (size_t i = 0; i < m_raw.size(); ++i) {
            if (kept != 0 && m_raw[kept - 1].byte == m_raw[i].byte) {
                m_raw[kept - 1].sum += m_raw[i].sum;
            } else {
                m_raw[kept++] = m_raw[i];
            }
        }
        m_raw.resize(kept);
        m_sorted = kept;
        m_saved.clear();
        for (const Lean& lean : m_raw) {
            const uint32_t b = lean.byte;
            const int32_t sum = lean.sum;
            const uint16_t was = packed[b];
            if (sum == 0 || (was & 0x7fffu) >= kWetPacked ||
                (sum > 0) != (directionOf(colour[b], plane) > 0)) {
                continue;
            }
            m_saved.push_back({b, was});
            packed[b] = trellisColumn(costOf(was) / factor, (was & 0x8000u) != 0);
        }
    }
    void restore(uint16_t* packed) const {
        for (const Lean& s : m_saved) {
            packed[s.byte] = static_cast<uint16_t>(s.sum);
        }
    }

private:
    uint64_t m_row;
    uint32_t m_height;
    std::vector<Lean> m_raw; // sorted by byte up to m_sorted, one entry a byte there
    size_t m_sorted = 0;
    std::vector<Lean> m_saved; // the prices lowered, as they were
};

bool setPlane(const unsigned char* colour, uint16_t* packed, uint64_t bytes, int plane) {
    constexpr uint64_t kShare = uint64_t{1} << 20;
    return forEachTask((bytes + kShare - 1) / kShare, [&](uint64_t t) {
        const uint64_t end = std::min(bytes, (t + 1) * kShare);
        for (uint64_t i = t * kShare; i < end; ++i) {
            packed[i] =
                static_cast<uint16_t>((packed[i] & 0x7fffu) | ((colour[i] >> plane) & 1u) << 15);
        }
    });
}

ColumnGroups<KeyedWalk> groupsOf(const StreamStretch& stretch, const Layer& layer) {
    return ColumnGroups<KeyedWalk>{stretch.walk, layer.from, layer.steps, layer.columns()};
}

// One layer's search and changes. Changed bytes are made wet and lean their neighbours.
StreamEnd carryLayer(unsigned char* colour, uint16_t* packed, const StreamStretch& stretch,
                     const Layer& layer, const unsigned char* message, Coupling& coupling,
                     uint64_t& changes) {
    const ColumnGroups<KeyedWalk> groups = groupsOf(stretch, layer);
    const TrellisCode code = keystreamCode(layer.width, stretch.codeKey, layer.codeSkip);
    const int plane = layer.plane;
    // The layer's bits go into the prices' top bits first, a sweep along memory, so that the
    // gather in walk order reads one place a byte rather than two.
    if (!setPlane(colour, packed, stretch.walk->size(), plane)) {
        return StreamEnd::NoMemory;
    }
    const auto bitOf = [packed](uint32_t byte) {
        return static_cast<uint16_t>(packed[byte] & 0x8000u);
    };
    const float factor = gStealthSyncFactor;
    if (factor > 1) {
        coupling.lower(colour, packed, plane, factor);
    }
    // Each layer is priced with the costs as they are. The ideal sender's bit-1 layer would
    // price a column of cost c at ln(1 + e^(lc)), l its Lagrange multiplier; measured on
    // photographs, that changed the changes per bit by less than 0.5 %, not worth its time.
    const TrellisFlips flips = trellisEmbed(
        code,
        [&](uint64_t first, size_t count, uint16_t* out, uint32_t* place) {
            gatherColumns(groups, packed, bitOf, first, count, out, place);
        },
        message + layer.firstByte, layer.bits(), columnScale(groups, packed));
    coupling.restore(packed);
    if (!flips.ok) {
        return StreamEnd::NoMemory;
    }
    if (!flips.carried) {
        return StreamEnd::TooLarge;
    }
    for (const uint32_t b : flips.places) {
        const int d = directionOf(colour[b], plane);
        colour[b] = static_cast<unsigned char>(colour[b] + d);
        packed[b] = trellisColumn(kWetCost, false);
        coupling.changed(b, d);
    }
    changes += flips.places.size();
    return StreamEnd::Done;
}

} // namespace

TrellisCode keystreamCode(uint32_t width, const unsigned char* key32, size_t skip) {
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    std::vector<unsigned char> stream(skip + width);
    crypto_stream_xchacha20(stream.data(), stream.size(), zeroNonce, key32);
    TrellisCode code = trellisCode(width, stream.data() + skip);
    sodium_memzero(stream.data(), stream.size());
    return code;
}

bool streamFits(uint64_t steps, uint64_t length, uint32_t least) {
    if (length == 0) {
        return false;
    }
    for (const Layer& layer : layersOf(0, steps, length)) {
        if (layer.bytes != 0 && layer.steps / layer.bits() < least) {
            return false;
        }
    }
    return true;
}

StreamChanges carryStream(unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed,
                          const StreamStretch& stretch, const QByteArray& sealed) {
    StreamChanges result;
    const auto* message = reinterpret_cast<const unsigned char*>(sealed.constData());
    Coupling coupling(width, height);
    try {
        for (const Layer& layer :
             layersOf(stretch.from, stretch.steps, static_cast<uint64_t>(sealed.size()))) {
            if (layer.bytes == 0) {
                continue;
            }
            result.columns += layer.columns();
            result.end =
                carryLayer(colour, packed, stretch, layer, message, coupling, result.changes);
            if (result.end != StreamEnd::Done) {
                return result;
            }
        }
    } catch (const std::bad_alloc&) {
        result.end = StreamEnd::NoMemory;
        return result;
    }
    result.end = StreamEnd::Done;
    return result;
}

QByteArray readStream(const unsigned char* colour, const StreamStretch& stretch, uint32_t length) {
    QByteArray stream(static_cast<qsizetype>(length), '\0');
    for (const Layer& layer : layersOf(stretch.from, stretch.steps, length)) {
        if (layer.bytes == 0) {
            continue;
        }
        const ColumnGroups<KeyedWalk> groups = groupsOf(stretch, layer);
        const std::vector<unsigned char> bits = trellisRead(
            keystreamCode(layer.width, stretch.codeKey, layer.codeSkip),
            [&](uint64_t first, size_t count, uint8_t* out) {
                readColumns(groups, colour, layer.plane, first, count, out);
            },
            layer.bits());
        if (bits.size() != layer.bytes) {
            return {};
        }
        std::memcpy(stream.data() + layer.firstByte, bits.data(), bits.size());
    }
    return stream;
}

} // namespace brindmar
