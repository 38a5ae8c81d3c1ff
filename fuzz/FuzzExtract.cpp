// Drives extract with hostile arguments and a hostile image, block after block as the program
// does, and compares what it writes with the bit pairs the image actually holds.
//
// Input layout: six coded arguments (see FuzzInput.h), in order blockIndex, rowsPerBlock,
// dataOffset, rowBytes, docLength, headerLength; one flags byte; the rest is the image file.
// Flags with 0x80 set damage paths: 0x01 image empty, 0x02 image missing, 0x10 output empty,
// 0x20 output is a folder.
#include "FuzzInput.h"

#include "vokbfn1.h"

#include <algorithm>
#include <filesystem>

namespace {

using fuzzin::Arg16;
using fuzzin::fail;

constexpr int kMaxContinuations = 16;
// The output starts with bytes no call may keep: block 0 must truncate, failed checks must not
// touch it.
const std::vector<uint8_t> kStale = {'s', 't', 'a', 'l', 'e', '!', '!'};

struct Args {
    Arg16 blockIndex;
    Arg16 rowsPerBlock;
    Arg16 dataOffset;
    int32_t rowBytes;
    int32_t docLength;
    Arg16 headerLength;
};

struct Paths {
    std::string image;
    std::string output;
    bool outputIsFile = true;
};

int32_t call(const Args& a, bool seen, int32_t blockIndex, const Paths& p) {
    auto pick = [seen](const Arg16& v) { return seen ? v.seen : v.passed; };
    return extract(blockIndex, pick(a.rowsPerBlock), pick(a.dataOffset), a.rowBytes, a.docLength,
                   pick(a.headerLength), p.image.c_str(), p.output.c_str());
}

void resetOutput(const Paths& p) {
    if (p.outputIsFile) {
        fuzzin::writeFile(p.output, kStale);
    }
}

// Document bytes as the image's colour bytes spell them, end of file reading as bit pair 3.
std::vector<uint8_t> expectedDocument(const Args& a, const std::vector<uint8_t>& image) {
    const int64_t rb = a.rowBytes;
    const int64_t stride = ((rb - 1) / 4) * 4 + 4;
    auto pairAt = [&](int64_t n) {
        const int64_t off = a.dataOffset.seen + (n / rb) * stride + n % rb;
        return off < static_cast<int64_t>(image.size()) ? image[static_cast<size_t>(off)] & 3 : 3;
    };
    std::vector<uint8_t> doc(static_cast<size_t>(a.docLength));
    for (int64_t j = 0; j < a.docLength; ++j) {
        int v = 0;
        for (int t = 0; t < 4; ++t) {
            v |= pairAt(4 * (a.headerLength.seen + j) + t) << (2 * t);
        }
        doc[static_cast<size_t>(j)] = static_cast<uint8_t>(v);
    }
    return doc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t len) {
    fuzzin::Reader in(data, len);
    Args a{};
    a.blockIndex = fuzzin::arg16(in, -32768, 32767);
    a.rowsPerBlock = fuzzin::arg16(in, -32768, 32767);
    a.dataOffset = fuzzin::arg16(in, -32768, 32767);
    a.rowBytes = fuzzin::arg32(in, -6144, 6144);
    a.docLength = fuzzin::arg32(in, INT32_MIN, 4096);
    a.headerLength = fuzzin::arg16(in, -32768, 32767);
    const uint8_t flags = in.byte();
    const auto image = in.rest();

    const std::string& dir = fuzzin::workDir();
    Paths p{dir + "/image.bmp", dir + "/document.out", true};
    fuzzin::writeFile(p.image, image);
    if ((flags & 0x80) != 0) {
        if ((flags & 0x01) != 0) {
            p.image.clear();
        } else if ((flags & 0x02) != 0) {
            p.image = dir + "/no-such-image.bmp";
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

    const bool wrapped =
        a.blockIndex.passed != a.blockIndex.seen || a.rowsPerBlock.passed != a.rowsPerBlock.seen ||
        a.dataOffset.passed != a.dataOffset.seen || a.headerLength.passed != a.headerLength.seen;
    int32_t cleanResult = 0;
    int64_t cleanSize = 0;
    if (wrapped) {
        resetOutput(p);
        cleanResult = call(a, true, a.blockIndex.seen, p);
        cleanSize = p.outputIsFile ? fuzzin::fileSize(p.output) : 0;
    }

    resetOutput(p);
    const int64_t rpb = a.rowsPerBlock.seen;
    const int64_t h = a.headerLength.seen;
    const int64_t blockBytes = rpb > 0 && a.rowBytes > 0 ? rpb * a.rowBytes / 4 : 0;
    int32_t blockPassed = a.blockIndex.passed;
    int32_t result = 0;
    int64_t size = static_cast<int64_t>(kStale.size());
    for (int n = 0; n <= kMaxContinuations; ++n) {
        const int64_t block = fuzzin::low16(blockPassed);
        result = call(a, false, blockPassed, p);
        if (result > 1 || result < -14) {
            fail("extract result outside the documented codes", result, 0);
        }
        if (n == 0 && wrapped && result != cleanResult) {
            fail("a 16-bit argument's high half changed the result", result, cleanResult);
        }
        if (p.outputIsFile) {
            const int64_t now = fuzzin::fileSize(p.output);
            if (n == 0 && wrapped && now != cleanSize) {
                fail("a 16-bit argument's high half changed the output", now, cleanSize);
            }
            const bool opened = result >= 0 || result <= -10;
            if (!opened && now != size) {
                fail("a call that failed its checks changed the output", now, size);
            }
            if (opened && block <= 0) {
                const int64_t limit =
                    std::min<int64_t>(a.docLength, std::max<int64_t>(0, blockBytes - h));
                if (now > limit) {
                    fail("block 0 wrote more than its rows hold after the header", now, limit);
                }
            }
            if (opened && block > 0) {
                if (now - size > blockBytes) {
                    fail("a block wrote more than its rows hold", now - size, blockBytes);
                }
                const int64_t j0 = rpb * block * a.rowBytes / 4 - h;
                if (j0 >= 0 && now - size > std::max<int64_t>(0, a.docLength - j0)) {
                    fail("a block wrote past the document's end", now - size, a.docLength - j0);
                }
            }
            size = now;
        }
        if (result != 1) {
            break;
        }
        blockPassed = static_cast<int32_t>(static_cast<uint32_t>(blockPassed) + 1u);
    }

    if (a.blockIndex.seen != 0 || rpb <= 0 || !p.outputIsFile || result < 0) {
        return 0;
    }
    if (size > a.docLength) {
        fail("output longer than docLength", size, a.docLength);
    }
    // Blocks only line up with whole document bytes when each holds a multiple of 4 bytes;
    // otherwise every block boundary legitimately drops the byte it splits.
    if (result != 0 || (rpb * a.rowBytes) % 4 != 0) {
        return 0;
    }
    if (size != a.docLength) {
        fail("finished output is not docLength bytes", size, a.docLength);
    }
    if (fuzzin::readFile(p.output) != expectedDocument(a, image)) {
        fail("extracted bytes differ from the image's bit pairs", size, 0);
    }
    return 0;
}
