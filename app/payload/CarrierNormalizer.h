#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace brindmar {

// The engine reads 8-bit carriers of one shape only: the palette right after the two headers
// and ending where the pixels start, at offset 1078 at most, and compressed rows that each
// decode to the width rounded up to 4 pixels, with no position jumps. Ordinary files of other
// shapes are handed to it as an equivalent uncompressed copy instead.
enum class Indexed8Route {
    AsIs,    // the engine reads the carrier itself
    Convert, // the engine reads the uncompressed copy
    Refused, // the pixels cannot be followed to the end: nothing to embed into
};

enum class CarrierFault {
    None,
    Unreadable, // the headers are not those of a usable 8-bit carrier (any more)
    PastRowEnd, // a run or a position jump goes past the end of its row
    EndsEarly,  // the compressed pixels stop before the image is complete
};

struct Indexed8Plan {
    Indexed8Route route = Indexed8Route::Refused;
    CarrierFault fault = CarrierFault::Unreadable;
    int64_t convertedBytes = 0; // the size of the copy when route is Convert
};

// Judges an 8-bit carrier in one pass that reads the run lengths of a compressed stream and
// skips its literal pixels.
Indexed8Plan planIndexed8Carrier(const QString& path);

enum class ConversionEnd { Written, SourceFault, WriteFailed, Stopped };

struct ConversionResult {
    ConversionEnd end = ConversionEnd::SourceFault;
    CarrierFault fault = CarrierFault::None; // with SourceFault
    int error = 0;                           // errno, with WriteFailed
    int32_t dataOffset = 0;                  // of the copy, once written
};

// Writes the uncompressed equivalent of an 8-bit carrier to target: the two headers, the
// palette at offset 54, rows padded to 4 bytes, bottom row first. Pixels that a compressed
// stream skips with a position jump or never reaches take palette index 0, as image readers
// show them. The pixels stream through one buffer, so a carrier of any size costs the same
// memory. keepGoing is asked every few megabytes; false stops the conversion. target is created
// for the user alone and never written through a link.
ConversionResult writeUncompressedIndexed8(const QString& source, const QString& target,
                                           const std::function<bool()>& keepGoing);

} // namespace brindmar
