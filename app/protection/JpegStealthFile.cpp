#include "protection/JpegStealthFile.h"

#include "protection/JpegStealthCapacity.h"
#include "protection/StealthKeys.h"
#include "protection/WipeBytes.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>
#include <sodium.h>
#include <string_view>
#include <utility>

namespace brindmar {

namespace {

static_assert(kSaltLength == JpegStealthSalt{}.size());

std::array<unsigned char, 32> bytesOf(const SecretBytes& secret) {
    std::array<unsigned char, 32> bytes{};
    std::copy_n(secret.data(), bytes.size(), bytes.begin());
    return bytes;
}

// The coder takes its keys as plain arrays; they live no longer than the call.
struct CoderKeys {
    JpegStealthKeys keys;
    ~CoderKeys() {
        for (auto* key : {&keys.walk, &keys.head, &keys.code, &keys.directions}) {
            sodium_memzero(key->data(), key->size());
        }
    }
};

// The clear head the sealed stream's first chunk is bound to: the version, then the sealed
// length (32 bits, little-endian), as the coder writes it masked.
std::array<char, 5> clearHead(uint8_t version, uint32_t sealedLength) {
    std::array<char, 5> head{static_cast<char>(version)};
    for (size_t k = 0; k < 4; ++k) {
        head[1 + k] = static_cast<char>(sealedLength >> (8 * k));
    }
    return head;
}

} // namespace

JpegStealthFigures jpegStealthFigures(const QByteArray& file) {
    JpegStealthFigures figures;
    JpegCoefficients jpeg;
    if (jpeg.open(file) != JpegOpenStatus::Done) {
        return figures;
    }
    figures.jpeg = true;
    figures.gps = jpeg.hasGpsPosition();
    figures.nonZeroAc = jpegNonZeroAcCount(jpeg);
    figures.capacity = longestSealedArchive(jpegWriterStealthCapacity(jpeg));
    const auto recommended = static_cast<uint64_t>(kJpegStealthRecommendedRate *
                                                   static_cast<double>(figures.nonZeroAc) / 8);
    figures.recommended = std::min(figures.capacity, longestSealedArchive(recommended));
    return figures;
}

double jpegStealthRate(int64_t archiveLength, uint64_t nonZeroAc) {
    return nonZeroAc == 0 ? 0
                          : static_cast<double>(sealedLength(archiveLength)) * 8 /
                                static_cast<double>(nonZeroAc);
}

JpegStealthStatus jpegStealthEmbedWithKey(JpegCoefficients& jpeg, const SecretBytes& key,
                                          const JpegStealthSalt& salt, const QByteArray& archive,
                                          JpegStealthReport* report) {
    const int64_t sealedBytes = sealedLength(archive.size());
    // The format's limit only: the writer's own, which prices every block, is checked once
    // before the key is derived, and a stream the trellis cannot carry still ends too large.
    if (archive.size() > longestSealedArchive(jpegSaltedStealthCapacity(jpeg))) {
        return JpegStealthStatus::TooLarge;
    }
    const std::optional<StealthSubkeys> subkeys = stealthSubkeysOf(key);
    if (!subkeys) {
        return JpegStealthStatus::NoMemory;
    }
    SealPrelude prelude;
    prelude.cost = kStealthCost;
    prelude.salt = salt;
    const std::array<char, 5> head =
        clearHead(kJpegStealthVersion, static_cast<uint32_t>(sealedBytes));
    QByteArray sealed;
    if (sealBytes(archive, sealed, std::string_view(head.data(), head.size()), subkeys->seal,
                  prelude) != SealEnd::Done ||
        sealed.size() != sealedBytes) {
        return JpegStealthStatus::Failed;
    }
    CoderKeys coder;
    coder.keys = {bytesOf(subkeys->walk), bytesOf(subkeys->head), bytesOf(subkeys->code),
                  bytesOf(subkeys->directions)};
    const JpegStealthReport made = jpegStealthEmbed(jpeg, coder.keys, sealed, salt);
    if (report != nullptr) {
        *report = made;
    }
    if (!made.done) {
        return made.fits ? JpegStealthStatus::NoMemory : JpegStealthStatus::TooLarge;
    }
    return JpegStealthStatus::Done;
}

JpegStealthFound jpegStealthExtractWithKey(const JpegCoefficients& jpeg, const SecretBytes& key) {
    JpegStealthFound found;
    const std::optional<StealthSubkeys> subkeys = stealthSubkeysOf(key);
    if (!subkeys) {
        found.status = JpegStealthStatus::NoMemory;
        return found;
    }
    CoderKeys coder;
    coder.keys = {bytesOf(subkeys->walk), bytesOf(subkeys->head), bytesOf(subkeys->code),
                  bytesOf(subkeys->directions)};
    uint8_t version = 0;
    const std::optional<QByteArray> sealed = jpegStealthRead(jpeg, coder.keys, &version);
    // Under another code the head is noise; one that passes for a head gives a stream the seal
    // refuses.
    if (!sealed || sealed->size() < sealedLength(0)) {
        return found;
    }
    const std::array<char, 5> head = clearHead(version, static_cast<uint32_t>(sealed->size()));
    QByteArray archive;
    switch (
        openBytes(*sealed, archive, std::string_view(head.data(), head.size()), subkeys->seal)) {
    case SealEnd::Done:
        found.status = JpegStealthStatus::Done;
        found.archive = std::move(archive);
        break;
    case SealEnd::Damaged:
        found.status = JpegStealthStatus::Damaged;
        break;
    default:
        break; // the first chunk not opening is all another code ever shows
    }
    // What a damaged stream opened before its bad chunk is the document in part.
    wipeBytes(archive);
    return found;
}

JpegStealthMade jpegStealthEmbedFile(const QByteArray& carrier, const SecretBytes& code,
                                     const QByteArray& archive, const JpegWriteOptions& options,
                                     StrongCost cost) {
    JpegStealthMade made;
    // Decoding the carrier's coefficients takes about as long as the derivation on a large
    // photograph, and the writer's own most prices every block: nothing the key decides goes
    // into either, so the key is derived meanwhile. A refusal then waits for the derivation,
    // which the workflows spare the user by asking the carrier's figures first.
    KeyInFlight deriving(code, cost);
    const SealPrelude& prelude = deriving.prelude();
    JpegCoefficients jpeg;
    if (jpeg.open(carrier) != JpegOpenStatus::Done) {
        made.status = JpegStealthStatus::NotJpeg;
        return made;
    }
    if (archive.size() > longestSealedArchive(jpegWriterStealthCapacity(jpeg))) {
        made.status = JpegStealthStatus::TooLarge;
        return made;
    }
    const std::optional<SecretBytes>& key = deriving.key();
    if (!key) {
        made.status = JpegStealthStatus::NoMemory;
        return made;
    }
    made.status = jpegStealthEmbedWithKey(jpeg, *key, prelude.salt, archive, &made.report);
    if (made.status != JpegStealthStatus::Done) {
        return made;
    }
    const QByteArray file = jpeg.write(options);
    // The file as written, opened as any reader opens it, must give the salt and the archive
    // back before anyone is told it was made: the carrier may be wiped afterwards.
    JpegCoefficients back;
    JpegStealthFound again;
    if (!file.isEmpty() && back.open(file) == JpegOpenStatus::Done &&
        jpegStealthReadSalt(back) == prelude.salt) {
        again = jpegStealthExtractWithKey(back, *key);
    }
    const bool same = again.status == JpegStealthStatus::Done && again.archive == archive;
    wipeBytes(again.archive);
    if (!same) {
        made.status = JpegStealthStatus::Failed;
        return made;
    }
    made.file = file;
    return made;
}

JpegStealthFound jpegStealthExtractFile(const QByteArray& image, const SecretBytes& code,
                                        StrongCost cost) {
    JpegStealthFound found;
    JpegCoefficients jpeg;
    if (jpeg.open(image) != JpegOpenStatus::Done) {
        found.status = JpegStealthStatus::NotJpeg;
        return found;
    }
    if (!jpegStealthSalted(jpegAcCount(jpeg))) {
        return found;
    }
    // Version 1 images carry the salt elsewhere.
    if (readUnderEachSalt(code, cost, {jpegStealthReadSalt(jpeg), jpegStealthReadEarlierSalt(jpeg)},
                          [&](const SecretBytes& key) {
                              found = jpegStealthExtractWithKey(jpeg, key);
                              return found.status != JpegStealthStatus::NotFound;
                          }) == SaltTries::NoMemory) {
        found.status = JpegStealthStatus::NoMemory;
    }
    return found;
}

} // namespace brindmar
