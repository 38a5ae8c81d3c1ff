// Drives embed81 with hostile arguments and a hostile run-length stream, the way the program
// drives it: headers written first, then block after block with the returned offset.
//
// Input layout: ten coded arguments (see FuzzInput.h), in order blockIndex, resumePos,
// rowsPerBlock, dataOffset, cropLeftPixels, cropBottomRows, imageWidth, outWidth, rowCount,
// docLength; one flags byte; a header length byte and the header; a 16-bit document length and
// the document; the rest is the carrier from offset 54 on (palette, then the compressed stream)
// unless flag 0x40 asks for the rest to be the whole carrier file.
// Flags with 0x80 set damage paths: 0x01 carrier empty, 0x02 carrier missing, 0x04 document
// empty, 0x08 document missing, 0x10 output empty, 0x20 output is a folder.
#include "FuzzInput.h"

#include "vokbfn1.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

using fuzzin::Arg16;
using fuzzin::fail;

constexpr int kMaxContinuations = 16;
constexpr int64_t kHeaderBytes = 54;

struct Args {
    Arg16 blockIndex;
    int32_t resumePos;
    Arg16 rowsPerBlock;
    Arg16 dataOffset;
    Arg16 cropLeftPixels;
    Arg16 cropBottomRows;
    int32_t imageWidth;
    int32_t outWidth;
    int32_t rowCount;
    int32_t docLength;
};

struct Paths {
    std::string carrier;
    std::string document;
    std::string output;
    bool outputIsFile = true;
};

std::vector<uint8_t> fakeFileHeaders(size_t fileSize) {
    std::vector<uint8_t> h(kHeaderBytes, 0);
    h[0] = 'B';
    h[1] = 'M';
    for (int i = 0; i < 4; ++i) {
        h[2 + i] = static_cast<uint8_t>(fileSize >> (8 * i));
    }
    h[14] = 40;
    h[26] = 1;
    h[28] = 8;
    h[30] = 1; // run-length encoded
    return h;
}

void resetOutput(const Paths& p) {
    if (p.outputIsFile) {
        const std::vector<uint8_t> headers(kHeaderBytes, 0x42);
        fuzzin::writeFile(p.output, headers);
    }
}

int32_t call(const Args& a, bool seen, int32_t blockIndex, int32_t resumePos,
             const std::string& header, const Paths& p) {
    auto pick = [seen](const Arg16& v) { return seen ? v.seen : v.passed; };
    return embed81(blockIndex, resumePos, pick(a.rowsPerBlock), pick(a.dataOffset),
                   pick(a.cropLeftPixels), pick(a.cropBottomRows), a.imageWidth, a.outWidth,
                   a.rowCount, a.docLength, header.c_str(), p.carrier.c_str(), p.document.c_str(),
                   p.output.c_str());
}

void checkCode(int32_t r) {
    if (r < -23) {
        fail("embed81 result outside the documented codes", r, -23);
    }
}

