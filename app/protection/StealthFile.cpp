#include "protection/StealthFile.h"

#include "payload/BmpHeader.h"
#include "payload/CarrierFile.h"
#include "protection/LargeBuffer.h"
#include "util/ReplacementFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace brindmar {

namespace {

StealthFileStatus fileStatusOf(StealthStatus status) {
    switch (status) {
    case StealthStatus::Done:
        return StealthFileStatus::Done;
    case StealthStatus::TooLarge:
        return StealthFileStatus::TooLarge;
    case StealthStatus::NoMemory:
        return StealthFileStatus::NoMemory;
    case StealthStatus::NotFound:
        return StealthFileStatus::NotFound;
    case StealthStatus::Damaged:
        return StealthFileStatus::Damaged;
    case StealthStatus::Failed:
        break;
    }
    return StealthFileStatus::Failed;
}

} // namespace

const QByteArray& StealthCarrier::withColour() {
    const int64_t row = int64_t{width} * 3;
    for (int64_t y = 0; padded() && y < height; ++y) {
        std::memcpy(file.data() + pixelOffset + y * stride,
                    gathered.data() + static_cast<size_t>(y * row), static_cast<size_t>(row));
    }
    return file;
}

StealthFileStatus readStealthCarrier(const QString& path, StealthCarrier& carrier) {
    const CarrierFile file(path);
    if (!file.isOpen()) {
        return StealthFileStatus::CannotOpen;
    }
    std::array<unsigned char, kBmpHeadersLength> headBytes{};
    if (file.readAt(0, headBytes.data(), headBytes.size()) != headBytes.size() ||
        headBytes[0] != 'B' || headBytes[1] != 'M') {
        return StealthFileStatus::NotACarrier;
    }
    const BmpHeader header = parseBmpHeader(headBytes);
    if (header.bitCount != 24 || !carrierLayoutSound(header, file.size())) {
        return StealthFileStatus::NotACarrier;
    }
    try {
        carrier.file = QByteArray(static_cast<qsizetype>(file.size()), Qt::Uninitialized);
        preferHugePages(carrier.file.data(), static_cast<size_t>(file.size()));
        // The file may have been cut short since its size was taken.
        if (file.readAt(0, reinterpret_cast<unsigned char*>(carrier.file.data()),
                        static_cast<size_t>(file.size())) != static_cast<size_t>(file.size())) {
            return StealthFileStatus::NotACarrier;
        }
        carrier.width = static_cast<uint32_t>(header.width);
        carrier.height = static_cast<uint32_t>(header.height);
        carrier.pixelOffset = header.dataOffset;
        carrier.stride = bmpStride(header.width, 24);
        const int64_t row = int64_t{header.width} * 3;
        if (carrier.padded()) {
            carrier.gathered.resize(static_cast<size_t>(row * header.height));
            for (int64_t y = 0; y < header.height; ++y) {
                std::memcpy(carrier.gathered.data() + static_cast<size_t>(y * row),
                            carrier.file.constData() + carrier.pixelOffset + y * carrier.stride,
                            static_cast<size_t>(row));
            }
        }
    } catch (const std::bad_alloc&) {
        return StealthFileStatus::NoMemory;
    }
    return StealthFileStatus::Done;
}

std::optional<QString> stealthCarrierColourRefusal(const QString& picture,
                                                   const QStringList& originals) {
    CarrierKind kind = CarrierKind::TrueColour;
    for (const QString& original : originals) {
        if (!original.isEmpty() && kind == CarrierKind::TrueColour) {
            kind = carrierKindOf(original);
        }
    }
    StealthCarrier carrier;
    if (readStealthCarrier(picture, carrier) != StealthFileStatus::Done) {
        return std::nullopt; // the embed itself says what is wrong with it
    }
    const uint64_t pixels = uint64_t{carrier.width} * carrier.height;
    return stealthColourRefusal(
        kind, distinctColours(carrier.colour(), pixels, kFewestPhotoColours), pixels);
}

StealthFileResult writeStealthImage(const QString& carrierPath, const SecretBytes& code,
                                    const QByteArray& archive, ReplacementFile& out,
                                    StrongCost cost) {
    StealthHeldKey dropped;
    return writeStealthImage(carrierPath, code, archive, out, cost, dropped);
}

