// A JPEG taken apart into coefficients and put back must be the carrier again, byte for byte
// where the carrier's encoder was libjpeg; a hostile file must be refused, never end the
// program; and a photograph's position must be found however its EXIF block is laid out.
#include "protection/JpegCoefficients.h"
#include "JpegCarriers.h"
#include "protection/JpegMarkers.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

qsizetype firstDifference(const QByteArray& a, const QByteArray& b) {
    for (qsizetype k = 0; k < std::min(a.size(), b.size()); ++k) {
        if (a[k] != b[k]) {
            return k;
        }
    }
    return a.size() == b.size() ? -1 : std::min(a.size(), b.size());
}

struct Carrier {
    const char* name;
    JpegCarrierSpec spec;
};

JpegCarrierSpec spec(uint32_t width, uint32_t height, int quality) {
    JpegCarrierSpec s;
    s.width = width;
    s.height = height;
    s.quality = quality;
    return s;
}

JpegCarrierSpec with(JpegCarrierSpec s, void (*change)(JpegCarrierSpec&)) {
    change(s);
    return s;
}

const Carrier kCarriers[] = {
    {"baseline 4:2:0", spec(96, 64, 75)},
    {"baseline 4:4:4, odd size",
     with(spec(33, 17, 95), [](JpegCarrierSpec& s) { s.subsampled = false; })},
    {"progressive 4:2:0",
     with(spec(120, 80, 60), [](JpegCarrierSpec& s) { s.progressive = true; })},
    {"progressive 4:4:4", with(spec(64, 64, 100),
                               [](JpegCarrierSpec& s) {
                                   s.progressive = true;
                                   s.subsampled = false;
                               })},
    {"optimised tables", with(spec(80, 48, 85), [](JpegCarrierSpec& s) { s.optimized = true; })},
    {"restart markers", with(spec(70, 90, 90), [](JpegCarrierSpec& s) { s.restartRows = 1; })},
    {"grey", with(spec(40, 40, 80), [](JpegCarrierSpec& s) { s.grey = true; })},
    {"EXIF, ICC and a comment",
     with(spec(96, 64, 85), [](JpegCarrierSpec& s) { s.exif = s.gps = s.icc = s.comment = true; })},
};

// Nothing changed, nothing differs: tables, scans and markers are the carrier's own.
TEST(JpegCoefficients, WritesTheCarrierBackUnchanged) {
    for (const Carrier& carrier : kCarriers) {
        const QByteArray file = makeJpeg(carrier.spec);
        JpegCoefficients jpeg;
        ASSERT_EQ(jpeg.open(file), JpegOpenStatus::Done) << carrier.name;
        EXPECT_EQ(jpeg.width(), carrier.spec.width);
        EXPECT_EQ(jpeg.progressive(), carrier.spec.progressive) << carrier.name;
        const QByteArray written = jpeg.write();
        EXPECT_EQ(firstDifference(written, file), -1)
            << carrier.name << ": " << file.size() << " bytes, written " << written.size();
        JpegCoefficients back;
        ASSERT_EQ(back.open(written), JpegOpenStatus::Done) << carrier.name;
        for (size_t c = 0; c < jpeg.components().size(); ++c) {
            EXPECT_EQ(back.components()[c].coefficients, jpeg.components()[c].coefficients);
            EXPECT_EQ(back.components()[c].quant, jpeg.components()[c].quant);
        }
    }
}
} // namespace
