#include "payload/CarrierNormalizer.h"

#include "AppTestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <string>

using namespace brindmar;
using apptest::Bytes;

namespace {

const std::vector<bmptest::PaletteEntry> kPalette = bmptest::testPalette(4);

// 6 x 2 pixels: rows of 6, or of 8 as the engine wants them.
Bytes rle(const Bytes& stream) {
    return bmptest::makeRle8Raw(6, 2, kPalette, stream);
}
Bytes indexed(const Bytes& pixels) {
    return bmptest::make8(6, 2, kPalette, pixels);
}

struct PlanCase {
    const char* name;
    Bytes carrier;
    Indexed8Route route;
    CarrierFault fault = CarrierFault::None;
};

class Plan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plan, JudgesFromTheHeadersAndTheRunLengths) {
    apptest::ScratchDir dir;
    dir.write(QStringLiteral("c.bmp"), GetParam().carrier);
    const Indexed8Plan plan = planIndexed8Carrier(dir.path(QStringLiteral("c.bmp")));
    EXPECT_EQ(plan.route, GetParam().route);
    EXPECT_EQ(plan.fault, GetParam().fault);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Plan,
    ::testing::Values(
        PlanCase{"padded_rows", rle({8, 1, 0, 0, 8, 2, 0, 1}), Indexed8Route::AsIs},
        PlanCase{"rows_of_the_width", rle({6, 1, 0, 0, 6, 2, 0, 1}), Indexed8Route::Convert},
        PlanCase{"early_end_of_image", rle({8, 1, 0, 1}), Indexed8Route::Convert},
        PlanCase{"position_jump", rle({2, 1, 0, 2, 2, 1, 4, 1, 0, 0}), Indexed8Route::Convert},
        PlanCase{"odd_data_offset", bmptest::withGapAfterPalette(rle({8, 1, 0, 0, 8, 2, 0, 1}), 2),
                 Indexed8Route::Convert},
        PlanCase{"run_past_the_row", rle({9, 1, 0, 0, 8, 2, 0, 1}), Indexed8Route::Refused,
                 CarrierFault::PastRowEnd},
        PlanCase{"jump_past_the_row", rle({6, 1, 0, 2, 3, 0, 0, 0}), Indexed8Route::Refused,
                 CarrierFault::PastRowEnd},
        PlanCase{"ends_inside_a_pair", rle({8, 1, 0, 0, 8}), Indexed8Route::Refused,
                 CarrierFault::EndsEarly},
        PlanCase{"no_end_after_the_last_row", rle({8, 1, 0, 0, 8, 2}), Indexed8Route::Refused,
                 CarrierFault::EndsEarly},
        PlanCase{"uncompressed", indexed(Bytes(12, 3)), Indexed8Route::AsIs},
        PlanCase{"uncompressed_odd_data_offset",
                 bmptest::withGapAfterPalette(indexed(Bytes(12, 3)), 2), Indexed8Route::AsIs},
        PlanCase{"gap_after_the_palette", bmptest::withGapAfterPalette(indexed(Bytes(12, 3)), 8),
                 Indexed8Route::Convert},
        PlanCase{"pixels_past_1078",
                 bmptest::withGapAfterPalette(
                     bmptest::make8(6, 2, bmptest::testPalette(256), Bytes(12, 3)), 4),
                 Indexed8Route::Convert},
        PlanCase{"not_8_bit", bmptest::make24(6, 2, Bytes(36, 3)), Indexed8Route::Refused,
                 CarrierFault::Unreadable}),
    [](const auto& row) { return std::string(row.param.name); });

Bytes converted(const Bytes& carrier) {
    apptest::ScratchDir dir;
    dir.write(QStringLiteral("c.bmp"), carrier);
    const QString copy = dir.path(QStringLiteral("copy.tmp"));
    const ConversionResult result =
        writeUncompressedIndexed8(dir.path(QStringLiteral("c.bmp")), copy, {});
    EXPECT_EQ(result.end, ConversionEnd::Written);
    return QFileInfo::exists(copy) ? bmptest::readFile(copy.toStdString()) : Bytes();
}

TEST(Conversion, GivesTheCarrierAsIfWrittenUncompressedWithItsPaletteBeforeThePixels) {
    const Bytes pixels{1, 2, 3, 0, 1, 2, 3, 3, 2, 1, 0, 1};
    // Rows of the width: a literal run of six, then a run of two and a literal run of four.
    EXPECT_EQ(converted(rle({0, 6, 1, 2, 3, 0, 1, 2, 0, 0, 2, 3, 0, 4, 2, 1, 0, 1, 0, 1})),
              indexed(pixels));
    // Row 0: two pixels, a jump over two and up a row; row 1: four pixels from column 4.
    EXPECT_EQ(converted(rle({2, 1, 0, 2, 2, 1, 4, 3, 0, 0})),
              indexed({1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 3, 3}));
    EXPECT_EQ(converted(rle({8, 1, 0, 1})), indexed({1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(converted(bmptest::withGapAfterPalette(indexed(pixels), 40)), indexed(pixels));
}

} // namespace
