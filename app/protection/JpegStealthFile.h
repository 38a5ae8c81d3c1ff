#pragma once

#include "protection/JpegCoefficients.h"
#include "protection/JpegStealth.h"
#include "protection/StealthImage.h"

#include <QByteArray>
#include <cstdint>

namespace brindmar {

// Stealth in a JPEG from the code: the packed archive sealed as strong protection seals it,
// under a key derived by Argon2id from the code and a random salt at the stealth cost, and
// carried in the JPEG's coefficients (JpegStealth) under that key's subkeys. The salt is the
// one thing a reader takes before the derivation; it too is random bits, carried by the cost
// over public places. The file is written again from its own coefficients, never its pixels.

// Up to this many hidden bits per non-zero AC coefficient the program recommends a JPEG
// stealth image; above it, it warns that detection gets likelier.
inline constexpr double kJpegStealthRecommendedRate = 0.1;

enum class JpegStealthStatus {
    Done,
    NotJpeg,  // not a JPEG this program can read (or too large, or built to be slow)
    TooLarge, // the archive does not fit, or too much of the picture is wet to carry it
    NoMemory, // the derivation or the coder could not have its memory
    NotFound, // no payload for this code: none at all, one made with another, or a changed file
    Damaged,  // one for this code whose later part does not open
    Failed,   // the seal could not be made, or the file as written does not give it back
};

struct JpegStealthMade {
    JpegStealthStatus status = JpegStealthStatus::Failed;
    QByteArray file; // the new JPEG, only when Done
    JpegStealthReport report;
};

struct JpegStealthFound {
    JpegStealthStatus status = JpegStealthStatus::NotFound;
    QByteArray archive;
};

// The figures a front end shows for a JPEG carrier.
struct JpegStealthFigures {
    bool jpeg = false;       // the file opened as a JPEG
    bool gps = false;        // its EXIF names a place
    int64_t capacity = 0;    // the longest archive it takes
    int64_t recommended = 0; // the longest that keeps to the recommended rate
    uint64_t nonZeroAc = 0;  // by which the rate is given
};

JpegStealthFigures jpegStealthFigures(const QByteArray& file);

// Hidden bits per non-zero AC coefficient for an archive of this length.
double jpegStealthRate(int64_t archiveLength, uint64_t nonZeroAc);

// With the key already derived (32 bytes) and the salt it was derived with: the coefficients
// changed in place. For tests that pin the format and callers that derive once; it holds the
// archive to the format's limit, and a caller to the writer's figure checks that first.
JpegStealthStatus jpegStealthEmbedWithKey(JpegCoefficients& jpeg, const SecretBytes& key,
                                          const JpegStealthSalt& salt, const QByteArray& archive,
                                          JpegStealthReport* report = nullptr);
JpegStealthFound jpegStealthExtractWithKey(const JpegCoefficients& jpeg, const SecretBytes& key);

// From the code: a fresh salt, one derivation, the new file written, and that file opened
// again and read back with the same key; Done only when the archive comes back from it.
JpegStealthMade jpegStealthEmbedFile(const QByteArray& carrier, const SecretBytes& code,
                                     const QByteArray& archive, const JpegWriteOptions& options,
                                     StrongCost cost = kStealthCost);

// The archive a JPEG holds for code: the salt read, one derivation, the rest read.
JpegStealthFound jpegStealthExtractFile(const QByteArray& image, const SecretBytes& code,
                                        StrongCost cost = kStealthCost);

} // namespace brindmar
