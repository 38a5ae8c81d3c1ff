#include "protection/StealthFile.h"

#include "payload/BmpHeader.h"
#include "payload/CarrierFile.h"
#include "protection/LargeBuffer.h"
#include "protection/StealthKeys.h"
#include "protection/StealthWet.h"
#include "util/ReplacementFile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

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

namespace {

// The header of a 24-bit carrier whose layout the file's size holds; nothing otherwise.
std::optional<BmpHeader> carrierHeaderOf(const CarrierFile& file) {
    std::array<unsigned char, kBmpHeadersLength> headBytes{};
    if (file.readAt(0, headBytes.data(), headBytes.size()) != headBytes.size() ||
        headBytes[0] != 'B' || headBytes[1] != 'M') {
        return std::nullopt;
    }
    const BmpHeader header = parseBmpHeader(headBytes);
    if (header.bitCount != 24 || !carrierLayoutSound(header, file.size())) {
        return std::nullopt;
    }
    return header;
}

// The carrier's colours up to limit, read a block of rows at a time until the limit is passed:
// nothing when the file cannot be read as a carrier.
std::optional<uint32_t> carrierColours(const QString& path, uint32_t limit, uint64_t& pixels) {
    const CarrierFile file(path);
    const std::optional<BmpHeader> header =
        file.isOpen() ? carrierHeaderOf(file) : std::optional<BmpHeader>();
    if (!header) {
        return std::nullopt;
    }
    constexpr int64_t kBlock = int64_t{1} << 20;
    const int64_t stride = bmpStride(header->width, 24);
    const int64_t rows = std::max<int64_t>(1, kBlock / stride);
    ColourTally tally(limit);
    std::vector<unsigned char> block;
    try {
        block.resize(static_cast<size_t>(rows * stride));
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    for (int64_t y = 0; y < header->height && !tally.full(); y += rows) {
        const int64_t n = std::min(rows, int64_t{header->height} - y);
        const auto length = static_cast<size_t>(n * stride);
        if (file.readAt(header->dataOffset + y * stride, block.data(), length) != length) {
            return std::nullopt;
        }
        for (int64_t k = 0; k < n; ++k) {
            tally.add(block.data() + k * stride, static_cast<uint64_t>(header->width));
        }
    }
    pixels = uint64_t{static_cast<uint32_t>(header->width)} * static_cast<uint32_t>(header->height);
    return tally.count();
}

} // namespace

StealthFileStatus readStealthCarrier(const QString& path, StealthCarrier& carrier,
                                     const std::function<void()>& sound) {
    const CarrierFile file(path);
    if (!file.isOpen()) {
        return StealthFileStatus::CannotOpen;
    }
    const std::optional<BmpHeader> found = carrierHeaderOf(file);
    if (!found) {
        return StealthFileStatus::NotACarrier;
    }
    const BmpHeader& header = *found;
    if (sound) {
        sound();
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

StealthCarrierFigures stealthCarrierFigures(const QString& path) {
    StealthCarrierFigures figures;
    StealthCarrier carrier;
    figures.status = readStealthCarrier(path, carrier);
    if (figures.status == StealthFileStatus::Done) {
        const StealthDryCount dry =
            stealthDryCount(carrier.colour(), carrier.width, carrier.height);
        figures.most = stealthWriterCapacity(carrier.width, carrier.height, dry);
        figures.recommended = stealthWriterRecommendedCapacity(carrier.width, carrier.height, dry);
    }
    return figures;
}

std::optional<uint32_t> stealthCarrierColourRefusal(const QString& picture,
                                                    const QStringList& originals) {
    CarrierKind kind = CarrierKind::TrueColour;
    for (const QString& original : originals) {
        if (!original.isEmpty() && kind == CarrierKind::TrueColour) {
            kind = carrierKindOf(original);
        }
    }
    uint64_t pixels = 0;
    const std::optional<uint32_t> counted = carrierColours(picture, kFewestPhotoColours, pixels);
    if (!counted) {
        return std::nullopt; // the embed itself says what is wrong with it
    }
    const uint32_t colours = *counted;
    if (!stealthRefusesColours(kind, colours, pixels)) {
        return std::nullopt;
    }
    return colours;
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
    // The key is derived while the carrier is read, counted and priced, none of which it enters.
    std::optional<KeyInFlight> deriving;
    result.status = readStealthCarrier(carrierPath, carrier, [&] { deriving.emplace(code, cost); });
    if (result.status != StealthFileStatus::Done) {
        return result;
    }
    bool written = false;
    StealthHeldKey kept;
    result.report = stealthEmbed(
        carrier.colour(), carrier.width, carrier.height, *deriving, archive,
        [&] { written = out.append(carrier.withColour()) && out.flush(); }, &kept);
    result.status = fileStatusOf(result.report.status);
    if (result.status == StealthFileStatus::Done && !written) {
        result.status = StealthFileStatus::CannotWrite;
        result.error = out.error();
    } else if (result.status == StealthFileStatus::Done) {
        held = std::move(kept);
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
