#include "protection/StealthImage.h"

#include "protection/ChangeLog.h"
#include "protection/KeyedWalk.h"
#include "protection/LargeBuffer.h"
#include "protection/Parallel.h"
#include "protection/StealthColumns.h"
#include "protection/StealthKeys.h"
#include "protection/StealthLayout.h"
#include "protection/StealthPixelStream.h"
#include "protection/StealthPrices.h"
#include "protection/StealthPublic.h"
#include "protection/StealthStream.h"
#include "protection/StealthWet.h"
#include "protection/Trellis.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <sodium.h>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace brindmar {

namespace {

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

// The head's code follows the 5 bytes that mask it, and from version 6 the tail's lies well past
// it in the same keystream.
constexpr size_t kHeadCodeSkip = kHeadLength;
constexpr size_t kTailCodeSkip = 64;

// The code of the stream's tail over the public pixels.
TrellisCode tailCode(const StealthLayout& layout, uint64_t tail, const SecretBytes& headKey) {
    return keystreamCode(stealthWidthFor(layout.publicCount, tail * 8), headKey.data(),
                         kTailCodeSkip);
}

// Which way each change of the head goes: bit j of the XChaCha20 keystream of the direction key
// for column j, under the nonce 3, 0, ..., 0 (version 5's salt had 2; the stream's changes, and
// the salt's and the tail's since, go the way their layers say). Each change is its own byte, so
// the changes can be shared among threads. Returns the number of changes, or nothing when memory
// ran out.
constexpr unsigned char kHeadDirections = 3;

std::optional<uint64_t> changeColumns(unsigned char* colour, uint64_t columns,
                                      const TrellisFlips& flips, const SecretBytes& directionKey,
                                      unsigned char first, ChangeLog& log) {
    unsigned char nonce[crypto_stream_xchacha20_NONCEBYTES] = {first};
    std::vector<unsigned char> up(static_cast<size_t>((columns + 7) / 8));
    crypto_stream_xchacha20(up.data(), up.size(), nonce, directionKey.data());
    constexpr uint64_t kShare = 1 << 14;
    const size_t all = flips.columns.size();
    log.reserve(all);
    for (const uint32_t place : flips.places) {
        log.note(colour, place);
    }
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

// Carries bits by the columns over listed colour bytes, whose prices are listed in the same
// order, at the least cost, and makes the changes. TooLarge when too many of them are wet.
StealthStatus carryListed(unsigned char* colour, const std::vector<uint32_t>& bytes,
                          const uint16_t* prices, uint32_t width, const TrellisCode& code,
                          const unsigned char* message, uint64_t bits,
                          const SecretBytes& directions, unsigned char nonce, uint64_t& changes,
                          ChangeLog& log) {
    const CountingWalk ranks;
    const ColumnGroups<CountingWalk> groups{&ranks, 0, bytes.size(), bits * width};
    const unsigned char* const picture = colour;
    const uint32_t* const listed = bytes.data();
    const auto lowBit = [picture, listed](uint32_t rank) {
        return static_cast<uint16_t>((picture[listed[rank]] & 1u) << 15);
    };
    TrellisFlips flips = searchColumns(groups, prices, lowBit, code, message, bits);
    if (!flips.ok) {
        return StealthStatus::NoMemory;
    }
    if (!flips.carried) {
        return StealthStatus::TooLarge;
    }
    for (uint32_t& place : flips.places) {
        place = bytes[place];
    }
    const std::optional<uint64_t> made =
        changeColumns(colour, groups.columns, flips, directions, nonce, log);
    if (!made) {
        return StealthStatus::NoMemory;
    }
    changes += *made;
    return StealthStatus::Done;
}

// The head's colour bytes: the walk's first steps.
std::vector<uint32_t> headBytes(const KeyedWalk& walk, const StealthLayout& layout) {
    std::vector<uint32_t> bytes(static_cast<size_t>(layout.headSteps));
    walk.bytesAt(0, static_cast<uint32_t>(bytes.size()), bytes.data());
    return bytes;
}

// The prices the writer takes: every pixel's (and its way), then the head's places', those in a
// public pixel wet, since the head must not move the salt.
struct Prices {
    LargeBuffer<uint16_t> pixels;
    LargeBuffer<uint8_t> way;
    std::vector<uint16_t> head;

    explicit Prices(uint64_t count)
        : pixels(static_cast<size_t>(count)), way(static_cast<size_t>(count)) {}
    // Every pixel's: nothing the key decides, so beside may derive the key meanwhile
    // (pricePixels).
    bool priceCarrier(const unsigned char* colour, uint32_t width, uint32_t height,
                      const std::function<void()>& beside = {}) {
        if (pixels.failed() || way.failed()) {
            if (beside) {
                beside(); // whatever the sweep does, beside runs once
            }
            return false;
        }
        ListedBytes none;
        return pricePixels(colour, width, height, pixels.data(), way.data(), none, beside);
    }
    // The stream leaves every public pixel and every pixel of the head alone; their sums, which
    // those may have changed, still count in the stream's columns.
    void wetPixels(const std::vector<uint32_t>& listed) const {
        for (const uint32_t p : listed) {
            pixels[p] = trellisColumn(kWetCost, false);
        }
    }
    // Then the head's, once the key has placed it, with the public pixels wet by now: a byte of
    // a wet pixel is wet for the head too (one with no dry channel was wet already).
    void priceHead(const unsigned char* colour, uint32_t width, uint32_t height,
                   const std::vector<uint32_t>& places) {
        static const uint16_t wet = trellisColumn(kWetCost, false);
        head = priceBytes(colour, width, height, places);
        for (size_t k = 0; k < places.size(); ++k) {
            if ((pixels[places[k] / 3] & 0x7fffu) == (wet & 0x7fffu)) {
                head[k] = wet;
            }
        }
    }
    void wetPixelsOf(const unsigned char* colour, const std::vector<uint32_t>& bytes) const {
        for (const uint32_t b : bytes) {
            const uint32_t p = b / 3;
            pixels[p] = trellisColumn(kWetCost, false);
            way[p] = withSum(wayOf(way[p]), pixelSum(colour + 3 * size_t{p}));
        }
    }
};

} // namespace

namespace {

// The public pixels' layers, then the head, then the stream: each of a try's changes, so that a
// try that does not fit can put them back, last first.
struct TryChanges {
    PixelStreamChanges open; // the public pixels' moves
    ChangeLog head;
    PixelStreamChanges stream;

