#pragma once

// The payload-limited sender over pixel sums, worked out in expectation rather than drawn, to
// tell how much of the pixel-sum coder's excess comes from its trellis and how much from its
// two layers: the ternary sender (each pixel up, down or still), one binary layer carrying
// everything, and the two layers each ideal with the stream split between them half and half.
// Also the bit-1 layer's prices that make two layers as good as one ternary sender (Filler,
// Judas and Fridrich 2011): a move there also spends the pixel's chance in the low-bit layer.

#include <vector>

namespace detect {

// A pixel's chance of each of its two moves under the ternary sender at multiplier lambda.
double oneWay(double lambda, double cost);
// The ternary entropy of a pixel moving each way with chance p, and the binary one of a
// change with chance p, in bits.
double ternaryBits(double p);
double binaryBits(double p);

// The multiplier at which the ternary sender carries `target` bits over these costs (wet ones,
// kWet, never move), or, with changes set, makes `target` moves on average.
double lambdaFor(const std::vector<double>& costs, double target, bool changes);

// The bit-1 layer's price of a move that costs rho: ln((1 - p) / p) / lambda for the chance p
// that the ternary sender at lambda moves the pixel the way that flips bit 1, which is
// rho + ln(1 + e^(-lambda rho)) / lambda. Wet stays wet.
double bitOneCost(double rho, double lambda);

struct Expected {
    double moves = 0;
    double distortion = 0; // the moves' costs added up
};

// The ternary sender carrying `bits` over the costs.
Expected ternaryBound(const std::vector<double>& costs, double bits);

// One binary layer carrying `bits`: each pixel moves with chance e^(-l c) / (1 + e^(-l c)).
Expected binaryBound(const std::vector<double>& costs, double bits);

// Two binary layers, each as good as a code can be: the first carries firstBits priced by
// `first` (the moves still cost `costs`), the second the rest priced by `costs` among the
// pixels the first left alone.
Expected layeredBound(const std::vector<double>& costs, const std::vector<double>& first,
                      double firstBits, double secondBits);

} // namespace detect
