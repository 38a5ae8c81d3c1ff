// extract: reassembles the document from the low bit pairs of a 24-bit image. Each call covers
// one block of rows and derives where it stands in the payload from the block number alone.
#include "vokbfn1.h"

#include "Args.h"
#include "Streams.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vokb {
namespace {

// One document byte from each group of four colour bytes, least significant pair first.
void packGroups(const uint8_t* colours, uint8_t* out, size_t groups) {
    size_t g = 0;
#if defined(__SSE2__)
    const __m128i pairMask = _mm_set1_epi8(3);
    const __m128i lowByte16 = _mm_set1_epi16(0x00FF);
    const __m128i lowByte32 = _mm_set1_epi32(0xFF);
    // Folds 16 colour bytes into four document bytes, one in the low byte of each 32-bit lane.
    auto fold = [&](const uint8_t* in) {
        const __m128i pairs =
            _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in)), pairMask);
        const __m128i nibbles =
            _mm_and_si128(_mm_or_si128(pairs, _mm_srli_epi16(pairs, 6)), lowByte16);
        return _mm_and_si128(_mm_or_si128(nibbles, _mm_srli_epi32(nibbles, 12)), lowByte32);
    };
    for (; g + 16 <= groups; g += 16) {
        const uint8_t* in = colours + 4 * g;
        const __m128i first = _mm_packs_epi32(fold(in), fold(in + 16));
        const __m128i second = _mm_packs_epi32(fold(in + 32), fold(in + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + g), _mm_packus_epi16(first, second));
    }
#endif
    for (; g < groups; ++g) {
        uint32_t word = 0;
        std::memcpy(&word, colours + 4 * g, sizeof word);
        // Moves the four pairs, one per byte, next to each other in the top byte.
        out[g] = static_cast<uint8_t>(((word & 0x03030303u) * 0x01041040u) >> 24);
    }
}

struct Request {
    int32_t blockIndex, rowsPerBlock, dataOffset, rowBytes, docLength, headerLength;
    const char *carrierPath, *outputPath;
};

int32_t extractBlock(const Request& r) {
    const int64_t block = arg16(r.blockIndex);
    const int64_t rowsPerBlock = arg16(r.rowsPerBlock);
    const int64_t dataOffset = arg16(r.dataOffset);
    const int64_t headerLength = arg16(r.headerLength);
    const int64_t rowBytes = r.rowBytes;
    const int64_t docLength = r.docLength;
    const char* outputMode = block <= 0 ? "wb" : "ab";

    if (rowsPerBlock < 1) {
        return -1;
    }
    if (dataOffset < 1) {
        return -2;
    }
    if (rowBytes < 1) {
        return -3;
    }
    if (docLength < 1) {
        return -4;
    }
    if (headerLength < 1) {
        return -5;
    }
    if (isEmpty(r.carrierPath)) {
        return -6;
    }
    if (isEmpty(r.outputPath)) {
        return -7;
    }

    CloseAllOnExit closeAll;
    FILE* imageFile = openRegistered(r.carrierPath, "rb");
    if (imageFile == nullptr) {
        return -8;
    }
    FILE* outputFile = openRegistered(r.outputPath, outputMode);
    if (outputFile == nullptr) {
        return -9;
    }
    Reader image(imageFile, scratch(Scratch::Carrier), kScratchBytes);
    Writer out(outputFile, scratch(Scratch::Output), kScratchBytes);

    const int64_t stride = ((rowBytes - 1) / 4) * 4 + 4;
    const int64_t blockFirstRow = rowsPerBlock * block;
    auto rowStart = [&](int64_t row) { return dataOffset + (blockFirstRow + row) * stride; };
    if (!image.seek(rowStart(0))) {
        return -10;
    }
    image.setReadAheadLimit(rowStart(rowsPerBlock));

    int64_t row = 0;
    int64_t col = 0;
    int64_t firstByte = 0;
    if (block == 0) {
        // The header's bit pairs must end inside block 0, with room left for the document.
        const int64_t headerPairs = 4 * headerLength;
        if (headerPairs >= rowsPerBlock * rowBytes) {
            return -11;
        }
        row = headerPairs / rowBytes;
        col = headerPairs % rowBytes;
        if (!image.seek(rowStart(row) + col)) {
            return -12;
        }
    } else {
        firstByte = (rowsPerBlock * block * rowBytes) / 4 - headerLength;
    }

    // Compared as unsigned: a start before the document (never produced by a valid caller)
    // means there is nothing left to write.
    if (firstByte < 0 || firstByte >= docLength) {
        return out.finish() ? 0 : -14;
    }

    // A failed read fails the call even where it only read ahead: the image cannot be trusted.
    auto finish = [&](int32_t done) -> int32_t {
        if (image.error() != 0) {
            return -13;
        }
        return out.finish() ? done : -14;
    };
    int64_t toWrite = docLength - firstByte;
    uint8_t assembled = 0;
    int shift = 0;
    while (toWrite > 0) {
        if (col == rowBytes) {
            ++row;
            if (row >= rowsPerBlock) {
                // The byte under assembly is dropped; the next block starts it afresh.
                return finish(1);
            }
            if (!image.seek(rowStart(row))) {
                return -13;
            }
            col = 0;
        }
        // Take no more colour bytes than the rest of the document needs, so the call ends
        // exactly where reading one bit pair at a time would have.
        const int64_t needed = 4 * toWrite - shift / 2;
        const auto want = static_cast<size_t>(
            std::min({rowBytes - col, needed, static_cast<int64_t>(kScratchBytes)}));
        size_t take = 0;
        const uint8_t* colours = image.peek(want, take);
        if (colours == nullptr) {
            // An image that ends early yields bit pairs of 3; one that cannot be read yields
            // nothing, and the document must not be written as if it had.
            if (image.error() != 0) {
                return -13;
            }
            colours = kEndOfFile.bytes.data();
            take = std::min(want, kEndOfFile.bytes.size());
        } else {
            image.consume(take);
        }
        size_t k = 0;
        if (shift == 0) {
            const size_t groups = take / 4;
            for (size_t done = 0; done < groups;) {
                size_t room = 0;
                uint8_t* dst = out.reserve(groups - done, room);
                packGroups(colours + 4 * done, dst, room);
                out.commit(room);
                done += room;
            }
            k = 4 * groups;
            toWrite -= static_cast<int64_t>(groups);
        }
        for (; k < take; ++k) {
            assembled = static_cast<uint8_t>(assembled | ((colours[k] & 3u) << shift));
            shift += 2;
            if (shift == 8) {
                out.put(assembled);
                assembled = 0;
                shift = 0;
                --toWrite;
            }
        }
        col += static_cast<int64_t>(take);
    }
    return finish(0);
}

} // namespace
} // namespace vokb

extern "C" int32_t extract(int32_t blockIndex, int32_t rowsPerBlock, int32_t dataOffset,
                           int32_t rowBytes, int32_t docLength, int32_t headerLength,
                           const char* carrierPath, const char* outputPath) {
    return vokb::extractBlock({blockIndex, rowsPerBlock, dataOffset, rowBytes, docLength,
                               headerLength, carrierPath, outputPath});
}
