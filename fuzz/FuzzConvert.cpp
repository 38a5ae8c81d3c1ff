// Feeds arbitrary files to the picture converter, which the user points at any file, and checks
// what it promises: no crash or hang, a reason naming the file for every refusal, and for every
// conversion a file a carrier reader takes: a 24-bit BMP with a 40-byte header of exactly the
// size reported, no larger than the converter's limit, its row padding zero.
//
// The limit is lowered from the program's 12000 pixels a side so that each run stays quick; the
// checks and the allocation limit scale with it.
#include "FuzzInput.h"
#include "QuietQt.h"
#include "imaging/QtPictureConverter.h"

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int32_t kMaxSide = 1024;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "picture converter broke its promise: %s\n", what);
        std::abort();
    }
}

uint32_t le(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) {
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

void checkCarrier(const std::vector<uint8_t>& out, const brindmar::PictureConversion& done) {
    require(done.width > 0 && done.height > 0, "reported size");
    require(done.width <= kMaxSide && done.height <= kMaxSide, "larger than the limit");
    const int64_t stride = (int64_t{done.width} * 3 + 3) / 4 * 4;
    const int64_t imageBytes = stride * done.height;
    require(static_cast<int64_t>(out.size()) == 54 + imageBytes, "file size");
    require(out[0] == 'B' && out[1] == 'M', "signature");
    require(le(out, 2, 4) == 54 + imageBytes, "file size field");
    require(le(out, 10, 4) == 54 && le(out, 14, 4) == 40, "offset and header size");
    require(static_cast<int32_t>(le(out, 18, 4)) == done.width, "width field");
    require(static_cast<int32_t>(le(out, 22, 4)) == done.height, "height field");
    require(le(out, 26, 2) == 1 && le(out, 28, 2) == 24 && le(out, 30, 4) == 0, "24-bit");
    require(le(out, 34, 4) == imageBytes, "image size field");
    for (int64_t y = 0; y < done.height; ++y) {
        for (int64_t pad = 3 * int64_t{done.width}; pad < stride; ++pad) {
            require(out[static_cast<size_t>(54 + y * stride + pad)] == 0, "row padding");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::quietQt();
    static const std::string input = fuzzin::workDir() + "/picture";
    static const std::string output = fuzzin::workDir() + "/carrier.bmp";
    fuzzin::writeFile(input, data, size);
    std::remove(output.c_str());
    const QString source = QFile::decodeName(input.c_str());
    const brindmar::QtPictureConverter converter(kMaxSide);
    const brindmar::PictureConversion done =
        converter.convert(source, QFile::decodeName(output.c_str()));
    if (!done.ok) {
        // A refusal names its fault and the file it concerns: the picture, or the carrier
        // that could not be written.
        require(done.fault != brindmar::PictureFault::None &&
                    (done.file == source || done.fault == brindmar::PictureFault::CannotWrite),
                "refusal without a reason");
        return 0;
    }
    require(converter.canRead(source), "converted what it says it cannot read");
    checkCarrier(fuzzin::readFile(output), done);
    return 0;
}
