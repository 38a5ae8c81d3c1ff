#include "protection/StealthStream.h"

#include "protection/LargeBuffer.h"
#include "protection/Parallel.h"
#include "protection/StealthColumns.h"
#include "protection/WideTargets.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <new>
#include <sodium.h>
#include <vector>

namespace brindmar {

namespace {

using Layer = StreamLayer;

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

BRINDMAR_WIDE void planeBits(const unsigned char* colour, uint16_t* packed, uint64_t n, int plane) {
    for (uint64_t i = 0; i < n; ++i) {
        packed[i] =
            static_cast<uint16_t>((packed[i] & 0x7fffu) | ((colour[i] >> plane) & 1u) << 15);
    }
}

// 1 for each byte whose price the coupling lowers in this layer: one that leans (sum, a signed
// byte, not 0), dry, and whose change would go the way it leans (up for a positive sum).
BRINDMAR_WIDE void leaningBytes(const unsigned char* colour, const uint16_t* packed,
                                const uint8_t* sums, uint64_t n, int plane, uint8_t* out) {
    const unsigned upFromEven = plane == 1 ? 0 : 1; // directionOf's, as a bit
    for (uint64_t k = 0; k < n; ++k) {
        const unsigned sum = sums[k];
        const unsigned up = (colour[k] & 1u) ^ upFromEven;
        const unsigned dry = (packed[k] & 0x7fffu) < kWetPacked ? 1 : 0;
        out[k] = static_cast<uint8_t>((sum != 0) & dry & ((sum < 128 ? 1u : 0u) == up));
    }
}

// A byte whose price was lowered, and its price as it was.
struct Saved {
    uint32_t byte;
    uint16_t was;
};

class Coupling {
public:
    // One sum a colour byte, kept in a signed byte: a byte has six neighbours at most, each
    // changed once at most, since a change makes its byte wet. The walk keeps a picture's colour
    // bytes below 2^31, so a row's fit 32 bits.
    Coupling(uint32_t width, uint32_t height)
        : m_row(uint64_t{width} * 3), m_row32(static_cast<uint32_t>(m_row)), m_height(height),
          m_sums(static_cast<size_t>(m_row * height)),
          m_leaning(static_cast<size_t>((m_row * height + kBlock - 1) / kBlock)) {}
    bool failed() const { return m_sums.failed(); }

    // A change at byte b in direction d leans the pixel's other channels and the four nearest
    // bytes of its channel the same way.
    void changed(uint32_t b, int d) {
        const uint32_t x = b % m_row32;
        const uint32_t y = b / m_row32;
        const uint32_t channel = x % 3;
        for (uint64_t c = 0; c < 3; ++c) {
            if (c != channel) {
                lean(static_cast<uint32_t>(b - channel + c), d);
            }
        }
        if (x >= 3) {
            lean(b - 3, d);
        }
        if (x + 3 < m_row) {
            lean(b + 3, d);
        }
        if (y > 0) {
            lean(static_cast<uint32_t>(b - m_row), d);
        }
        if (y + 1 < m_height) {
            lean(static_cast<uint32_t>(b + m_row), d);
        }
    }