// The low two bits of the crop's colour bytes must spell the header, then the document (padded
// with 255 where the file is short); padding bytes must be zero.
void checkPayload(const Args& a, const std::string& header, const std::vector<uint8_t>& doc,
                  const std::vector<uint8_t>& out) {
    const int64_t width = a.outWidth;
    const int64_t rowBytes = fuzzin::outRowBytesBound(a.outWidth);
    const auto hlen = static_cast<int64_t>(header.size());
    const int64_t payloadPairs = 4 * (hlen + a.docLength);
    for (int64_t row = 0; row < a.rowCount; ++row) {
        const int64_t base = kHeaderBytes + row * rowBytes;
        for (int64_t k = 0; k < rowBytes; ++k) {
            const uint8_t got = out[static_cast<size_t>(base + k)];
            if (k >= 3 * width) {
                if (got != 0) {
                    fail("padding byte is not zero", got, 0);
                }
                continue;
            }
            const int64_t u = row * 3 * width + k;
            if (u >= payloadPairs) {
                continue;
            }
            const int64_t idx = u / 4;
            uint8_t byte = 255;
            if (idx < hlen) {
                byte = static_cast<uint8_t>(header[static_cast<size_t>(idx)]);
            } else if (idx - hlen < static_cast<int64_t>(doc.size())) {
                byte = doc[static_cast<size_t>(idx - hlen)];
            }
            const int want = (byte >> (2 * (u % 4))) & 3;
            if ((got & 3) != want) {
                fail("bit pair differs from the payload", u, want);
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t len) {
    fuzzin::Reader in(data, len);
    Args a{};
    a.blockIndex = fuzzin::arg16(in, -32768, 32767);
    a.resumePos = fuzzin::arg32(in, INT32_MIN, INT32_MAX);
    a.rowsPerBlock = fuzzin::arg16(in, -32768, 32767);
    a.dataOffset = fuzzin::arg16(in, -32768, 32767);
    a.cropLeftPixels = fuzzin::arg16(in, -32768, 32767);
    a.cropBottomRows = fuzzin::arg16(in, -64, 64);
    a.imageWidth = fuzzin::arg32(in, -2048, 2048);
    a.outWidth = fuzzin::arg32(in, -2048, 2048);
    a.rowCount = fuzzin::arg32(in, -64, 64);
    a.docLength = fuzzin::arg32(in, INT32_MIN, 4096);
    const uint8_t flags = in.byte();
    const auto headerBytes = in.take(in.byte());
    // The engine sees the header up to its first NUL, like any C string.
    std::string header(headerBytes.begin(), headerBytes.end());
    header.resize(std::strlen(header.c_str()));
    const auto doc = in.take(in.u16() % 4097u);
    const auto body = in.rest();

    const std::string& dir = fuzzin::workDir();
    Paths p{dir + "/carrier.bmp", dir + "/document.bin", dir + "/output.bmp", true};
    if ((flags & 0x40) != 0) {
        fuzzin::writeFile(p.carrier, body);
    } else {
        auto file = fakeFileHeaders(body.size() + kHeaderBytes);
        file.insert(file.end(), body.begin(), body.end());
        fuzzin::writeFile(p.carrier, file);
    }
    fuzzin::writeFile(p.document, doc);
    if ((flags & 0x80) != 0) {
        if ((flags & 0x01) != 0) {
            p.carrier.clear();
        } else if ((flags & 0x02) != 0) {
            p.carrier = dir + "/no-such-carrier.bmp";
        }
        if ((flags & 0x04) != 0) {
            p.document.clear();
        } else if ((flags & 0x08) != 0) {
            p.document = dir + "/no-such-document.bin";
        }
        if ((flags & 0x10) != 0) {
            p.output.clear();
            p.outputIsFile = false;
        } else if ((flags & 0x20) != 0) {
            p.output = dir + "/folder";
            std::filesystem::create_directories(p.output);
            p.outputIsFile = false;
        }
    }

    // Values passed with a dirty high half must behave exactly like their clean 16-bit reading.
    const bool wrapped = a.blockIndex.passed != a.blockIndex.seen ||
                         a.rowsPerBlock.passed != a.rowsPerBlock.seen ||
                         a.dataOffset.passed != a.dataOffset.seen ||
                         a.cropLeftPixels.passed != a.cropLeftPixels.seen ||
                         a.cropBottomRows.passed != a.cropBottomRows.seen;
    int32_t cleanResult = 0;
    int64_t cleanSize = 0;
    if (wrapped) {
        resetOutput(p);
        cleanResult = call(a, true, a.blockIndex.seen, a.resumePos, header, p);
        cleanSize = p.outputIsFile ? fuzzin::fileSize(p.output) : 0;
    }

    resetOutput(p);
    const int64_t rowBytes = fuzzin::outRowBytesBound(a.outWidth);
    const int32_t rpb = a.rowsPerBlock.seen;
    const bool fromStart = a.blockIndex.seen <= 0;
    int32_t blockPassed = a.blockIndex.passed;
    int32_t resume = a.resumePos;
    int32_t result = 0;
    int64_t size = kHeaderBytes;
    for (int n = 0; n <= kMaxContinuations; ++n) {
        const int32_t block = fuzzin::low16(blockPassed);
        result = call(a, false, blockPassed, resume, header, p);
        checkCode(result);
        if (p.outputIsFile) {
            const int64_t now = fuzzin::fileSize(p.output);
            const int64_t r0 = block > 0 ? static_cast<int64_t>(rpb) * block : 0;
            const int64_t rows =
                rpb == 0 ? 0
                         : std::min<int64_t>(std::abs(rpb), std::max<int64_t>(0, a.rowCount - r0));
            if (now - size > rows * rowBytes) {
                fail("one call wrote more rows than its block holds", now - size, rows * rowBytes);
            }
            if (n == 0 && wrapped && now != cleanSize) {
                fail("a 16-bit argument's high half changed the output", now, cleanSize);
            }
            size = now;
        }
        if (n == 0 && wrapped && result != cleanResult) {
            fail("a 16-bit argument's high half changed the result", result, cleanResult);
        }
        if (result > 0 && fromStart && result < kHeaderBytes) {
            fail("block offset lies inside the file headers", result, kHeaderBytes);
        }
        if (result <= 0) {
            break;
        }
        resume = result;
        blockPassed = static_cast<int32_t>(static_cast<uint32_t>(blockPassed) + 1u);
    }

    const bool canonical = a.blockIndex.seen == 0 && rpb > 0 && p.outputIsFile;
    if (!canonical) {
        return 0;
    }
    const int64_t rows = std::max<int64_t>(0, a.rowCount);
    if (a.outWidth > 0 && size > kHeaderBytes + rows * rowBytes) {
        fail("output longer than the crop", size, kHeaderBytes + rows * rowBytes);
    }
    // Rows are only written at full width when the crop lies inside the decoded row; a wider
    // crop gets the row's decoded pixels and then its padding.
    const int64_t rowLen = ((static_cast<int64_t>(a.imageWidth) - 1) / 4) * 4 + 4;
    const int32_t left = a.cropLeftPixels.seen;
    const bool cropFits =
        a.imageWidth > 0 && left >= 0 && left < rowLen && a.outWidth <= rowLen - left;
    if (result != 0 || a.outWidth <= 0 || !cropFits) {
        return 0;
    }
    if (size != kHeaderBytes + rows * rowBytes) {
        fail("finished output does not hold every crop row", size, kHeaderBytes + rows * rowBytes);
    }
    // Later blocks locate the document from the block number; that only lines up with whole
    // payload bytes when a block holds a multiple of 4 colour bytes.
    const bool aligned = (static_cast<int64_t>(rpb) * a.outWidth * 3) % 4 == 0 || rows <= rpb;
    if (a.docLength > 0 && aligned && !header.empty()) {
        checkPayload(a, header, doc, fuzzin::readFile(p.output));
    }
    return 0;
}
