// A JPEG carrier, or a JPEG said to hold a stream, is any file: whoever has the code may be
// handed one that someone else made or broke. The input is the file itself. What is checked is
// what the opener and the coder promise: no crash and no exit from libjpeg; a file that opens
// and can be written again reads back with the same coefficients; a stream carried in it comes
// back under its keys; whatever the file holds, the reader hands back at most what fits.
#include "protection/JpegStealth.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "JPEG opener broke its promise: %s\n", what);
        std::abort();
    }
}

const brindmar::JpegStealthKeys& fixedKeys() {
    static const brindmar::JpegStealthKeys keys = [] {
        brindmar::JpegStealthKeys made;
        made.walk.fill(0x11);
        made.head.fill(0x22);
        made.code.fill(0x33);
        made.directions.fill(0x44);
        return made;
    }();
    return keys;
}

bool sameCoefficients(const brindmar::JpegCoefficients& a, const brindmar::JpegCoefficients& b) {
    if (a.components().size() != b.components().size()) {
        return false;
    }
    for (size_t c = 0; c < a.components().size(); ++c) {
        if (a.components()[c].coefficients != b.components()[c].coefficients) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace brindmar;
    const QByteArray file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    JpegCoefficients jpeg;
    if (jpeg.open(file) != JpegOpenStatus::Done) {
        return 0;
    }
    const std::optional<QByteArray> found = jpegStealthRead(jpeg, fixedKeys());
    require(!found || static_cast<uint64_t>(found->size()) <= jpegStealthCapacity(jpeg),
            "read a stream longer than the file takes");

    // A coefficient out of the coder's range cannot be written; the writer says so by writing
    // nothing.
    const QByteArray written = jpeg.write();
    if (written.isEmpty()) {
        return 0;
    }
    JpegCoefficients back;
    require(back.open(written) == JpegOpenStatus::Done, "wrote a file it cannot open");
    require(sameCoefficients(jpeg, back), "wrote other coefficients");

    const QByteArray stream(
        static_cast<qsizetype>(std::min<uint64_t>(jpegStealthCapacity(jpeg), 1 + size % 64)),
        '\x5a');
    if (stream.isEmpty() || !jpegStealthEmbed(jpeg, fixedKeys(), stream).done) {
        return 0;
    }
    const QByteArray carrying = jpeg.write();
    if (carrying.isEmpty()) {
        return 0;
    }
    JpegCoefficients read;
    require(read.open(carrying) == JpegOpenStatus::Done, "wrote a stream it cannot open");
    require(jpegStealthRead(read, fixedKeys()) == stream, "lost the stream it wrote");
    return 0;
}
