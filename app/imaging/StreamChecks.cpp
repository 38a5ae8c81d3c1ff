#include "imaging/StreamChecks.h"

#include "imaging/FileBytes.h"

namespace brindmar {

namespace {

constexpr int kMarker = 0xFF;
constexpr int kStartOfImage = 0xD8;
constexpr int kEndOfImage = 0xD9;
constexpr int kStartOfScan = 0xDA;
constexpr int kMaxScans = 1000;

// Markers that stand alone, without a length: restarts, the start of image and TEM. 0x00 after
// 0xFF inside compressed data is a stuffed byte, not a marker.
bool standsAlone(int marker) {
    return marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= kStartOfImage);
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

bool jpegSound(QIODevice& file) {
    FileBytes in(file);
    if (in.next() != kMarker || in.next() != kStartOfImage) {
        return false;
    }
    int scans = 0;
    // Between segments, and through compressed data, everything up to the next 0xFF is skipped,
    // as the decoder itself skips stray bytes before a marker.
    while (in.through(kMarker)) {
        int marker = in.next();
        while (marker == kMarker) {
            marker = in.next();
        }
        if (marker == kEndOfImage) {
            return true;
        }
        if (marker < 0) {
            return false;
        }
        if (standsAlone(marker)) {
            continue;
        }
        if (marker == kStartOfScan && ++scans > kMaxScans) {
            return false;
        }
        const uint32_t length = in.be16();
        if (in.ended() || length < 2 || !in.skip(length - 2)) {
            return false;
        }
    }
    return false;
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
