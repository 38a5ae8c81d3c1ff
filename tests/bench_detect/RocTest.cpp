#include "Roc.h"

#include <gtest/gtest.h>

#include <vector>

namespace detect {
namespace {

TEST(RocArea, KnownScoreSets) {
    struct Case {
        const char* name;
        std::vector<double> cover;
        std::vector<double> stego;
        double area;
    };
    const Case cases[] = {
        {"separated", {0.1, 0.2, 0.3}, {0.4, 0.5}, 1.0},
        {"reversed", {0.4, 0.5}, {0.1, 0.2, 0.3}, 0.0},
        {"all tied", {1, 1, 1}, {1, 1}, 0.5},
        // Pairs (c, s): 1<2 1<4 3>2 3<4 -> 3 of 4.
        {"interleaved", {1, 3}, {2, 4}, 0.75},
        // Stego 2 against covers 1, 2, 3: win, tie, loss -> 1.5 of 3.
        {"one tie", {1, 2, 3}, {2}, 0.5},
        // Stego 3 and 3 against covers 1, 3, 5: each 1 + 0.5 -> 3 of 6.
        {"tied run across classes", {1, 3, 5}, {3, 3}, 0.5},
        {"no cover", {}, {1.0}, 0.5},
        {"no stego", {1.0}, {}, 0.5},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(rocArea(c.cover, c.stego), c.area) << c.name;
    }
}

} // namespace
} // namespace detect
