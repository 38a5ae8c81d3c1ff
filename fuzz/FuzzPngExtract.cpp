// Feeds arbitrary files as PNG images to the path extraction takes with one: the picture
// converter makes the BMP of its pixels, and the payload header is read from that BMP with a
// code. Checks: no crash or hang, a reason naming the file for every refusal, and for every
// image read, a PNG written back from that BMP reads back to the same pixel rows.
//
// The limit is lowered from the program's 12000 pixels a side so that each run stays quick; the
// memory budget scales with it, so a decompression bomb is refused as it is at full size.
#include "FuzzInput.h"
#include "QuietQt.h"
#include "imaging/PngWriter.h"
#include "imaging/QtPictureConverter.h"
#include "payload/PayloadHeaderReader.h"

#include <QFile>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int32_t kMaxSide = 1024;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "PNG extraction path broke its promise: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzin::quietQt();
    static const std::string input = fuzzin::workDir() + "/image.png";
    static const std::string carrier = fuzzin::workDir() + "/carrier.bmp";
    static const std::string again = fuzzin::workDir() + "/again.png";
    static const std::string back = fuzzin::workDir() + "/back.bmp";
    fuzzin::writeFile(input, data, size);
    std::remove(carrier.c_str());
    const QString source = QFile::decodeName(input.c_str());
    const QString bmp = QFile::decodeName(carrier.c_str());
    const brindmar::QtPictureConverter converter(kMaxSide);
    const brindmar::PictureConversion done = converter.convert(source, bmp);
    if (!done.ok) {
        // A refusal names its fault and the file it concerns: the picture, or the carrier
        // that could not be written.
        require(done.fault != brindmar::PictureFault::None &&
                    (done.file == source || done.fault == brindmar::PictureFault::CannotWrite),
                "refusal without a reason");
        return 0;
    }
    (void)brindmar::ReadPayloadHeader(bmp, QStringLiteral("fuzzing-code-1"));
    const QString png = QFile::decodeName(again.c_str());
    require(brindmar::writePngFromBmp(bmp, png).ok, "its own carrier not written as PNG");
    const QString bmpAgain = QFile::decodeName(back.c_str());
    require(converter.convert(png, bmpAgain).ok, "its own PNG not read back");
    const std::vector<uint8_t> first = fuzzin::readFile(carrier);
    const std::vector<uint8_t> second = fuzzin::readFile(back);
    require(first.size() == second.size() && first.size() >= 54 &&
                std::equal(first.begin() + 54, first.end(), second.begin() + 54),
            "pixels changed on the way through PNG");
    return 0;
}
