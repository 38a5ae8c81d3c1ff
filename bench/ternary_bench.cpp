// The stealth coder's changes per hidden bit against the payload-limited sender with the same
// costs: on 256 x 256 tiles of halved photographs (the detection benchmark's covers), the real
// embed of a random sealed stream, against the sender that changes each colour byte up or down
// with probability e^(-l c) / (1 + 2 e^(-l c)) for its HILL cost c (wet bytes, those at 0 or 255
// or flat among their neighbours, never; with the colour difference costs added as the coder
// adds them), l chosen so that the ternary entropies add up to the
// stream's bits. The bound leaves out the salt's and the head's few changes, and so does C.
//
// Prints, for each rate (bits per colour byte) and coupling factor, "ternary RATE sync S tiles N
// failed F changes_per_bit C bound_per_bit B ratio R bit1_share Q changed_bytes_pct P
// ms_per_tile T": F the tiles whose embed failed or did not read back, Q the share of the bound's
// bits that its changes of bit 1 carry (the split between the coder's two layers the ideal
// sender would make).
//
// Options: folders to search for .jpg and .jpeg files (bench/detect_covers lists them);
// --tiles=N (default 40), --rates=A,B,..., --sync=A,B,... coupling factors (default 1 and the
// format's).
#include "Pictures.h"
#include "PlusMinusOne.h"
#include "StealthAdapter.h"
#include "Tile.h"
#include "TileFromImage.h"
#include "Tiling.h"
#include "protection/HillCost.h"
#include "protection/StealthImage.h"
#include "protection/StealthStream.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using detect::fromImage;
using detect::Tile;

struct Totals {
    double bits = 0.0;
    double changes = 0.0;
    double bound = 0.0;
    double bitOne = 0.0; // the bound's bits in bit 1
    double bytes = 0.0;
    double ms = 0.0;
    int tiles = 0;
    int failed = 0;
};

// As the embed has it: at 0 or 255, or equal to every neighbour of its channel.
bool wet(const Tile& tile, int x, int y, int c) {
    const uint8_t v = tile.bgr[(size_t(y) * tile.width + x) * 3 + c];
    if (v == 0 || v == 255) {
        return true;
    }
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int nx = x + dx;
            const int ny = y + dy;
            if (nx >= 0 && ny >= 0 && nx < tile.width && ny < tile.height &&
                tile.bgr[(size_t(ny) * tile.width + nx) * 3 + c] != v) {
                return false;
            }
        }
    }
    return true;
}

// The ideal sender's expected changes for `bits` with these costs; and into bitOne, the bits
// its changes of bit 1 carry: the entropy of one direction's probability, summed.
double boundChanges(const std::vector<float>& costs, double bits, double* bitOne) {
    const auto at = [&](double lambda, double* changes) {
        double h = 0.0;
        *changes = 0.0;
        *bitOne = 0.0;
        for (const float c : costs) {
            if (!std::isfinite(c)) {
                continue;
            }
            const double e = std::exp(-lambda * c);
            const double p = e / (1.0 + 2.0 * e);
            const double stay = 1.0 - 2.0 * p;
            h -= (p > 0.0 ? 2.0 * p * std::log2(p) : 0.0) +
                 (stay > 0.0 ? stay * std::log2(stay) : 0.0);
            *changes += 2.0 * p;
            *bitOne -= (p > 0.0 ? p * std::log2(p) : 0.0) +
                       (1.0 - p > 0.0 ? (1.0 - p) * std::log2(1.0 - p) : 0.0);
        }
        return h;
    };
    double low = -30.0;
    double high = 30.0;
    double changes = 0.0;
    for (int step = 0; step < 60; ++step) {
        const double middle = (low + high) / 2.0;
        (at(std::exp(middle), &changes) > bits ? low : high) = middle;
    }
    at(std::exp(high), &changes);
    return changes;
}

void embedTile(const Tile& tile, double rate, uint64_t seed, Totals& totals) {
    const size_t n = tile.colourBytes();
    std::vector<float> costs(n);
    const auto w = static_cast<uint32_t>(tile.width);
    const auto h = static_cast<uint32_t>(tile.height);
    brindmar::HillCost(tile.bgr.data(), w, h).rows(0, h, costs.data());
    if (brindmar::gStealthColourCosts) {
        std::vector<unsigned char> differences(n);
        brindmar::channelDifferences(tile.bgr.data(), n / 3, differences.data());
        std::vector<float> more(n);
        brindmar::HillCost(differences.data(), w, h).rows(0, h, more.data());
        for (size_t i = 0; i < n; ++i) {
            costs[i] += more[i];
        }
    }
    for (int y = 0; y < tile.height; ++y) {
        for (int x = 0; x < tile.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                if (wet(tile, x, y, c)) {
                    costs[(size_t(y) * tile.width + x) * 3 + c] = HUGE_VALF;
                }
            }
        }
    }
    detect::Rng rng(seed);
    const detect::StealthInputs in = detect::randomStealthInputs(rng, rate * double(n));
    Tile stego = tile;
    const auto start = std::chrono::steady_clock::now();
    const brindmar::StealthEmbedReport made = brindmar::stealthEmbedWithKey(
        stego.bgr.data(), static_cast<uint32_t>(tile.width), static_cast<uint32_t>(tile.height),
        in.key, in.salt, in.archive);
    totals.ms +=
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (made.status != brindmar::StealthStatus::Done ||
        brindmar::stealthExtractWithKey(stego.bgr.data(), w, h, in.key).archive != in.archive) {
        ++totals.failed;
        return;
    }
    const double bits = 8.0 * static_cast<double>(brindmar::sealedLength(in.archive.size()));
    ++totals.tiles;
    totals.bits += bits;
    totals.changes += static_cast<double>(made.streamChanges);
    double bitOne = 0.0;
    totals.bound += boundChanges(costs, bits, &bitOne);
    totals.bitOne += bitOne;
    totals.bytes += static_cast<double>(n);
}

std::vector<double> listOf(const std::string& text) {
    std::vector<double> values;
    for (const QString& r : QString::fromStdString(text).split(u',')) {
        values.push_back(r.toDouble());
    }
    return values;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> folders;
    std::vector<double> rates = {0.01, 0.02, 0.05, 0.1};
    std::vector<double> syncs = {1.0, brindmar::kStealthSyncFactor};
    size_t limit = 40;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--tiles=", 0) == 0) {
            limit = static_cast<size_t>(std::max(1, std::atoi(arg.c_str() + 8)));
        } else if (arg.rfind("--rates=", 0) == 0) {
            rates = listOf(arg.substr(8));
        } else if (arg.rfind("--sync=", 0) == 0) {
            syncs = listOf(arg.substr(7));
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
        for (const double sync : syncs) {
            brindmar::gStealthSyncFactor = static_cast<float>(sync);
            Totals totals;
            for (size_t t = 0; t < kept.size(); ++t) {
                embedTile(kept[t], rates[r], r * 1000003 + t, totals);
            }
            std::printf("ternary %.2f sync %.1f tiles %d failed %d changes_per_bit %.4f "
                        "bound_per_bit %.4f ratio %.3f bit1_share %.3f changed_bytes_pct %.3f "
                        "ms_per_tile %.0f\n",
                        rates[r], sync, totals.tiles, totals.failed, totals.changes / totals.bits,
                        totals.bound / totals.bits, totals.changes / totals.bound,
                        totals.bitOne / totals.bits, 100.0 * totals.changes / totals.bytes,
                        totals.ms / std::max(1, totals.tiles + totals.failed));
            std::fflush(stdout);
        }
    }
    return 0;
}
