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
    JpegCarrierKind kind;
};

JpegCarrierKind kind(uint32_t width, uint32_t height, int quality) {
    JpegCarrierKind s;
    s.width = width;
    s.height = height;
    s.quality = quality;
    return s;
}

JpegCarrierKind with(JpegCarrierKind s, void (*change)(JpegCarrierKind&)) {
    change(s);
    return s;
}

const Carrier kCarriers[] = {
    {"baseline 4:2:0", kind(96, 64, 75)},
    {"baseline 4:4:4, odd size",
     with(kind(33, 17, 95), [](JpegCarrierKind& s) { s.subsampled = false; })},
    {"progressive 4:2:0",
     with(kind(120, 80, 60), [](JpegCarrierKind& s) { s.progressive = true; })},
    {"progressive 4:4:4", with(kind(64, 64, 100),
                               [](JpegCarrierKind& s) {
                                   s.progressive = true;
                                   s.subsampled = false;
                               })},
    {"optimised tables", with(kind(80, 48, 85), [](JpegCarrierKind& s) { s.optimized = true; })},
    {"restart markers", with(kind(70, 90, 90), [](JpegCarrierKind& s) { s.restartRows = 1; })},
    {"grey", with(kind(40, 40, 80), [](JpegCarrierKind& s) { s.grey = true; })},
    {"EXIF, ICC, a comment and bytes after the end",
     with(kind(96, 64, 85),
          [](JpegCarrierKind& s) { s.exif = s.gps = s.icc = s.comment = s.trailer = true; })},
};

