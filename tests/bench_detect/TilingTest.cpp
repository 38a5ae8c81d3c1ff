#include "Tiling.h"

#include <gtest/gtest.h>

namespace detect {
namespace {

// Each colour byte names its place: x in blue, y in green, a constant in red.
Tile labelled(int w, int h) {
    Tile t(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            t.at(x, y, 0) = static_cast<uint8_t>(x);
            t.at(x, y, 1) = static_cast<uint8_t>(y);
            t.at(x, y, 2) = 200;
        }
    }
    return t;
}

TEST(Tiling, HalvingAveragesEachBlockAndDropsAnOddEdge) {
    Tile t(5, 3); // the fifth column and the third row have no partner
    const uint8_t block[2][2] = {{10, 11}, {12, 14}}; // mean 11.75 rounds to 12
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            t.at(x, y, 0) = block[y][x];
            t.at(x + 2, y, 1) = 255;
        }
    }
    t.at(4, 0, 2) = 99;
    const Tile h = halved(t);
    ASSERT_EQ(h.width, 2);
    ASSERT_EQ(h.height, 1);
    EXPECT_EQ(h.at(0, 0, 0), 12);
    EXPECT_EQ(h.at(1, 0, 1), 255);
    EXPECT_EQ(h.at(1, 0, 2), 0);
}

TEST(Tiling, CutsTheGridFromTheTopLeftSpreadUnderTheLimit) {
    const Tile picture = labelled(100, 70); // a 4 x 2 grid of 24-pixel tiles, the rest unused
    struct Case {
        int limit;
        std::vector<std::pair<int, int>> corners;
    };
    const Case cases[] = {
        {100, {{0, 0}, {24, 0}, {48, 0}, {72, 0}, {0, 24}, {24, 24}, {48, 24}, {72, 24}}},
        {8, {{0, 0}, {24, 0}, {48, 0}, {72, 0}, {0, 24}, {24, 24}, {48, 24}, {72, 24}}},
        {3, {{0, 0}, {48, 0}, {24, 24}}}, // cells 0, 2, 5 of 8
        {1, {{0, 0}}},
        {0, {}},
    };
    for (const Case& c : cases) {
        std::vector<Tile> tiles;
        cutTiles(picture, 24, c.limit, tiles);
        ASSERT_EQ(tiles.size(), c.corners.size()) << c.limit;
        for (size_t i = 0; i < tiles.size(); ++i) {
            const auto [left, top] = c.corners[i];
            EXPECT_EQ(tiles[i].at(0, 0, 0), left) << c.limit << " " << i;
            EXPECT_EQ(tiles[i].at(0, 0, 1), top) << c.limit << " " << i;
            EXPECT_EQ(tiles[i].at(23, 23, 0), left + 23) << c.limit << " " << i;
            EXPECT_EQ(tiles[i].at(23, 23, 1), top + 23) << c.limit << " " << i;
        }
    }
    std::vector<Tile> none;
    cutTiles(labelled(20, 20), 24, 10, none);
    EXPECT_TRUE(none.empty());
}

} // namespace
} // namespace detect
