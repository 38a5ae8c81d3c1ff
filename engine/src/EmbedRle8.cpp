// embed81: the carrier's pixel array is an RLE8 stream, which cannot be entered at a computed
// offset. Each call therefore decodes straight on from where the previous block stopped and
// hands that file offset back to the caller.
#include "vokbfn1.h"

#include "Args.h"
#include "EmbedCore.h"
#include "Palette.h"
#include "Streams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vokb {
namespace {

constexpr int64_t kPaletteOffset = 54;
constexpr int64_t kMaxDataOffset = 1078;
constexpr size_t kBufferPixels = (kScratchBytes - kPixelSlack) / 3;

enum class Mode { Encoded, AbsoluteEven, AbsoluteOdd };

struct Request {
    int32_t blockIndex, resumePos, rowsPerBlock, dataOffset, cropLeftPixels, cropBottomRows,
        imageWidth, outWidth, rowCount, docLength;
    const char *header, *carrierPath, *documentPath, *outputPath;
};

// Decodes one call's rows and feeds the crop's pixels to the payload stream.
class Rle8Walker {
public:
    Rle8Walker(Reader& carrier, const Palette& palette, PayloadStream& payload, Writer& out,
               int64_t rowLen, int64_t cropLeft, int64_t outWidth)
        : m_in(carrier), m_palette(palette), m_payload(payload), m_out(out), m_rowLen(rowLen),
          m_cropLeft(cropLeft), m_outWidth(outWidth), m_colours(scratch(Scratch::Row)) {}

    // Skips one whole row below the crop; false on a malformed row.
    bool skipRow() {
        int64_t sum = 0;
        while (sum <= m_rowLen) {
            // Past the end every pair reads as an encoded run of 255, which only ever grows the
            // sum: the row is done, however wide it claims to be.
            if (m_in.atEnd()) {
                return true;
            }
            const int f = byte();
            const int s = byte();
            if (f > 0) {
                sum += f;
            } else if (s >= 3) {
                sum += s;
                m_in.skip(s + (s & 1));
            } else {
                return sum == m_rowLen && s == 0;
            }
        }
        return true;
    }

    // Decodes one crop row and writes its output row. Returns 0 or a malformed-code status.
    int32_t row(int64_t rowNumber) {
        if (!startRow()) {
            return m_cropLeft > 0 ? -18 : -19;
        }
        const int64_t untilPair = m_rowLen - m_cropLeft;
        const int64_t rowEnd = std::max<int64_t>(m_rowLen, 1);
        const bool endsWithPair = untilPair >= 1 && untilPair <= rowEnd;
        const int64_t end = endsWithPair ? untilPair : rowEnd;

        m_payload.setBitPair(rowFirstBitPair(rowNumber, m_outWidth));
        int64_t col = 0;
        while (col < end) {
            if (m_runLeft == 0 && !nextRun()) {
                flushColours();
                return -20;
            }
            const int64_t take = std::min(m_runLeft, end - col);
            const int64_t shown =
                std::clamp<int64_t>(std::min(m_outWidth, col + take) - col, 0, take);
            if (m_mode == Mode::Encoded) {
                appendRepeated(m_palette[m_index], shown);
            } else {
                appendLiterals(shown);
                m_in.skip(take - shown);
            }
            m_runLeft -= take;
            col += take;
        }
        flushColours();
        if (endsWithPair) {
            dropOddPad();
            byte();
            if (byte() > 1) {
                return -21;
            }
            m_mode = Mode::Encoded;
        }
        m_out.zeros(rowPadding(m_outWidth));
        return 0;
    }

private:
    int byte() {
        const int c = m_in.get();
        return c < 0 ? 0xFF : c;
    }

    void dropOddPad() {
        if (m_mode == Mode::AbsoluteOdd) {
            m_in.get();
        }
    }

    bool startRun(int f, int s) {
        if (f > 0) {
            m_runLeft = f;
            m_mode = Mode::Encoded;
            m_index = static_cast<uint8_t>(s);
            return true;
        }
        if (s >= 3) {
            m_runLeft = s;
            m_mode = (s & 1) != 0 ? Mode::AbsoluteOdd : Mode::AbsoluteEven;
            return true;
        }
        return false;
    }