    // Puts the layer's bits into the prices' top bits, a sweep along memory, so that the gather
    // in walk order reads one place a byte rather than two; and, when the factor is above 1,
    // lowers by it the price of every leaning byte whose change in this layer would go its way,
    // which restore() undoes. One sweep for both, shared among threads: each byte is its own,
    // and a block with no leaning is only given its bits.
    bool setPlane(const unsigned char* colour, uint16_t* packed, int plane, float factor) {
        const uint64_t all = m_row * m_height;
        const uint64_t tasks = (all + kShare - 1) / kShare;
        m_saved.resize(static_cast<size_t>(tasks));
        const uint8_t* sums = m_sums.data();
        const bool lowering = factor > 1;
        return forEachTask(tasks, [&](uint64_t t) {
            std::vector<Saved>& saved = m_saved[static_cast<size_t>(t)];
            saved.clear();
            const uint64_t end = std::min(all, (t + 1) * kShare);
            for (uint64_t from = t * kShare; from < end; from += kBlock) {
                const uint64_t to = std::min(end, from + kBlock);
                planeBits(colour + from, packed + from, to - from, plane);
                if (lowering && m_leaning[static_cast<size_t>(from / kBlock)] != 0) {
                    lowerIn(colour, packed, sums, from, to, plane, factor, saved);
                }
            }
        });
    }
    // By the sweep's tasks, each over its own bytes, on every core as the sweep was.
    bool restore(uint16_t* packed) const {
        return forEachTask(m_saved.size(), [&](uint64_t t) {
            for (const Saved& s : m_saved[static_cast<size_t>(t)]) {
                packed[s.byte] = s.was;
            }
        });
    }

private:
    static constexpr uint64_t kShare = uint64_t{1} << 20;
    static constexpr uint64_t kBlock = 64;

