// embed24 and embed80: the same walk over a rectangular crop of an uncompressed carrier; the
// 8-bit carrier's pixels are first expanded through its palette into the three colour bytes a
// 24-bit carrier would hold.
#include "vokbfn1.h"

#include "Args.h"
#include "EmbedCore.h"
#include "Palette.h"
#include "Streams.h"

#include <algorithm>
#include <cstdlib>

namespace vokb {
namespace {

constexpr int64_t kPaletteOffset = 54;
constexpr int64_t kMaxDataOffset = 1078;

struct Codes {
    int32_t rowsPerBlockZero;
    int32_t palettePosition;
    int32_t documentPosition;
    int32_t rowPosition;
    int32_t writeFailed;
};

constexpr Codes kCodes24{-14, 0, -12, -13, -15};
constexpr Codes kCodes80{-15, -12, -13, -14, -16};

struct Request {
    int32_t blockIndex, rowsPerBlock, dataOffset, cropLeftBytes, cropBottomRows, rowStride,
        outWidth, rowCount, docLength;
    const char *header, *carrierPath, *documentPath, *outputPath;
};

// Embeds one carrier row's crop of `width` pixels into the output, reading the carrier in place.
void embedRow(Reader& carrier, PayloadStream& payload, Writer& out, int64_t width,
              const Palette* palette) {
    const int64_t bytesPerPixel = palette == nullptr ? 3 : 1;
    constexpr int64_t kChunkPixels = static_cast<int64_t>(kScratchBytes - kPixelSlack) / 3;
    uint8_t* colours = scratch(Scratch::Row);
    for (int64_t left = width * bytesPerPixel; left > 0;) {
        const auto want = static_cast<size_t>(std::min(left, kChunkPixels));
        size_t got = 0;
        const uint8_t* bytes = carrier.peek(want, got);
        if (bytes == nullptr) {
            bytes = kEndOfFile.bytes.data();
            got = std::min(want, kEndOfFile.bytes.size());
        } else {
            carrier.consume(got);
        }
        if (palette == nullptr) {
            embedToOutput(payload, bytes, got, out);
        } else {
            expandPixels(*palette, bytes, got, colours);
            embedToOutput(payload, colours, 3 * got, out);
        }
        left -= static_cast<int64_t>(got);
    }
}

int32_t embedUncompressed(const Request& r, const Codes& codes, bool indexed) {
    const int64_t block = arg16(r.blockIndex);
    const int64_t rowsPerBlock = arg16(r.rowsPerBlock);
    const int64_t dataOffset = arg16(r.dataOffset);
    const int64_t cropLeft = arg16(r.cropLeftBytes);
    const int64_t cropBottom = arg16(r.cropBottomRows);
    const int64_t stride = r.rowStride;
    const int64_t width = r.outWidth;
    const int64_t rows = r.rowCount;

    if (stride == 0) {
        return -1;
    }
    if (width == 0) {
        return -2;
    }
    if (rows == 0) {
        return -3;
    }
    if (dataOffset == 0 || dataOffset > kMaxDataOffset) {
        return -4;
    }
    if (rowsPerBlock == 0) {
        return codes.rowsPerBlockZero;
    }
    if (isEmpty(r.header)) {
        return -5;
    }
    if (isEmpty(r.carrierPath)) {
        return -6;
    }
    if (isEmpty(r.documentPath)) {
        return -7;
    }
    if (isEmpty(r.outputPath)) {
        return -8;
    }

    CloseAllOnExit closeAll;
    FILE* carrierFile = openRegistered(r.carrierPath, "rb");
    if (carrierFile == nullptr) {
        return -9;
    }
    FILE* documentFile = openRegistered(r.documentPath, "rb");
    if (documentFile == nullptr) {
        return -10;
    }
    FILE* outputFile = openRegistered(r.outputPath, "ab");
    if (outputFile == nullptr) {
        return -11;
    }
    Reader carrier(carrierFile, scratch(Scratch::Carrier), kScratchBytes);
    Reader document(documentFile, scratch(Scratch::Document), kScratchBytes);
    Writer out(outputFile, scratch(Scratch::Output), kScratchBytes);

    Palette palette;
    if (indexed) {
        if (!carrier.seek(kPaletteOffset)) {
            return codes.palettePosition;
        }
        readPalette(carrier, dataOffset, palette);
        if (carrier.error() != 0) {
            return codes.palettePosition;
        }
    }

    PayloadStream payload(r.header, r.docLength, document);
    int64_t firstRow = 0;
    if (block > 0) {
        firstRow = rowsPerBlock * block;
        if (!document.seek(payload.documentOffsetAt(rowFirstBitPair(firstRow, width)))) {
            return codes.documentPosition;
        }
    }

    // Read no further ahead than this block's rows need: the caller makes thousands of calls.
    const int64_t endRow = std::min(rows, firstRow + std::abs(rowsPerBlock));
    const int64_t rowBytes = indexed ? width : 3 * width;
    auto rowOffset = [&](int64_t row) {
        return dataOffset + cropLeft + (cropBottom + row) * stride;
    };
    carrier.setReadAheadLimit(std::max(rowOffset(firstRow), rowOffset(endRow - 1)) + rowBytes);
    document.setReadAheadLimit(payload.documentOffsetAt(rowFirstBitPair(endRow, width)) + 1);

    const int64_t padding = rowPadding(width);
    for (int64_t row = firstRow; row < rows; ++row) {
        if (row % rowsPerBlock == 0 && row > firstRow) {
            return out.finish() ? 1 : codes.writeFailed;
        }
        if (!carrier.seek(rowOffset(row))) {
            return codes.rowPosition;
        }
        payload.setBitPair(rowFirstBitPair(row, width));
        embedRow(carrier, payload, out, width, indexed ? &palette : nullptr);
        if (const int32_t status =
                readFailure(carrier, payload, codes.rowPosition, codes.documentPosition);
            status != 0) {
            return status;
        }
        out.zeros(padding);
    }
    return out.finish() ? 0 : codes.writeFailed;
}

} // namespace
} // namespace vokb

extern "C" int32_t embed24(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                           int32_t cropLeftBytes, int32_t cropBottomRows, int32_t rowStride,
                           int32_t outWidth, int32_t rowCount, int32_t docLength,
                           const char* header, const char* carrierPath, const char* documentPath,
                           const char* outputPath) {
    return vokb::embedUncompressed({blockIndex, rowsPerBlock, dataOffset, cropLeftBytes,
                                    cropBottomRows, rowStride, outWidth, rowCount, docLength,
                                    header, carrierPath, documentPath, outputPath},
                                   vokb::kCodes24, false);
}

extern "C" int32_t embed80(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                           int32_t cropLeftBytes, int32_t cropBottomRows, int32_t rowStride,
                           int32_t outWidth, int32_t rowCount, int32_t docLength,
                           const char* header, const char* carrierPath, const char* documentPath,
                           const char* outputPath) {
    return vokb::embedUncompressed({blockIndex, rowsPerBlock, dataOffset, cropLeftBytes,
                                    cropBottomRows, rowStride, outWidth, rowCount, docLength,
                                    header, carrierPath, documentPath, outputPath},
                                   vokb::kCodes80, true);
}