    bool nextRun() {
        dropOddPad();
        if (m_in.atEnd()) {
            // Everything past the end decodes as encoded runs of index 255; take them as one run
            // so a hostile width cannot turn the tail into billions of iterations.
            m_runLeft = INT64_MAX;
            m_mode = Mode::Encoded;
            m_index = 0xFF;
            return true;
        }
        const int f = byte();
        const int s = byte();
        return startRun(f, s);
    }

    // Positions the decoder on the crop's first pixel of a row.
    bool startRow() {
        if (m_cropLeft <= 0) {
            const int f = byte();
            const int s = byte();
            return startRun(f, s);
        }
        int64_t sum = 0;
        for (;;) {
            const int f = byte();
            const int s = byte();
            if (f > 0) {
                sum += f;
                if (sum > m_cropLeft) {
                    m_runLeft = sum - m_cropLeft;
                    m_mode = Mode::Encoded;
                    m_index = static_cast<uint8_t>(s);
                    return true;
                }
            } else if (s >= 3) {
                sum += s;
                if (sum <= m_cropLeft) {
                    m_in.skip(s + (s & 1));
                } else {
                    // Only the literals left of the crop are skipped; an odd run's pad byte is
                    // consumed after its last literal.
                    m_in.skip(s - (sum - m_cropLeft));
                    m_mode = (s & 1) != 0 ? Mode::AbsoluteOdd : Mode::AbsoluteEven;
                    m_runLeft = sum - m_cropLeft;
                    return true;
                }
            } else {
                return false;
            }
        }
    }

    // Room for up to `want` more pixels in the colour buffer, flushing it when full.
    size_t room(int64_t want) {
        if (m_pixels == kBufferPixels) {
            flushColours();
        }
        return static_cast<size_t>(
            std::min<int64_t>(want, static_cast<int64_t>(kBufferPixels - m_pixels)));
    }

    void appendRepeated(uint32_t colour, int64_t count) {
        // Long runs are copied sixteen pixels (48 bytes) at a time from a ready-made pattern.
        uint8_t pattern[16 * 3 + 1];
        bool patternReady = false;
        while (count > 0) {
            const size_t n = room(count);
            uint8_t* dst = m_colours + 3 * m_pixels;
            size_t p = 0;
            if (n >= 16) {
                if (!patternReady) {
                    for (size_t k = 0; k < 16; ++k) {
                        storePixel(pattern + 3 * k, colour);
                    }
                    patternReady = true;
                }
                for (; p + 16 <= n; p += 16) {
                    std::memcpy(dst + 3 * p, pattern, 48);
                }
            }
            for (; p < n; ++p) {
                storePixel(dst + 3 * p, colour);
            }
            m_pixels += n;
            count -= static_cast<int64_t>(n);
        }
    }

    // The next `count` literal indices of an absolute run, expanded in place from the reader.
    void appendLiterals(int64_t count) {
        while (count > 0) {
            size_t got = 0;
            const uint8_t* indices = m_in.peek(room(count), got);
            if (indices == nullptr) {
                indices = kEndOfFile.bytes.data();
                got = std::min(room(count), kEndOfFile.bytes.size());
            } else {
                m_in.consume(got);
            }
            uint8_t* dst = m_colours + 3 * m_pixels;
            for (size_t p = 0; p < got; ++p) {
                storePixel(dst + 3 * p, m_palette[indices[p]]);
            }
            m_pixels += got;
            count -= static_cast<int64_t>(got);
        }
    }

    void flushColours() {
        embedToOutput(m_payload, m_colours, 3 * m_pixels, m_out);
        m_pixels = 0;
    }

    Reader& m_in;
    const Palette& m_palette;
    PayloadStream& m_payload;
    Writer& m_out;
    const int64_t m_rowLen;
    const int64_t m_cropLeft;
    const int64_t m_outWidth;
    uint8_t* m_colours;
    size_t m_pixels = 0;

