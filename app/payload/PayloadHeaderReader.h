#pragma once

#include "payload/PayloadHeader.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace brindmar {

// What ReadPayloadHeader reports. Negative values: a payload that opens with the code given.
struct PayloadStatus {
    static constexpr int16_t DocumentAsIs = -1;
    static constexpr int16_t CompressedArchive = -2;
    static constexpr int16_t EncryptedArchive = -3;
    // Sealed with strong protection: offered whatever the code, which only opening it can test.
    static constexpr int16_t SealedArchive = -4;
    static constexpr int16_t NotBmp = 1;
    static constexpr int16_t PlanesNotOne = 2;
    static constexpr int16_t Not24Bit = 3;
    static constexpr int16_t CompressedImage = 4;
    static constexpr int16_t TooLargeForImage = 5;
    static constexpr int16_t EmptyDocument = 6;
    static constexpr int16_t NoMarker = 8;
    static constexpr int16_t UnknownFormat = 9;
    static constexpr int16_t OtherCode = 10;
    // The image could not be read (readError holds why): nothing can be said about its payload.
    static constexpr int16_t ReadError = 11;
};

struct PayloadHeaderInfo {
    int16_t status = PayloadStatus::NotBmp;
    int16_t dataOffset = 0; // low half of the pixel-data offset, as the engine reads it
    int32_t rowBytes = 0;   // colour bytes per row without padding
    int32_t documentLength = 0;
    int32_t nameLength = 0;      // as stored; the name below may be shorter after cleaning
    QString documentName;        // a plain file name, safe to join to a folder
    std::string dateField;       // the 24 characters for WriteFileDate
    bool substituteName = false; // the archive member is the work copy "vokbdat2.tmp"
    bool nameInArchive = false;  // documentName is a stand-in; the member has the real name
    // Set once the code field has been read: the code the payload was made with (empty when it
    // has none), for the window to keep, and whether a code protects it.
    std::optional<QString> storedCode;
    bool codeProtected = false;
    bool sealed = false;
    int readError = 0; // errno of a read that failed, with ReadError
    // The header exactly as stored, name included; a sealed archive is bound to it.
    std::string rawHeader;

    bool payloadFound() const { return status < 0; }
    // Payload bytes ahead of the document.
    int32_t headerLength() const { return kPayloadHeaderFixedLength + nameLength; }
};

// Looks for a payload in a carrier file without the engine and checks it against the user's
// current code. The file is untrusted: every length is checked against what the image and the
// file really hold before it is believed, nothing is allocated beyond the file's own size, and
// only ordinary files are opened.
PayloadHeaderInfo ReadPayloadHeader(const QString& carrierPath, const QString& currentCode);

// A stored name reduced to something that can only name a file inside the folder it is joined
// to: no folder part, no control characters, not empty, not "." or "..". Blanks at its ends go
// unless kept: a header's name has them trimmed, an archive member's name is exact.
QString safeDocumentName(const QString& storedName, bool keepBlanks = false);

} // namespace brindmar