    // The leaning bytes of a block are found first with no branch, which the compiler runs many
    // bytes a vector; only those are then lowered one by one.
    static void lowerIn(const unsigned char* colour, uint16_t* packed, const uint8_t* sums,
                        uint64_t from, uint64_t to, int plane, float factor,
                        std::vector<Saved>& saved) {
        uint8_t lowered[kBlock];
        const uint64_t n = to - from;
        leaningBytes(colour + from, packed + from, sums + from, n, plane, lowered);
        for (uint64_t k = 0; k < n; ++k) {
            if (lowered[k] != 0) {
                const uint64_t b = from + k;
                const uint16_t was = packed[b];
                saved.push_back({static_cast<uint32_t>(b), was});
                packed[b] = trellisColumn(costOf(was) / factor, (was & 0x8000u) != 0);
            }
        }
    }
    // Changes are shared among threads, and neighbours' leanings meet in one sum: the adds are
    // atomic, and their order does not matter.
    void lean(uint32_t b, int d) {
        std::atomic_ref<uint8_t>(m_sums[b]).fetch_add(static_cast<uint8_t>(d),
                                                      std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(m_leaning[b / kBlock]).store(1, std::memory_order_relaxed);
    }

    uint64_t m_row;
    uint32_t m_row32;
    uint32_t m_height;
    LargeBuffer<uint8_t> m_sums;
    // 1 for each block of kBlock bytes a change has leaned into, so that the sweeps pass the
    // others by without reading their sums (nor faulting in the pages of sums never leaned).
    std::vector<uint8_t> m_leaning;
    std::vector<std::vector<Saved>> m_saved; // the prices lowered, as they were, by task
};

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
    if (!coupling.setPlane(colour, packed, plane, gStealthSyncFactor)) {
        return StreamEnd::NoMemory;
    }
    const auto bitOf = [packed](uint32_t byte) {
        return static_cast<uint16_t>(packed[byte] & 0x8000u);
    };
    // Each layer is priced with the costs as they are. The ideal sender's bit-1 layer would
    // price a column of cost c at ln(1 + e^(lc)), l its Lagrange multiplier; measured on
    // photographs, that changed the changes per bit by less than 0.5 %, not worth its time.
    const TrellisFlips flips =
        searchColumns(groups, packed, bitOf, code, message + layer.firstByte, layer.bits());
    if (!coupling.restore(packed) || !flips.ok) {
        return StreamEnd::NoMemory;
    }
    if (!flips.carried) {
        return StreamEnd::TooLarge;
    }
    // Each change is its own byte, so the changes are shared among threads.
    constexpr size_t kShare = size_t{1} << 14;
    const size_t all = flips.places.size();
    if (!forEachTask((all + kShare - 1) / kShare, [&](uint64_t t) {
            const size_t end = std::min(all, static_cast<size_t>((t + 1) * kShare));
            for (auto k = static_cast<size_t>(t * kShare); k < end; ++k) {
                const uint32_t b = flips.places[k];
                const int d = directionOf(colour[b], plane);
                colour[b] = static_cast<unsigned char>(colour[b] + d);
                packed[b] = trellisColumn(kWetCost, false);
                coupling.changed(b, d);
            }
        })) {
        return StreamEnd::NoMemory;
    }
    changes += all;
    return StreamEnd::Done;
}

} // namespace

std::vector<StreamLayer> streamLayers(uint64_t from, uint64_t steps, uint64_t length) {
    std::vector<StreamLayer> layers;
    for (uint64_t p = 0; p < kStreamPasses; ++p) {
        const uint64_t passFrom = from + steps * p / kStreamPasses;
        const uint64_t passSteps = from + steps * (p + 1) / kStreamPasses - passFrom;
        const uint64_t first = length * p / kStreamPasses;
        const uint64_t bytes = length * (p + 1) / kStreamPasses - first;
        const uint64_t two = (bytes + 1) / 2;
        for (const auto& [at, count, plane] :
             {std::array<uint64_t, 3>{first, two, 1},
              std::array<uint64_t, 3>{first + two, bytes - two, 0}}) {
            StreamLayer layer{passFrom,
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

TrellisCode keystreamCode(uint32_t width, const unsigned char* key32, size_t skip) {
    static const unsigned char zeroNonce[crypto_stream_xchacha20_NONCEBYTES] = {};
    if (skip + width == 0) {
        return {}; // a picture too small to carry anything: a code of no columns
    }
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
    for (const Layer& layer : streamLayers(0, steps, length)) {
        if (layer.bytes != 0 && layer.steps / layer.bits() < least) {
            return false;
        }
    }
    return true;
}

StreamEnd carryLayers(const StreamStretch& stretch, uint64_t length, uint64_t& columns,
                      const std::function<StreamEnd(const StreamLayer&)>& carry) {
    try {
        for (const Layer& layer : streamLayers(stretch.from, stretch.steps, length)) {
            if (layer.bytes == 0) {
                continue;
            }
            columns += layer.columns();
            if (const StreamEnd end = carry(layer); end != StreamEnd::Done) {
                return end;
            }
        }
    } catch (const std::bad_alloc&) {
        return StreamEnd::NoMemory;
    }
    return StreamEnd::Done;
}

StreamChanges carryStream(unsigned char* colour, uint32_t width, uint32_t height, uint16_t* packed,
                          const StreamStretch& stretch, const QByteArray& sealed) {
    StreamChanges result;
    const auto* message = reinterpret_cast<const unsigned char*>(sealed.constData());
    Coupling coupling(width, height);
    if (coupling.failed()) {
        result.end = StreamEnd::NoMemory;
        return result;
    }
    result.end = carryLayers(
        stretch, static_cast<uint64_t>(sealed.size()), result.columns, [&](const Layer& layer) {
            return carryLayer(colour, packed, stretch, layer, message, coupling, result.changes);
        });
    return result;
}

QByteArray readStream(const unsigned char* colour, const StreamStretch& stretch, uint32_t length) {
    QByteArray stream(static_cast<qsizetype>(length), '\0');
    for (const Layer& layer : streamLayers(stretch.from, stretch.steps, length)) {
        if (layer.bytes == 0) {
            continue;
        }
        const ColumnGroups<KeyedWalk> groups = groupsOf(stretch, layer);
        const std::vector<unsigned char> bits =
            readBits(groups, colour, layer.plane,
                     keystreamCode(layer.width, stretch.codeKey, layer.codeSkip), layer.bits());
        if (bits.size() != layer.bytes) {
            return {};
        }
        std::memcpy(stream.data() + layer.firstByte, bits.data(), bits.size());
    }
    return stream;
}

} // namespace brindmar
