#pragma once

#include "protection/CarrierColours.h"
#include "protection/StealthImage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace brindmar {

class ReplacementFile;

// A 24-bit uncompressed BMP read whole, and its colour bytes in file order without row padding,
// as the stealth coder takes them: the file's own rows where they have no padding, gathered apart
// where they have.
struct StealthCarrier {
    QByteArray file;
    uint32_t width = 0;
    uint32_t height = 0;
    int64_t pixelOffset = 0;
    int64_t stride = 0;
    std::vector<unsigned char> gathered;

    bool padded() const { return stride != int64_t{width} * 3; }
    unsigned char* colour() {
        return padded() ? gathered.data()
                        : reinterpret_cast<unsigned char*>(file.data()) + pixelOffset;
    }
    // The file with its pixel rows taken from colour(); headers, padding and anything after the
    // rows stay the carrier's.
    const QByteArray& withColour();
};

enum class StealthFileStatus {
    Done,
    CannotOpen,  // not an ordinary file that can be opened
    NotACarrier, // not a sound 24-bit uncompressed BMP
    TooLarge,
    NoMemory,
    NotFound,
    Damaged,
    CannotWrite, // error() holds the errno
    Failed,
};

struct StealthFileResult {
    StealthFileStatus status = StealthFileStatus::Failed;
    int error = 0;
    StealthEmbedReport report;
};

// sound, when given, runs once the header has shown a carrier, before its pixels are read.
StealthFileStatus readStealthCarrier(const QString& path, StealthCarrier& carrier,
                                     const std::function<void()>& sound = {});

// What the writer takes in the carrier at path, counted from its dry bytes: the most
// (stealthWriterCapacity) and the most at the recommended rate. Both 0 unless Done.
struct StealthCarrierFigures {
    StealthFileStatus status = StealthFileStatus::Failed;
    int64_t most = 0;
    int64_t recommended = 0;
};
StealthCarrierFigures stealthCarrierFigures(const QString& path);

// The colours counted when Stealth cannot use the 24-bit carrier at picture, made from the
// files originals (the user's picture and any copy between), or nothing when it can: the first
// original that had a palette refuses it, else the picture's own colours decide.
std::optional<uint32_t> stealthCarrierColourRefusal(const QString& picture,
                                                    const QStringList& originals);

// Writes the stealth image, the carrier's size and headers, into out without committing it:
// the file goes out while the coder reads the picture back. Done only when both succeed;
// CannotWrite, with the errno, when the writing failed.
StealthFileResult writeStealthImage(const QString& carrierPath, const SecretBytes& code,
                                    const QByteArray& archive, ReplacementFile& out,
                                    StrongCost cost = kStealthCost);

// The same, deriving once and handing the key and salt back in held when Done.
StealthFileResult writeStealthImage(const QString& carrierPath, const SecretBytes& code,
                                    const QByteArray& archive, ReplacementFile& out,
                                    StrongCost cost, StealthHeldKey& held);

// The archive the stealth image at imagePath holds under a key already derived: NotFound when
// the image's salt is not held's, which a picture changed since shows.
StealthFileResult extractStealthFileWithKey(const QString& imagePath, const StealthHeldKey& held,
                                            QByteArray& archive);

// The same written to target and committed, replacing target only once it is complete and
// flushed.
StealthFileResult embedStealthFile(const QString& carrierPath, const QString& target,
                                   const SecretBytes& code, const QByteArray& archive,
                                   StrongCost cost = kStealthCost);

// The archive a stealth image holds for code; archive is left empty unless Done.
StealthFileResult extractStealthFile(const QString& imagePath, const SecretBytes& code,
                                     QByteArray& archive, StrongCost cost = kStealthCost);

} // namespace brindmar