StealthFileResult writeStealthImage(const QString& carrierPath, const SecretBytes& code,
                                    const QByteArray& archive, ReplacementFile& out,
                                    StrongCost cost, StealthHeldKey& held) {
    StealthFileResult result;
    StealthCarrier carrier;
    result.status = readStealthCarrier(carrierPath, carrier);
    if (result.status != StealthFileStatus::Done) {
        return result;
    }
    unsigned char* colour = carrier.colour();
    if (stealthWidth(static_cast<uint64_t>(sealedLength(archive.size())), carrier.width,
                     carrier.height) == 0) {
        result.status = StealthFileStatus::TooLarge;
        return result;
    }
    const SealPrelude prelude = freshPrelude(cost);
    std::optional<SecretBytes> key = deriveStrongKey(code, prelude);
    if (!key) {
        result.status = StealthFileStatus::NoMemory;
        return result;
    }
    result.report =
        stealthEmbedWithKey(colour, carrier.width, carrier.height, *key, prelude.salt, archive);
    result.status = fileStatusOf(result.report.status);
    if (result.status != StealthFileStatus::Done) {
        return result;
    }
    // The carrier's original may be wiped once the image is made: the picture must give the
    // salt and the archive back before anyone writes it. The file goes out meanwhile.
    const uint64_t spoilt = gStealthSpoilBeforeReadBack;
    if (spoilt != 0 && spoilt <= uint64_t{carrier.width} * carrier.height * 3) {
        colour[spoilt - 1] ^= 1;
    }
    bool written = false;
    const auto write = [&] { written = out.append(carrier.withColour()) && out.flush(); };
    std::thread beside;
    try {
        beside = std::thread(write);
    } catch (const std::system_error&) {
        write(); // no thread to be had: one after the other
    }
    const bool back =
        readStealthSalt(colour, carrier.width, carrier.height) == prelude.salt &&
        stealthExtractWithKey(colour, carrier.width, carrier.height, *key).archive == archive;
    if (beside.joinable()) {
        beside.join();
    }
    if (!back) {
        result.status = StealthFileStatus::Failed;
    } else if (!written) {
        result.status = StealthFileStatus::CannotWrite;
        result.error = out.error();
    } else {
        held.key = std::move(key);
        held.salt = prelude.salt;
    }
    return result;
}

StealthFileResult extractStealthFileWithKey(const QString& imagePath, const StealthHeldKey& held,
                                            QByteArray& archive) {
    StealthFileResult result;
    archive.clear();
    StealthCarrier carrier;
    result.status = readStealthCarrier(imagePath, carrier);
    if (result.status != StealthFileStatus::Done) {
        return result;
    }
    if (!held.key ||
        readStealthSalt(carrier.colour(), carrier.width, carrier.height) != held.salt) {
        result.status = StealthFileStatus::NotFound;
        return result;
    }
    StealthExtractReport found =
        stealthExtractWithKey(carrier.colour(), carrier.width, carrier.height, *held.key);
    result.status = fileStatusOf(found.status);
    if (result.status == StealthFileStatus::Done) {
        archive = std::move(found.archive);
    }
    return result;
}

StealthFileResult embedStealthFile(const QString& carrierPath, const QString& target,
                                   const SecretBytes& code, const QByteArray& archive,
                                   StrongCost cost) {
    ReplacementFile out(target);
    StealthFileResult result;
    if (!out.isOpen()) {
        result.status = StealthFileStatus::CannotWrite;
        result.error = out.error();
        return result;
    }
    result = writeStealthImage(carrierPath, code, archive, out, cost);
    if (result.status == StealthFileStatus::Done && !out.commit()) {
        result.status = StealthFileStatus::CannotWrite;
        result.error = out.error();
    }
    if (result.status != StealthFileStatus::Done) {
        out.discard();
    }
    return result;
}

StealthFileResult extractStealthFile(const QString& imagePath, const SecretBytes& code,
                                     QByteArray& archive, StrongCost cost) {
    StealthFileResult result;
    archive.clear();
    StealthCarrier carrier;
    result.status = readStealthCarrier(imagePath, carrier);
    if (result.status != StealthFileStatus::Done) {
        return result;
    }
    StealthExtractReport found =
        stealthExtract(carrier.colour(), carrier.width, carrier.height, code, cost);
    result.status = fileStatusOf(found.status);
    if (result.status == StealthFileStatus::Done) {
        archive = std::move(found.archive);
    }
    return result;
}

} // namespace brindmar
