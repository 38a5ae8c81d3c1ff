// The ternary coder prototype against the payload-limited sender with the same costs: changes
// per hidden bit on 256 x 256 tiles of halved photographs (the detection benchmark's covers),
// HILL costs, each tile's colour bytes taken along a seeded walk as the stealth coder takes
// them.
//
// Prints, for each rate (bits per colour byte), "ternary RATE tiles N height H changes_per_bit
// C bound_per_bit B ratio R changed_bytes_pct P directions_pct D ms_per_tile T": C counts the
// coder's changes, B the sender's expected ones, D the share of the message the directions
// carried.
//
// Options: folders to search for .jpg and .jpeg files (bench/detect_covers lists them);
// --tiles=N (default 40), --height=H the trellis's constraint height (default 8),
// --rates=A,B,...
#include "Pictures.h"
#include "Tile.h"
#include "TileFromImage.h"
#include "Tiling.h"
#include "protection/HillCost.h"
#include "protection/TernaryTrellis.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

namespace {

using detect::fromImage;
using detect::Tile;

struct Totals {
    double bits = 0.0;
    double changes = 0.0;
    double bound = 0.0;
    double directions = 0.0;
    double bytes = 0.0;
    double ms = 0.0;
    int tiles = 0;
    int failed = 0;
};

void embedTile(const Tile& tile, double rate, int height, uint64_t seed, Totals& totals) {
    const size_t n = tile.colourBytes();
    std::vector<float> costs(n);
    brindmar::HillCost(tile.bgr.data(), static_cast<uint32_t>(tile.width),
                       static_cast<uint32_t>(tile.height))
        .rows(0, static_cast<uint32_t>(tile.height), costs.data());
    detect::Rng rng(seed);
    std::vector<size_t> walk(n);
    std::iota(walk.begin(), walk.end(), size_t{0});
    for (size_t i = n - 1; i > 0; --i) {
        std::swap(walk[i], walk[rng.below(i + 1)]);
    }
    std::vector<uint8_t> values(n);
    std::vector<float> walked(n);
    for (size_t i = 0; i < n; ++i) {
        values[i] = tile.bgr[walk[i]];
        walked[i] = costs[walk[i]];
    }
    std::vector<uint8_t> message(static_cast<size_t>(rate * static_cast<double>(n)));
    for (uint8_t& b : message) {
        b = static_cast<uint8_t>(rng.next() & 1);
    }
    const auto start = std::chrono::steady_clock::now();
    const brindmar::TernaryResult made =
        brindmar::ternaryEmbed(values.data(), walked.data(), n, message, height, rng.next());
    totals.ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!made.ok) {
        ++totals.failed;
        return;
    }
    ++totals.tiles;
    totals.bits += static_cast<double>(message.size());
    totals.changes += static_cast<double>(made.changes);
    totals.bound += made.plan.expectedChanges;
    totals.directions += static_cast<double>(made.plan.bitsTwo);
    totals.bytes += static_cast<double>(n);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> folders;
    std::vector<double> rates = {0.01, 0.02, 0.05, 0.1};
    size_t limit = 40;
    int height = 8;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--tiles=", 0) == 0) {
            limit = static_cast<size_t>(std::max(1, std::atoi(arg.c_str() + 8)));
        } else if (arg.rfind("--height=", 0) == 0) {
            height = std::clamp(std::atoi(arg.c_str() + 9), 2, 16);
        } else if (arg.rfind("--rates=", 0) == 0) {
            rates.clear();
            for (const QString& r : QString::fromStdString(arg.substr(8)).split(u',')) {
                rates.push_back(r.toDouble());
            }
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "ternary_bench: unknown option %s\n", arg.c_str());
            return 1;
        } else {
            folders.push_back(arg);
        }
    }
    std::vector<Tile> tiles;
    for (const auto& path : detect::picturesUnder(folders)) {
        const QImage image = QImageReader(QString::fromStdString(path.string())).read();
        if (!image.isNull()) {
            detect::cutTiles(
                detect::halved(fromImage(image.convertToFormat(QImage::Format_RGB888))), 256, 20,
                tiles);
        }
    }
    if (tiles.empty()) {
        std::fprintf(stderr, "ternary_bench: no tiles; bench/detect_covers lists the folders\n");
        return 1;
    }
    // Spread over all the tiles cut, as the detection benchmark spreads its own.
    std::vector<Tile> kept;
    for (size_t i = 0; i < std::min(limit, tiles.size()); ++i) {
        kept.push_back(tiles[i * tiles.size() / std::min(limit, tiles.size())]);
    }
    for (size_t r = 0; r < rates.size(); ++r) {
        Totals totals;
        for (size_t t = 0; t < kept.size(); ++t) {
            embedTile(kept[t], rates[r], height, r * 1000003 + t, totals);
        }
        std::printf("ternary %.2f tiles %d failed %d height %d changes_per_bit %.4f "
                    "bound_per_bit %.4f ratio %.3f changed_bytes_pct %.3f directions_pct %.1f "
                    "ms_per_tile %.0f\n",
                    rates[r], totals.tiles, totals.failed, height, totals.changes / totals.bits,
                    totals.bound / totals.bits, totals.changes / totals.bound,
                    100.0 * totals.changes / totals.bytes, 100.0 * totals.directions / totals.bits,
                    totals.ms / std::max(1, totals.tiles + totals.failed));
        std::fflush(stdout);
    }
    return 0;
}
