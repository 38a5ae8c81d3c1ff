#include "protection/StealthImage.h"

#include "protection/KeyedWalk.h"
#include "protection/MatrixCode.h"

#include <QBuffer>
#include <algorithm>
#include <limits>
#include <optional>
#include <sodium.h>
#include <string>
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
        {&keys.head, StealthSubkey::Head}};
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

} // namespace

int stealthCheckBits(uint64_t sealedLength, uint32_t width, uint32_t height) {
    const uint64_t steps = streamSteps(width, height);
    if (sealedLength == 0 || sealedLength > std::numeric_limits<uint32_t>::max()) {
        return 0;
    }
    for (int p = kMostCheckBits; p >= kLeastCheckBits; --p) {
        if (HammingCoder(p).stepsFor(sealedLength * 8) <= steps) {
            return p;
        }
    }
    return 0;
}

int64_t stealthCapacity(uint32_t width, uint32_t height) {
    const uint64_t blocks = streamSteps(width, height) / ((1u << kLeastCheckBits) - 1);
    return archiveFor(blocks * kLeastCheckBits / 8);
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
    const int p = stealthCheckBits(static_cast<uint64_t>(sealedBytes), width, height);
    if (p == 0) {
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
    QByteArray plain = archive;
    QByteArray sealed;
    {
        QBuffer source(&plain);
        QBuffer sink(&sealed);
        source.open(QIODevice::ReadOnly);
        sink.open(QIODevice::WriteOnly);
        if (sealStream(source, archive.size(), sink, headText(head), keys->seal, prelude) !=
                SealEnd::Done ||
            sealed.size() != sealedBytes) {
            return report;
        }
    }

    const uint64_t colourBytes = colourBytesOf(width, height);
    const std::vector<uint64_t> saltAt = saltPositions(width, height);
    ChangeDirections directions(keys->directions.data());
    HammingCoder saltCoder(kSaltCheckBits);
    saltCoder.embed(colour, SaltWalk{&saltAt}, 0, salt.data(), kSaltLength * 8, directions);
    uint64_t blocks = saltCoder.blocksFor(kSaltLength * 8);

    const KeyedWalk walk(keys->walk.data(), colourBytes, saltAt);
    const std::array<unsigned char, kHeadLength> masked = maskHead(head, keys->head);
    HammingCoder headCoder(kHeadCheckBits);
    headCoder.embed(colour, walk, 0, masked.data(), kHeadLength * 8, directions);
    blocks += headCoder.blocksFor(kHeadLength * 8);

    HammingCoder streamCoder(p);
    const uint64_t bits = static_cast<uint64_t>(sealedBytes) * 8;
    streamCoder.embedSwept(colour, walk, kHeadSteps,
                           reinterpret_cast<const unsigned char*>(sealed.constData()), bits,
                           directions);
    blocks += streamCoder.blocksFor(bits);

    report.status = StealthStatus::Done;
    report.checkBits = p;
    report.stepsUsed = kSaltSteps + kHeadSteps + streamCoder.stepsFor(bits);
    report.changes = directions.made();
    report.mostChanges = blocks;
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
    const int p = stealthCheckBits(length, width, height);
    if (head[0] != kStealthVersion || length < static_cast<uint64_t>(sealedLength(0)) || p == 0) {
        return report;
    }
    const std::vector<unsigned char> sealedBits =
        HammingCoder(p).extractSwept(colour, walk, kHeadSteps, uint64_t{length} * 8);
    QByteArray sealed(reinterpret_cast<const char*>(sealedBits.data()),
                      static_cast<qsizetype>(sealedBits.size()));
    QByteArray archive;
    QBuffer source(&sealed);
    QBuffer sink(&archive);
    source.open(QIODevice::ReadOnly);
    sink.open(QIODevice::WriteOnly);
    switch (openStream(source, sink, headText(head), keys->seal)) {
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
                                const SecretBytes& code, const QByteArray& archive,
                                StrongCost cost) {
    if (stealthCheckBits(static_cast<uint64_t>(sealedLength(archive.size())), width, height) == 0) {
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
    return stealthEmbedWithKey(colour, width, height, *key, prelude.salt, archive);
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
