// Small hand-built images whose every output byte is known: the low-bit correction, row padding,
// where header and document land, the filler sequence and the palette expansion.

#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace enginetest {
namespace {

// Hides one bit pair in each of `values` (behind a one-byte header) with embed24 and returns
// the bytes written for them.
Bytes hideEach(const Bytes& values, const Bytes& pairs) {
    Bytes colours(4, 0x80);
    colours.insert(colours.end(), values.begin(), values.end());
    colours.resize((colours.size() + 2) / 3 * 3, 0x80);
    const auto width = static_cast<int32_t>(colours.size() / 3);
    Bytes document((pairs.size() + 3) / 4, 0);
    for (size_t k = 0; k < pairs.size(); ++k) {
        document[k / 4] = static_cast<uint8_t>(document[k / 4] | (pairs[k] << (2 * (k % 4))));
    }
    EmbedJob job;
    job.carrier = bmptest::make24(width, 1, colours);
    job.document = document;
    job.docLength = static_cast<int32_t>(document.size());
    job.header = "Z";
    job.rowStride = bmptest::stride24(width);
    job.outWidth = width;
    const Bytes out = colourBytes(onFreshThread([&] { return engineEmbed(job); }).output, width, 1);
    return Bytes(out.begin() + 4, out.begin() + 4 + static_cast<std::ptrdiff_t>(values.size()));
}

TEST(Pixels, CorrectionKeepsEachByteClosestToTheCarrier) {
    struct Case {
        uint8_t carrier, pair, written;
    };
    const Case cases[] = {
        {255, 0, 252}, {0, 3, 3},     {251, 0, 252}, {4, 3, 3},     {6, 0, 4},
        {2, 0, 0},     {0, 2, 2},     {3, 0, 4},     {128, 3, 127}, {127, 0, 128},
        {253, 0, 252}, {254, 3, 255}, {252, 3, 251}, {5, 1, 5},     {250, 1, 249},
    };
    Bytes values;
    Bytes pairs;
    for (const Case& c : cases) {
        values.push_back(c.carrier);
        pairs.push_back(c.pair);
    }
    const Bytes written = hideEach(values, pairs);
    for (size_t k = 0; k < std::size(cases); ++k) {
        EXPECT_EQ(int{written[k]}, int{cases[k].written})
            << "carrier byte " << int{cases[k].carrier} << " with pair " << int{cases[k].pair};
    }
}

TEST(Pixels, EveryByteCarriesItsPairWithinTwoOfTheCarrier) {
    Bytes values;
    Bytes pairs;
    for (int v = 0; v < 256; ++v) {
        for (uint8_t b = 0; b < 4; ++b) {
            values.push_back(static_cast<uint8_t>(v));
            pairs.push_back(b);
        }
    }
    const Bytes written = hideEach(values, pairs);
    for (size_t k = 0; k < values.size(); ++k) {
        const int v = values[k];
        const int n = written[k];
        EXPECT_EQ(n & 3, pairs[k]) << "carrier byte " << v;
        const bool clipped = (v == 255 && pairs[k] == 0) || (v == 0 && pairs[k] == 3);
        EXPECT_LE(std::abs(n - v), clipped ? 3 : 2)
            << "carrier byte " << v << " pair " << int{pairs[k]};
    }
}

TEST(Pixels, RowsArePaddedWithZerosToFourBytes) {
    struct Case {
        int32_t outWidth, rowLength;
    };
    const Case cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}};
    std::mt19937 rng(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outWidth);
        EmbedJob job;
        job.rowStride = bmptest::stride24(c.outWidth);
        // The carrier's own padding is not zero, so copying it would show.
        Bytes carrier(54, 0);
        for (int row = 0; row < 4; ++row) {
            const Bytes bytes = randomBytes(rng, static_cast<size_t>(3 * c.outWidth));
            carrier.insert(carrier.end(), bytes.begin(), bytes.end());
            carrier.insert(carrier.end(), static_cast<size_t>(job.rowStride - 3 * c.outWidth),
                           0xEE);
        }
        job.carrier = carrier;
        job.outWidth = c.outWidth;
        job.rowCount = 4;
        const Outcome run = engineEmbed(job);
        ASSERT_EQ(run.output.size(), static_cast<size_t>(54 + 4 * c.rowLength));
        for (size_t row = 0; row < 4; ++row) {
            for (auto k = static_cast<size_t>(3 * c.outWidth); k < static_cast<size_t>(c.rowLength);
                 ++k) {
                EXPECT_EQ(run.output[54 + row * static_cast<size_t>(c.rowLength) + k], 0);
            }
        }
    }
}

TEST(Pixels, HeaderThenDocumentFromTheFirstColourByteOn) {
    std::mt19937 rng(2);
    for (const size_t headerLength : {1, 2, 5, 9}) {
        SCOPED_TRACE(headerLength);
        EmbedJob job;
        job.header = randomHeader(rng, headerLength);
        job.document = randomBytes(rng, 7);
        job.docLength = 7;
        job.outWidth = 7;
        job.rowCount = 4;
        job.rowStride = bmptest::stride24(7);
        job.carrier = bmptest::make24(7, 4, randomBytes(rng, 7 * 4 * 3));
        const Bytes colours =
            colourBytes(onFreshThread([&] { return engineEmbed(job); }).output, 7, 4);
        EXPECT_EQ(lowBitBytes(colours, 0, headerLength),
                  Bytes(job.header.begin(), job.header.end()));
        EXPECT_EQ(lowBitBytes(colours, headerLength, 7), job.document);
        // The document's lowest two bits sit in colour byte 4L.
        EXPECT_EQ(colours[4 * headerLength] & 3, job.document[0] & 3);
    }
}

