#pragma once

#include "util/Platform.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

namespace brindmar {

// The header every payload starts with: marker, scrambled code, date field, storage digits,
// lengths, then the document's name. Texts in it are 8-bit (Latin-1) bytes.
inline constexpr std::string_view kPayloadMarker = "+/VOKE01170+++";
// The header without the name.
inline constexpr int kPayloadHeaderFixedLength = 90;
inline constexpr int kCodeLength = 20;
inline constexpr int kDateFieldLength = 24;

enum class StorageMode { AsIs = 0, Compressed = 1, Encrypted = 2 };

// The packing state byte's encryption bit (8) wins over its packed bit (1): the packing step
// clears the former when encryption failed.
StorageMode storageModeFromPackingState(uint8_t packingState);

// How the document's name travels. The header's substitute digit says which: "0" the archive
// member (or the stored document) has the name in the header; "1" the member is the work copy
// "vokbdat2.tmp" and the header has the real name; "2" the header has only a stand-in and the
// real name is the member's, in UTF-8, inside the archive.
enum class NameRoute { Own = 0, WorkCopy = 1, InArchive = 2 };

// Whether the header can carry a file name exactly: Latin-1 text without control characters,
// without a backslash (a separator where images are also read), and without blanks at either
// end (readers trim them).
bool headerHoldsName(const QString& fileName);

// What the header shows for a name it cannot hold: each character it cannot keep becomes "_"
// and blanks at either end go.
QString standInName(const QString& fileName);

// The code as the header keeps it: trimmed, cut to 20 characters, padded with spaces to 20, in
// its 8-bit form.
std::string paddedCode(const QString& code);

// The header for a date field already read; documentName is reduced to its file name.
std::string composePayloadHeader(const QString& code, std::string_view dateField,
                                 StorageMode storageMode, NameRoute nameRoute,
                                 int32_t documentLength, const QString& documentName);

// Strong protection's header: its own format digit, so that readers which know only the first
// format find no payload they could open; no code, not even scrambled; no times; a neutral name.
// The sealed archive carries the real name and times.
inline constexpr char kSealedFormatDigit = '2';
inline const QString kSealedDocumentName = QStringLiteral("document");
std::string composeSealedHeader(int32_t documentLength);

// The header for the document at documentPath, its date field read from the file.
std::string BuildPayloadHeader(const Platform& platform, const QString& code,
                               const QString& documentPath, const QString& documentName,
                               StorageMode storageMode, NameRoute nameRoute,
                               int32_t documentLength);

} // namespace brindmar
