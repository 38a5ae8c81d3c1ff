#include "imaging/StreamChecks.h"

#include "imaging/FileBytes.h"

#include <algorithm>
#include <vector>

namespace brindmar {

namespace {

constexpr int kMarker = 0xFF;
constexpr int kStartOfImage = 0xD8;
constexpr int kEndOfImage = 0xD9;
constexpr int kStartOfScan = 0xDA;
// Each scan of a progressive JPEG passes over the whole image again. A photograph has about
// ten; past this many passes over pixels a file is taken for an attempt to keep the decoder
// busy (a small file of tiny scans costs minutes at the largest size).
constexpr int64_t kScanPixelBudget = int64_t{50} * 12000 * 12000;
constexpr int64_t kMinScans = 50;
constexpr int64_t kMaxScans = 1000;

// Markers that stand alone, without a length: restarts, the start of image and TEM. 0x00 after
// 0xFF inside compressed data is a stuffed byte, not a marker.
bool standsAlone(int marker) {
    return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= kStartOfImage);
}

// Start of frame: every coding process, not the DHT (C4), JPG (C8) and DAC (CC) markers in
// their range.
bool startsFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool progressiveFrame(int marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

// The frame header: precision, height, width, then the components with their sampling.
bool readFrame(FileBytes& in, int marker, uint32_t length, JpegFacts& facts) {
    in.next(); // precision
    facts.height = in.be16();
    facts.width = in.be16();
    const int components = in.next();
    if (in.ended() || components <= 0 || length != 8 + 3 * static_cast<uint32_t>(components)) {
        return false;
    }
    struct Sampling {
        int h;
        int v;
    };
    std::vector<Sampling> sampling;
    int hMax = 1;
    int vMax = 1;
    for (int i = 0; i < components; ++i) {
        in.next(); // identifier
        const int factors = in.next();
        in.next(); // quantisation table
        const Sampling s{std::max(factors >> 4, 1), std::max(factors & 0x0F, 1)};
        hMax = std::max(hMax, s.h);
        vMax = std::max(vMax, s.v);
        sampling.push_back(s);
    }
    if (in.ended()) {
        return false;
    }
    facts.progressive = progressiveFrame(marker);
    if (facts.progressive) {
        // The decoder keeps every coefficient of every block, two bytes each, until the last
        // scan is in.
        for (const Sampling& s : sampling) {
            const int64_t blocksWide = (facts.width * s.h + 8 * hMax - 1) / (8 * hMax);
            const int64_t blocksHigh = (facts.height * s.v + 8 * vMax - 1) / (8 * vMax);
            facts.coefficientBytes += blocksWide * blocksHigh * 64 * 2;
        }
    }
    return true;
}

bool skipSubBlocks(FileBytes& in) {
    for (;;) {
        const int length = in.next();
        if (length <= 0) {
            return length == 0;
        }
        if (!in.skip(length)) {
            return false;
        }
    }
}

bool skipColourTable(FileBytes& in, int flags) {
    return (flags & 0x80) == 0 || in.skip(3 * (2 << (flags & 0x07)));
}

} // namespace

int64_t jpegScanLimit(int64_t width, int64_t height) {
    const int64_t area = std::max<int64_t>(width * height, 1);
    return std::clamp<int64_t>(kScanPixelBudget / area, kMinScans, kMaxScans);
}

JpegFacts inspectJpeg(QIODevice& file) {
    JpegFacts facts;
    FileBytes in(file);
    if (in.next() != kMarker || in.next() != kStartOfImage) {
        return facts;
    }
    int64_t scans = 0;
    bool framed = false;
    // Between segments, and through compressed data, everything up to the next 0xFF is skipped,
    // as the decoder itself skips stray bytes before a marker.
    while (in.through(kMarker)) {
        int marker = in.next();
        while (marker == kMarker) {
            marker = in.next();
        }
        if (marker == kEndOfImage) {
            facts.sound = framed;
            return facts;
        }
        if (marker < 0) {
            return facts;
        }
        if (standsAlone(marker)) {
            continue;
        }
        if (marker == kStartOfScan && !framed) {
            return facts;
        }
        if (marker == kStartOfScan && ++scans > jpegScanLimit(facts.width, facts.height)) {
            facts.tooManyScans = true;
            return facts;
        }
        const uint32_t length = in.be16();
        if (in.ended() || length < 2) {
            return facts;
        }
        if (!framed && startsFrame(marker)) {
            // The first frame is the image; a preview in an Exif segment was stepped over whole.
            if (!readFrame(in, marker, length, facts)) {
                return facts;
            }
            framed = true;
        } else if (!in.skip(length - 2)) {
            return facts;
        }
    }
    return facts;
}

bool gifFirstFrameComplete(QIODevice& file) {
    FileBytes in(file);
    // Signature and version (6), screen width and height (4), then the flags.
    if (!in.skip(10)) {
        return false;
    }
    const int screenFlags = in.next();
    if (!in.skip(2) || !skipColourTable(in, screenFlags)) {
        return false;
    }
    for (;;) {
        switch (in.next()) {
        case 0x21: // extension: its label, then sub-blocks
            if (in.next() < 0 || !skipSubBlocks(in)) {
                return false;
            }
            break;
        case 0x2C: { // image: position and size (8), flags, colours, code size, data
            if (!in.skip(8)) {
                return false;
            }
            const int flags = in.next();
            return flags >= 0 && skipColourTable(in, flags) && in.next() >= 0 && skipSubBlocks(in);
        }
        default: // the trailer before any image, an unknown block or the end of the file
            return false;
        }
    }
}

} // namespace brindmar
