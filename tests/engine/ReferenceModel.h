#pragma once

// A deliberately naive second implementation of the engine's pixel work, kept apart from the
// engine's sources so that the two can be compared byte for byte. It works on whole files in
// memory and returns what a call would append to (embedders) or write into (extract) its output.
// Only the numeric argument checks are modelled; strings and file opening are the caller's.

#include "BmpBuilder.h"

#include <cstdint>
#include <string>

namespace refmodel {

using bmptest::Bytes;

// The filler generator, one instance per simulated thread; starts at state 1.
class Filler {
public:
    uint8_t next();

private:
    uint32_t state_ = 1;
};

struct CallResult {
    int32_t status = 0;
    Bytes written;
};

// Arguments as passed to the export, before the 16-bit ones are narrowed.
struct EmbedArgs {
    int32_t blockIndex = 0;
    int32_t rowsPerBlock = 4;
    int32_t dataOffset = 54;
    int32_t cropLeft = 0; // bytes for embed24, pixels for embed80
    int32_t cropBottomRows = 0;
    int32_t rowStride = 0;
    int32_t outWidth = 0;
    int32_t rowCount = 0;
    int32_t docLength = 0;
    std::string header;
};

struct Rle8Args {
    int32_t blockIndex = 0;
    int32_t resumePos = 0;
    int32_t rowsPerBlock = 4;
    int32_t dataOffset = 54;
    int32_t cropLeftPixels = 0;
    int32_t cropBottomRows = 0;
    int32_t imageWidth = 0;
    int32_t outWidth = 0;
    int32_t rowCount = 0;
    int32_t docLength = 0;
    std::string header;
};

struct ExtractArgs {
    int32_t blockIndex = 0;
    int32_t rowsPerBlock = 4;
    int32_t dataOffset = 54;
    int32_t rowBytes = 0;
    int32_t docLength = 0;
    int32_t headerLength = 0;
};

CallResult embed24(const EmbedArgs& args, const Bytes& carrier, const Bytes& document,
                   Filler& filler);
CallResult embed80(const EmbedArgs& args, const Bytes& carrier, const Bytes& document,
                   Filler& filler);
CallResult embed81(const Rle8Args& args, const Bytes& carrier, const Bytes& document,
                   Filler& filler);
CallResult extract(const ExtractArgs& args, const Bytes& image);

} // namespace refmodel