    // Decoder state; each call starts at a row boundary, where no run is open.
    int64_t m_runLeft = 0;
    Mode m_mode = Mode::Encoded;
    uint8_t m_index = 0;
};

int32_t embedRle8(const Request& r) {
    const int64_t block = arg16(r.blockIndex);
    const int64_t rowsPerBlock = arg16(r.rowsPerBlock);
    const int64_t dataOffset = arg16(r.dataOffset);
    const int64_t cropLeft = arg16(r.cropLeftPixels);
    const int64_t cropBottom = arg16(r.cropBottomRows);
    const int64_t imageWidth = r.imageWidth;
    const int64_t width = r.outWidth;
    const int64_t rows = r.rowCount;

    if (rowsPerBlock == 0) {
        return -1;
    }
    if (dataOffset == 0 || dataOffset > kMaxDataOffset) {
        return -2;
    }
    if (imageWidth == 0) {
        return -3;
    }
    if (width == 0) {
        return -4;
    }
    if (rows == 0) {
        return -5;
    }
    if (r.docLength == 0) {
        return -6;
    }
    if (isEmpty(r.header)) {
        return -7;
    }
    if (isEmpty(r.carrierPath)) {
        return -8;
    }
    if (isEmpty(r.documentPath)) {
        return -9;
    }
    if (isEmpty(r.outputPath)) {
        return -10;
    }

    CloseAllOnExit closeAll;
    FILE* carrierFile = openRegistered(r.carrierPath, "rb");
    if (carrierFile == nullptr) {
        return -11;
    }
    FILE* documentFile = openRegistered(r.documentPath, "rb");
    if (documentFile == nullptr) {
        return -12;
    }
    FILE* outputFile = openRegistered(r.outputPath, "ab");
    if (outputFile == nullptr) {
        return -13;
    }
    Reader carrier(carrierFile, scratch(Scratch::Carrier), kScratchBytes);
    Reader document(documentFile, scratch(Scratch::Document), kScratchBytes);
    Writer out(outputFile, scratch(Scratch::Output), kScratchBytes);

    if (!carrier.seek(kPaletteOffset)) {
        return -14;
    }
    Palette palette;
    readPalette(carrier, dataOffset, palette);
    if (carrier.error() != 0) {
        return -14;
    }

    const int64_t rowLen = ((imageWidth - 1) / 4) * 4 + 4;
    PayloadStream payload(r.header, r.docLength, document);
    Rle8Walker walker(carrier, palette, payload, out, rowLen, cropLeft, width);

    int64_t firstRow = 0;
    if (block > 0) {
        firstRow = rowsPerBlock * block;
        if (!document.seek(payload.documentOffsetAt(rowFirstBitPair(firstRow, width)))) {
            return -15;
        }
        if (!carrier.seek(r.resumePos)) {
            return -16;
        }
    } else {
        for (int64_t skipped = 0; skipped < cropBottom; ++skipped) {
            if (!walker.skipRow()) {
                return carrier.error() != 0 ? -16 : -17;
            }
        }
        if (carrier.error() != 0) {
            return -16;
        }
    }

    const int64_t endRow = std::min(rows, firstRow + std::abs(rowsPerBlock));
    document.setReadAheadLimit(payload.documentOffsetAt(rowFirstBitPair(endRow, width)) + 1);
    // A typical compressed row is no longer than the raw one.
    carrier.setReadAheadLimit(carrier.tell() + (std::abs(rowLen) + 8) * (endRow - firstRow + 1));

    for (int64_t row = firstRow; row < rows; ++row) {
        if (row % rowsPerBlock == 0 && row > firstRow) {
            const int64_t resumeAt = carrier.tell();
            if (!out.finish()) {
                return -22;
            }
            return resumeAt <= INT32_MAX ? static_cast<int32_t>(resumeAt) : -23;
        }
        const int32_t status = walker.row(row);
        // A row the reads broke off is a read failure, whatever the decoder made of it.
        if (const int32_t failed = readFailure(carrier, payload, -16, -15); failed != 0) {
            return failed;
        }
        if (status != 0) {
            return status;
        }
    }
    return out.finish() ? 0 : -22;
}

} // namespace
} // namespace vokb

extern "C" int32_t embed81(int32_t blockIndex, int32_t resumePos, int32_t rowsPerBlock,
                           int32_t dataOffset, int32_t cropLeftPixels, int32_t cropBottomRows,
                           int32_t imageWidth, int32_t outWidth, int32_t rowCount,
                           int32_t docLength, const char* header, const char* carrierPath,
                           const char* documentPath, const char* outputPath) {
    return vokb::embedRle8({blockIndex, resumePos, rowsPerBlock, dataOffset, cropLeftPixels,
                            cropBottomRows, imageWidth, outWidth, rowCount, docLength, header,
                            carrierPath, documentPath, outputPath});
}