// A black carrier shows the payload bytes unchanged in the colour bytes.
TEST(Filler, StartsWithTheGeneratorsFirstValuesOnEachThread) {
    EmbedJob job;
    job.carrier = bmptest::make24(8, 2, Bytes(8 * 2 * 3, 0));
    job.header = "A";
    job.outWidth = 8;
    job.rowCount = 2;
    job.rowStride = 24;
    const Bytes expected{'A', 41, 35, 190, 132, 225, 108, 214, 174, 82, 144, 73};
    const Outcome first = onFreshThread([&] { return engineEmbed(job); });
    const Outcome second = onFreshThread([&] { return engineEmbed(job); });
    EXPECT_EQ(lowBitBytes(colourBytes(first.output, 8, 2), 0, expected.size()), expected);
    EXPECT_TRUE(sameBytes(second.output, first.output));
}

TEST(Filler, ContinuesFromCallToCallWithinAThread) {
    std::mt19937 rng(5);
    EmbedJob job;
    job.carrier = bmptest::make24(8, 8, randomBytes(rng, 8 * 8 * 3));
    job.document = {1, 2};
    job.docLength = 2;
    job.outWidth = 8;
    job.rowCount = 8;
    job.rowStride = 24;
    const auto both = onFreshThread([&] {
        Outcome first = engineEmbed(job);
        Outcome second = engineEmbed(job);
        return std::make_pair(first, second);
    });
    EXPECT_NE(both.first.output, both.second.output);

    refmodel::Filler filler;
    const Outcome modelFirst = modelEmbed(job, filler);
    const Outcome modelSecond = modelEmbed(job, filler);
    EXPECT_TRUE(sameBytes(both.first.output, modelFirst.output));
    EXPECT_TRUE(sameBytes(both.second.output, modelSecond.output));
}

class PaletteTest : public ::testing::Test {
protected:
    // Embeds one row of an 8-bit carrier file and returns the row's colour bytes.
    Bytes embedRow(const Bytes& file, int32_t dataOffset, int32_t width) {
        EmbedJob job;
        job.kind = CarrierKind::Bits8;
        job.carrier = file;
        job.dataOffset = dataOffset;
        job.rowStride = bmptest::stride8(width);
        job.outWidth = width;
        return colourBytes(onFreshThread([&] { return engineEmbed(job); }).output, width, 1);
    }

    // Whatever pair is hidden, a colour byte whose low bits are 2 keeps its high six bits.
    static void expectPixel(const Bytes& colours, size_t pixel,
                            const bmptest::PaletteEntry& colour) {
        for (size_t c = 0; c < 3; ++c) {
            EXPECT_EQ(colours[3 * pixel + c] >> 2, colour[c] >> 2)
                << "pixel " << pixel << " channel " << c;
        }
    }

    static void expectBlack(const Bytes& colours, size_t pixel) {
        for (size_t c = 0; c < 3; ++c) {
            EXPECT_LE(colours[3 * pixel + c], 3) << "pixel " << pixel << " channel " << c;
        }
    }
};

TEST_F(PaletteTest, ExpandsBlueGreenRedAndDropsTheReservedByte) {
    const std::vector<bmptest::PaletteEntry> palette{
        {0x12, 0x82, 0xF2, 0xEE}, {0x46, 0x0A, 0xBE, 0xEE}, {0xDA, 0x66, 0x2E, 0xEE}};
    const Bytes indices{2, 0, 1, 1, 7, 2, 200, 255};
    const Bytes colours = embedRow(bmptest::make8(8, 1, palette, indices), 54 + 12, 8);
    for (size_t p = 0; p < indices.size(); ++p) {
        if (indices[p] < palette.size()) {
            expectPixel(colours, p, palette[indices[p]]);
        } else {
            expectBlack(colours, p); // no entry was read for it
        }
    }
}

TEST_F(PaletteTest, EntriesReadFollowFromTheDataOffset) {
    auto palette = bmptest::testPalette(256);
    for (auto& entry : palette) {
        for (size_t c = 0; c < 3; ++c) {
            entry[c] = static_cast<uint8_t>((entry[c] & 0xFC) | 2);
        }
    }
    Bytes file = bmptest::make8(4, 1, palette, {0, 1, 2, 255});
    // The same four indices again at offset 58 (one entry), and 54 (none).
    const Bytes pixels{0, 1, 2, 255};
    Bytes atEntry1 = file;
    std::copy(pixels.begin(), pixels.end(), atEntry1.begin() + 58);
    Bytes atStart = file;
    std::copy(pixels.begin(), pixels.end(), atStart.begin() + 54);

    const Bytes all = embedRow(file, 1078, 4);
    for (size_t p = 0; p < 4; ++p) {
        expectPixel(all, p, palette[pixels[p]]);
    }
    const Bytes one = embedRow(atEntry1, 58, 4);
    expectPixel(one, 0, palette[0]);
    for (size_t p = 1; p < 4; ++p) {
        expectBlack(one, p);
    }
    for (const int32_t dataOffset : {54, 57}) {
        const Bytes none = embedRow(atStart, dataOffset, 4);
        for (size_t p = 0; p < 4; ++p) {
            expectBlack(none, p);
        }
    }
}

} // namespace
} // namespace enginetest