    bool takeBack(unsigned char* colour, uint8_t* way) {
        const bool back = takeBackPixelStream(colour, way, stream) && head.complete();
        head.undo(colour);
        return takeBackPixelStream(colour, way, open) && back;
    }
};

StealthStatus statusOf(StreamEnd end) {
    return end == StreamEnd::Done       ? StealthStatus::Done
           : end == StreamEnd::TooLarge ? StealthStatus::TooLarge
                                        : StealthStatus::NoMemory;
}

StealthEmbedReport embedOnce(unsigned char* colour, uint32_t width, uint32_t height,
                             const SecretBytes& key, const StealthSalt& salt,
                             const QByteArray& archive, const PublicPixels& places, bool& restored,
                             Prices* carrier) {
    StealthEmbedReport report;
    restored = true;
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
    const StealthLayout layout(width, height);
    const KeyedWalk walk(keys->walk.data(), layout.colourBytes, {});
    const std::vector<uint32_t> headPlaces = headBytes(walk, layout);
    // The carrier as priced before the key, or priced now.
    std::optional<Prices> own;
    if (carrier == nullptr) {
        own.emplace(layout.pixels);
        if (!own->priceCarrier(colour, width, height)) {
            report.status = StealthStatus::NoMemory;
            return report;
        }
    }
    Prices& prices = carrier != nullptr ? *carrier : *own;

    // The public pixels first: the stream's tail on bit 1 of their sums, then the salt on bit 0
    // among those left; then the head over the walk's first steps. Their pixels are then wet for
    // the stream, which the reader takes after them.
    const uint64_t tail = layout.tailBytes(static_cast<uint64_t>(sealed.size()));
    const qsizetype streamBytes = sealed.size() - static_cast<qsizetype>(tail);
    const auto* sealedData = reinterpret_cast<const unsigned char*>(sealed.constData());
    TryChanges made;
    StreamEnd end = StreamEnd::Done;
    if (tail != 0) {
        end = carryListedPixels(colour, prices.pixels.data(), prices.way.data(), places.pixels,
                                tailCode(layout, tail, keys->head), 1, sealedData + streamBytes,
                                tail * 8, made.open);
    }
    if (end == StreamEnd::Done) {
        end = carryListedPixels(colour, prices.pixels.data(), prices.way.data(), places.pixels,
                                places.saltCode, 0, salt.data(), kStealthSaltBits, made.open);
    }
    StealthStatus status = statusOf(end);
    prices.wetPixels(places.pixels);
    prices.priceHead(colour, width, height, headPlaces);
    uint64_t headChanges = 0;
    const std::array<unsigned char, kHeadLength> masked = maskHead(head, keys->head);
    if (status == StealthStatus::Done) {
        status = carryListed(colour, headPlaces, prices.head.data(), layout.headWidth,
                             keystreamCode(layout.headWidth, keys->head.data(), kHeadCodeSkip),
                             masked.data(), kStealthHeadBits, keys->directions, kHeadDirections,
                             headChanges, made.head);
    }
    prices.wetPixelsOf(colour, headPlaces);
    const KeyedWalk pixelWalk(keys->pixelWalk.data(), layout.pixels, {});
    if (status == StealthStatus::Done) {
        made.stream = carryPixelStream(colour, prices.pixels.data(), prices.way.data(),
                                       {&pixelWalk, 0, layout.pixels, keys->code.data()},
                                       sealed.left(streamBytes));
        status = statusOf(made.stream.end);
    }
    report.status = status;
    if (status == StealthStatus::TooLarge) {
        restored = made.takeBack(colour, prices.way.data());
    }
    if (status != StealthStatus::Done) {
        return report;
    }
    report.width = w;
    report.changes = headChanges + made.open.bytes + made.stream.bytes;
    report.streamChanges = made.stream.bytes + made.open.bytes;
    report.streamMoves = made.stream.moves + made.open.moves;
    report.streamTriples = made.stream.triples + made.open.triples;
    report.mostChanges =
        made.open.columns + kStealthHeadBits * layout.headWidth + made.stream.columns;
    return report;
}

// The sealed stream of a version as the picture carries it; empty when memory ran out.
QByteArray readSealed(const unsigned char* colour, uint32_t width, uint32_t height,
                      const StealthSubkeys& keys, const KeyedWalk& walk, uint8_t version,
                      uint32_t length, const PublicPixels& places) {
    const StealthLayout layout(width, height);
    if (version == 4) {
        return readStream(
            colour, {&walk, layout.headSteps, layout.streamSteps(4), keys.code.data()}, length);
    }
    const uint64_t tail = version == 5 ? 0 : layout.tailBytes(length);
    const KeyedWalk pixelWalk(keys.pixelWalk.data(), layout.pixels, {});
    QByteArray sealed =
        readPixelStream(colour, layout.pixels, {&pixelWalk, 0, layout.pixels, keys.code.data()},
                        static_cast<uint32_t>(length - tail));
    if (tail == 0 || sealed.isEmpty()) {
        return sealed;
    }
    const std::vector<unsigned char> end =
        readListedPixels(colour, places.pixels, tailCode(layout, tail, keys.head), 1, tail * 8);
    if (end.size() != tail) {
        return {};
    }
    sealed.append(reinterpret_cast<const char*>(end.data()), static_cast<qsizetype>(tail));
    return sealed;
}

// As stealthEmbedWithKey, with the salt's places (the picture's size alone decides them) made
// once for every try, the first try taking the carrier as priced, when it was.
StealthEmbedReport embedWithKey(unsigned char* colour, uint32_t width, uint32_t height,
                                const SecretBytes& key, const StealthSalt& salt,
                                const QByteArray& archive, const PublicPixels& places,
                                Prices* priced) {
    // On a picture with much that is wet, a trellis can find no way round the wet bytes for one
    // sealing of the stream. Each sealing starts from a fresh stream header, so its bits are
    // others: a few more tries, each from the carrier as it was, turn about half of those into a
    // success the reader cannot tell apart. The rest stay too large, and the carrier is left as
    // it came; a hopeless carrier costs only these few tries.
    constexpr int kTries = 4;
    StealthEmbedReport report;
    for (int attempt = 1;; ++attempt) {
        // A try that could not put every change back is the last.
        bool restored = false;
        // The first try's prices are spent (its moves and its salt and head made pixels wet).
        report = embedOnce(colour, width, height, key, salt, archive, places, restored,
                           attempt == 1 ? priced : nullptr);
        if (report.status != StealthStatus::TooLarge || !restored || attempt == kTries) {
            return report;
        }
    }
}

} // namespace

StealthEmbedReport stealthEmbedWithKey(unsigned char* colour, uint32_t width, uint32_t height,
                                       const SecretBytes& key, const StealthSalt& salt,
                                       const QByteArray& archive) {
    const PublicPixels places(StealthLayout(width, height), width, height);
    return embedWithKey(colour, width, height, key, salt, archive, places, nullptr);
}

namespace {

// As stealthExtractWithKey, with the public pixels (the picture's size alone decides them) found
// already.
StealthExtractReport extractWithKey(const unsigned char* colour, uint32_t width, uint32_t height,
                                    const SecretBytes& key, const PublicPixels& places) {
    StealthExtractReport report;
    std::optional<StealthSubkeys> keys = stealthSubkeysOf(key);
    const StealthLayout layout(width, height);
    if (!keys || !layout.holds()) {
        return report;
    }
    const KeyedWalk walk(keys->walk.data(), layout.colourBytes, {});
    const ColumnGroups<KeyedWalk> headGroups{&walk, 0, layout.headSteps,
                                             kStealthHeadBits * layout.headWidth};
    const std::vector<unsigned char> maskedBits = readBits(
        headGroups, colour, 0, keystreamCode(layout.headWidth, keys->head.data(), kHeadCodeSkip),
        kStealthHeadBits);
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
    // Under another code the head is noise: a version or a length no embedder writes. Each
    // version's stream has its own most.
    const uint8_t version = head[0];
    if (version < 4 || version > kStealthVersion ||
        length < static_cast<uint64_t>(sealedLength(0)) ||
        stealthWidth(length, width, height, version) == 0) {
        return report;
    }
    const QByteArray sealed =
        readSealed(colour, width, height, *keys, walk, version, length, places);
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

} // namespace

StealthExtractReport stealthExtractWithKey(const unsigned char* colour, uint32_t width,
                                           uint32_t height, const SecretBytes& key) {
    const StealthLayout layout(width, height);
    if (!layout.holds()) {
        return {};
    }
    return extractWithKey(colour, width, height, key, PublicPixels(layout, width, height));
}

namespace {

// The writer's own most: an archive the wet bytes leave no room for is refused before the coder
// tries, rather than after every try of it.
bool beyondTheWriter(const unsigned char* colour, uint32_t width, uint32_t height,
                     const QByteArray& archive) {
    return stealthWidth(static_cast<uint64_t>(sealedLength(archive.size())), width, height) == 0 ||
           archive.size() >
               stealthWriterCapacity(width, height, stealthDryCount(colour, width, height));
}

StealthEmbedReport embedDeriving(unsigned char* colour, uint32_t width, uint32_t height,
                                 KeyInFlight& deriving, const QByteArray& archive,
                                 const std::function<void()>& alongside, StealthHeldKey* held) {
    const SealPrelude& prelude = deriving.prelude();
    StealthEmbedReport report;
    const StealthLayout layout(width, height);
    const PublicPixels places(layout, width, height);
    {
        Prices priced(layout.pixels);
        // The derivation leaves every core but its own to the pricing, which nothing the key
        // decides goes into: one of the pricing's threads waits for the key and then joins it.
        const bool early = priced.priceCarrier(colour, width, height, [&] { deriving.wait(); });
        if (!deriving.key()) {
            report.status = StealthStatus::NoMemory;
            return report;
        }
        report = embedWithKey(colour, width, height, *deriving.key(), prelude.salt, archive, places,
                              early ? &priced : nullptr);
    }
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
        const bool back =
            readSaltFrom(colour, places) == prelude.salt &&
            extractWithKey(colour, width, height, *deriving.key(), places).archive == archive;
        if (beside.joinable()) {
            beside.join();
        }
        if (!back) {
            report.status = StealthStatus::Failed;
        } else if (held != nullptr) {
            held->key = std::move(deriving.key());
            held->salt = prelude.salt;
        }
    }
    return report;
}

} // namespace

StealthEmbedReport stealthEmbed(unsigned char* colour, uint32_t width, uint32_t height,
                                const SecretBytes& code, const QByteArray& archive, StrongCost cost,
                                const std::function<void()>& alongside, StealthHeldKey* held) {
    if (beyondTheWriter(colour, width, height, archive)) {
        return {.status = StealthStatus::TooLarge};
    }
    KeyInFlight deriving(code, cost);
    return embedDeriving(colour, width, height, deriving, archive, alongside, held);
}

StealthEmbedReport stealthEmbed(unsigned char* colour, uint32_t width, uint32_t height,
                                KeyInFlight& deriving, const QByteArray& archive,
                                const std::function<void()>& alongside, StealthHeldKey* held) {
    if (beyondTheWriter(colour, width, height, archive)) {
        return {.status = StealthStatus::TooLarge};
    }
    return embedDeriving(colour, width, height, deriving, archive, alongside, held);
}

StealthExtractReport stealthExtract(const unsigned char* colour, uint32_t width, uint32_t height,
                                    const SecretBytes& code, StrongCost cost) {
    StealthExtractReport report;
    const StealthLayout layout(width, height);
    if (!layout.holds()) {
        return report;
    }
    const PublicPixels places(layout, width, height);
    // Images before version 6 carry the salt elsewhere.
    if (readUnderEachSalt(
            code, cost,
            {readSaltFrom(colour, places), readEarlierStealthSalt(colour, width, height)},
            [&](const SecretBytes& key) {
                report = extractWithKey(colour, width, height, key, places);
                return report.status != StealthStatus::NotFound;
            }) == SaltTries::NoMemory) {
        report.status = StealthStatus::NoMemory;
    }
    return report;
}

} // namespace brindmar
