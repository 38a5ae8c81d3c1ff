// Stealth refuses a carrier whose changes would show as new colours: one that had a palette,
// whatever its count, and a 24-bit picture of few colours, each used widely.
#include "protection/CarrierColours.h"
#include "AppTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace brindmar;

namespace {

std::string bmpHead(uint16_t bits) {
    std::string head(54, '\0');
    head[0] = 'B';
    head[1] = 'M';
    head[28] = static_cast<char>(bits & 0xff);
    return head;
}

std::string pngHead(char colourType) {
    std::string head("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08", 25);
    head.push_back(colourType);
    head.append(6, '\0');
    return head;
}

// pixels pixels taking colours distinct colours in turn.
std::vector<unsigned char> pictureOf(uint32_t colours, uint64_t pixels) {
    std::vector<unsigned char> bgr(static_cast<size_t>(pixels * 3));
    for (uint64_t p = 0; p < pixels; ++p) {
        const auto c = static_cast<uint32_t>(p % colours) * 2654435761u;
        bgr[3 * p] = static_cast<unsigned char>(c);
        bgr[3 * p + 1] = static_cast<unsigned char>(c >> 8);
        bgr[3 * p + 2] = static_cast<unsigned char>(c >> 16);
    }
    return bgr;
}

TEST(CarrierColours, RefusesPalettesAndFewWidelyUsedColours) {
    struct Case {
        const char* name;
        std::string head; // the user's file's first bytes
        uint32_t colours;
        uint64_t pixels;
        bool refused;
    };
    const Case cases[] = {
        {"8-bit BMP", bmpHead(8), 201, 300 * 200, true},
        {"4-bit BMP", bmpHead(4), 16, 300 * 200, true},
        {"GIF", "GIF89a" + std::string(26, '\0'), 256, 300 * 200, true},
        {"palette PNG", pngHead(3), 64, 300 * 200, true},
        {"24-bit drawing", bmpHead(24), 1155, 640 * 360, true},
        {"24-bit PNG drawing", pngHead(2), 200, 300 * 200, true},
        {"24-bit photograph", bmpHead(24), 2765, 300 * 200, false},
        {"24-bit PNG photograph", pngHead(2), 40000, 300 * 200, false},
        // Few colours, but few pixels to each: a small photograph.
        {"small photograph", bmpHead(24), 1500, 64 * 48, false},
        {"not a picture", "text", 40000, 300 * 200, false},
    };
    apptest::ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.write(QStringLiteral("original"), c.head);
        const CarrierKind kind = carrierKindOf(dir.path(QStringLiteral("original")));
        const std::vector<unsigned char> picture = pictureOf(c.colours, c.pixels);
        const uint32_t counted = distinctColours(picture.data(), c.pixels, 1u << 24);
        ASSERT_EQ(counted, c.colours);
        EXPECT_EQ(stealthRefusesColours(kind, counted, c.pixels), c.refused);
    }
}

} // namespace
