#include "Structural.h"

#include <cmath>

namespace detect {

double weightedStego(const Tile& tile) {
    // For each interior sample s: the predictor F from its eight neighbours (edges 1/2, corners
    // -1/4), the weight 1 / (5 + variance of the four edge neighbours), and
    //   a = sum w (s - s') (s - F(s)),   b = sum w (s - s') F(s' - s),
    // where s' is s with its low bit flipped. Without correction the estimate is 2a / sum w;
    // the predictor reads stego neighbours too, each flipped with probability p / 2, so the
    // cover's prediction is about F(s) + (p / 2) F(s' - s). Putting that in gives
    // p = 2a / sum w - p b / sum w, that is p = (2a / sum w) / (1 + b / sum w).
    double sumW = 0.0;
    double a = 0.0;
    double b = 0.0;
    for (int c = 0; c < 3; ++c) {
        for (int y = 1; y + 1 < tile.height; ++y) {
            for (int x = 1; x + 1 < tile.width; ++x) {
                const int n = tile.at(x, y - 1, c);
                const int s = tile.at(x, y + 1, c);
                const int w = tile.at(x - 1, y, c);
                const int e = tile.at(x + 1, y, c);
                const int nw = tile.at(x - 1, y - 1, c);
                const int ne = tile.at(x + 1, y - 1, c);
                const int sw = tile.at(x - 1, y + 1, c);
                const int se = tile.at(x + 1, y + 1, c);
                const int v = tile.at(x, y, c);
                const double predicted = (n + s + w + e) / 2.0 - (nw + ne + sw + se) / 4.0;
                const double mean = (n + s + w + e) / 4.0;
                const double variance = ((n - mean) * (n - mean) + (s - mean) * (s - mean) +
                                         (w - mean) * (w - mean) + (e - mean) * (e - mean)) /
                                        4.0;
                const double weight = 1.0 / (5.0 + variance);
                const double flip = (v & 1) != 0 ? 1.0 : -1.0;                 // s - s'
                auto toward = [](int q) { return (q & 1) != 0 ? -1.0 : 1.0; }; // s' - s
                const double flippedPrediction =
                    (toward(n) + toward(s) + toward(w) + toward(e)) / 2.0 -
                    (toward(nw) + toward(ne) + toward(sw) + toward(se)) / 4.0;
                sumW += weight;
                a += weight * flip * (v - predicted);
                b += weight * flip * flippedPrediction;
            }
        }
    }
    if (sumW == 0.0) {
        return 0.0;
    }
    const double uncorrected = 2.0 * a / sumW;
    const double correction = 1.0 + b / sumW;
    // A tile whose parities all agree (flat areas) leaves the correction meaningless.
    return std::fabs(correction) < 0.1 ? uncorrected : uncorrected / correction;
}

} // namespace detect
