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

// The code as the header keeps it: trimmed, cut to 20 characters, padded with spaces to 20, in
// its 8-bit form.
std::string paddedCode(const QString& code);

// The header for a date field already read; documentName is reduced to its file name.
std::string composePayloadHeader(const QString& code, std::string_view dateField,
                                 StorageMode storageMode, bool substituteName,
                                 int32_t documentLength, const QString& documentName);

// The header for the document at documentPath, its date field read from the file.
std::string BuildPayloadHeader(const Platform& platform, const QString& code,
                               const QString& documentPath, const QString& documentName,
                               StorageMode storageMode, bool substituteName,
                               int32_t documentLength);

} // namespace brindmar