// Nothing changed, nothing differs: tables, scans and markers are the carrier's own.
TEST(JpegCoefficients, WritesTheCarrierBackUnchanged) {
    for (const Carrier& carrier : kCarriers) {
        const QByteArray file = makeJpeg(carrier.kind);
        JpegCoefficients jpeg;
        ASSERT_EQ(jpeg.open(file), JpegOpenStatus::Done) << carrier.name;
        EXPECT_EQ(jpeg.width(), carrier.kind.width);
        EXPECT_EQ(jpeg.progressive(), carrier.kind.progressive) << carrier.name;
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

// Markers keep their order; dropping the metadata takes the EXIF segment, and with it the
// position, and the bytes after the end, and leaves the rest and every coefficient as they were.
TEST(JpegCoefficients, DropsTheMetadataAlone) {
    JpegCarrierKind tagged = kind(96, 64, 85);
    tagged.exif = tagged.gps = tagged.icc = tagged.comment = tagged.trailer = true;
    JpegCoefficients jpeg;
    ASSERT_EQ(jpeg.open(makeJpeg(tagged)), JpegOpenStatus::Done);
    std::vector<int> codes;
    for (const JpegMarker& marker : jpeg.markers()) {
        codes.push_back(marker.code);
    }
    EXPECT_EQ(codes, (std::vector<int>{0xE0, 0xE1, 0xE2, 0xFE}));
    EXPECT_TRUE(jpeg.hasGpsPosition());

    JpegCoefficients stripped;
    const QByteArray written = jpeg.write({true});
    EXPECT_TRUE(written.endsWith("\xff\xd9"));
    ASSERT_EQ(stripped.open(written), JpegOpenStatus::Done);
    codes.clear();
    for (const JpegMarker& marker : stripped.markers()) {
        codes.push_back(marker.code);
        EXPECT_EQ(marker.data, jpeg.markers()[codes.size() == 1 ? 0 : codes.size()].data);
    }
    EXPECT_EQ(codes, (std::vector<int>{0xE0, 0xE2, 0xFE}));
    EXPECT_FALSE(stripped.hasGpsPosition());
    for (size_t c = 0; c < jpeg.components().size(); ++c) {
        EXPECT_EQ(stripped.components()[c].coefficients, jpeg.components()[c].coefficients);
    }
}

// The frame header's size fields, wherever the frame header is.
QByteArray withSize(QByteArray file, unsigned width, unsigned height) {
    for (qsizetype k = 2; k + 9 < file.size(); ++k) {
        const auto marker = static_cast<unsigned char>(file[k + 1]);
        if (static_cast<unsigned char>(file[k]) == 0xFF && (marker == 0xC0 || marker == 0xC2)) {
            file[k + 5] = static_cast<char>(height >> 8);
            file[k + 6] = static_cast<char>(height);
            file[k + 7] = static_cast<char>(width >> 8);
            file[k + 8] = static_cast<char>(width);
            break;
        }
    }
    return file;
}

// An arithmetic-coded frame of 16384 by 8192 pixels in three components whose one scan ends
// after four bytes: decoded, it is every block made from nothing.
QByteArray arithmeticBomb() {
    const unsigned char head[] = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    const unsigned char frame[] = {0xFF, 0xC9, 0x00, 0x11, 0x08, 0x20, 0x00, 0x40, 0x00, 0x03,
                                   0x01, 0x11, 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00, 0xFF,
                                   0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00,
                                   0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xD9};
    return QByteArray(reinterpret_cast<const char*>(head), sizeof head) + QByteArray(64, '\1') +
           QByteArray(reinterpret_cast<const char*>(frame), sizeof frame);
}

// Whatever a file holds, the reader answers and the program goes on.
TEST(JpegCoefficients, RefusesHostileFiles) {
    const QByteArray good = makeJpeg(kind(96, 64, 80));
    JpegCarrierKind bomb = kind(64, 64, 80);
    bomb.scanBomb = true;
    // Fewer scans than the most, but each goes through a large flat frame for a few bytes.
    JpegCarrierKind flatBomb = kind(2048, 2048, 80);
    flatBomb.grey = true;
    flatBomb.flat = true;
    flatBomb.scanBomb = true;
    struct Case {
        const char* name;
        QByteArray file;
        JpegOpenStatus status;
    };
    const Case cases[] = {
        {"empty", QByteArray(), JpegOpenStatus::NotJpeg},
        {"not a picture", QByteArray("GIF89a and some more bytes"), JpegOpenStatus::NotJpeg},
        {"cut inside the headers", good.left(150), JpegOpenStatus::NotJpeg},
        {"cut inside the picture", good.left(good.size() / 2), JpegOpenStatus::NotJpeg},
        {"a scan for every coefficient, twice", makeJpeg(bomb), JpegOpenStatus::TooManyScans},
        {"127 scans over a flat frame of 2048 by 2048", makeJpeg(flatBomb),
         JpegOpenStatus::TooManyScans},
        {"a frame of 60000 by 60000", withSize(good, 60000, 60000), JpegOpenStatus::TooLarge},
        {"a frame of no width", withSize(good, 0, 64), JpegOpenStatus::NotJpeg},
        {"more blocks than the file has bits", withSize(good, 96, 60000), JpegOpenStatus::NotJpeg},
        {"too large a file", QByteArray(kMostJpegFileBytes + 1, '\xff'), JpegOpenStatus::TooLarge},
        {"arithmetic coded, the largest frame from a hundred bytes", arithmeticBomb(),
         JpegOpenStatus::NotJpeg},
    };
    for (const Case& c : cases) {
        JpegCoefficients jpeg;
        EXPECT_EQ(jpeg.open(c.file), c.status) << c.name;
        if (c.status == JpegOpenStatus::Done) {
            JpegCoefficients back;
            EXPECT_EQ(back.open(jpeg.write()), JpegOpenStatus::Done) << c.name;
        }
    }
}

// Offsets in the EXIF block, little-endian: IFD0's GPS pointer at 36, the latitude's
// denominators at 90, 98 and 106, the numerators of both coordinates from 86 on.
QByteArray patched(QByteArray segment, std::initializer_list<std::pair<int, uint32_t>> words) {
    for (const auto& [at, value] : words) {
        for (int k = 0; k < 4; ++k) {
            segment[at + k] = static_cast<char>(value >> (8 * k));
        }
    }
    return segment;
}

TEST(JpegCoefficients, FindsAPositionInTheExifBlock) {
    const QByteArray little = exifSegment(true, false);
    const struct {
        const char* name;
        QByteArray segment;
        bool position;
    } cases[] = {
        {"little-endian", little, true},
        {"big-endian", exifSegment(true, true), true},
        {"no GPS directory", exifSegment(false, false), false},
        {"not EXIF", QByteArray("Exix") + little.mid(4), false},
        {"cut before the coordinates", little.left(100), false},
        {"GPS directory past the end", patched(little, {{36, 0xFFFFFF00u}}), false},
        {"a zero denominator", patched(little, {{90, 0}}), false},
        {"at 0, 0", patched(little, {{86, 0}, {94, 0}, {102, 0}, {110, 0}, {118, 0}, {126, 0}}),
         false},
        {"IFD0 counting past the end: what fits is read", patched(little, {{14, 0xFFFFu}}), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exifHasGpsPosition(c.segment), c.position) << c.name;
    }
}

TEST(JpegCoefficients, FindsAPositionInXmp) {
    const QByteArray main("http://ns.adobe.com/xap/1.0/\0", 29);
    const QByteArray extended("http://ns.adobe.com/xmp/extension/\0", 35);
    const struct {
        const char* name;
        QByteArray segment;
        bool position;
    } cases[] = {
        {"attributes", main + R"(<rdf:Description exif:GPSLatitude="52,31.2N" )"
                              R"(exif:GPSLongitude='13,24.5E'/>)", true},
        {"elements", main + "<exif:GPSLatitude>52,31N</exif:GPSLatitude>"
                            "<exif:GPSLongitude >13,24E</exif:GPSLongitude>", true},
        {"an extended part", extended + R"(x exif:GPSLatitude="1,0N" exif:GPSLongitude="2,0E")",
         true},
        {"latitude only", main + R"(exif:GPSLatitude="52,31.2N")", false},
        {"at 0, 0", main + R"(exif:GPSLatitude="0,0.0N" exif:GPSLongitude="0,0.0E")", false},
        {"empty values", main + R"(exif:GPSLatitude="" exif:GPSLongitude="")", false},
        {"a name and no value", main + "exif:GPSLatitude exif:GPSLongitude 52", false},
        {"not XMP", QByteArray("Exif\0\0exif:GPSLatitude=\"5\" exif:GPSLongitude=\"5\"", 45),
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xmpHasGpsPosition(c.segment), c.position) << c.name;
    }
}

// The Huffman tables' segments of a file, in order.
QByteArray huffmanTables(const QByteArray& file) {
    QByteArray tables;
    for (qsizetype p = 2; p + 4 <= file.size();) {
        const auto marker = static_cast<unsigned char>(file[p + 1]);
        const int length =
            static_cast<unsigned char>(file[p + 2]) << 8 | static_cast<unsigned char>(file[p + 3]);
        if (marker == 0xDA) {
            break;
        }
        if (marker == 0xC4) {
            tables += file.mid(p, 2 + length);
        }
        p += 2 + length;
    }
    return tables;
}

// A sequential file keeps its own tables while they hold every symbol; a coefficient they
// cannot write gets tables made for the picture, and the coefficients still come back.
TEST(JpegCoefficients, KeepsTheCarriersTablesWhileTheyHold) {
    JpegCarrierKind optimised = kind(80, 48, 85);
    optimised.optimized = true;
    const struct {
        const char* name;
        JpegCarrierKind kind;
        int16_t value; // given to the first block's last AC coefficient
        bool kept;
    } cases[] = {
        {"standard tables, a new symbol", kind(80, 48, 85), 700, true},
        {"optimised tables, a symbol they have", optimised, 0, true},
        {"optimised tables, one they lack", optimised, 700, false},
    };
    for (const auto& c : cases) {
        const QByteArray file = makeJpeg(c.kind);
        JpegCoefficients jpeg;
        ASSERT_EQ(jpeg.open(file), JpegOpenStatus::Done);
        jpeg.components()[0].coefficients[63] = c.value;
        const QByteArray written = jpeg.write();
        EXPECT_EQ(huffmanTables(written) == huffmanTables(file), c.kept) << c.name;
        JpegCoefficients back;
        ASSERT_EQ(back.open(written), JpegOpenStatus::Done) << c.name;
        EXPECT_EQ(back.components()[0].coefficients, jpeg.components()[0].coefficients) << c.name;
    }
}

} // namespace
