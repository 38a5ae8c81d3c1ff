// How well the field's public detectors tell BrindMar's images from untouched photographs.
//
// Covers are 256 x 256 tiles cut on a grid from the JPEG photographs under the folders given on
// the command line (bench/detect_covers installs Debian's wallpaper packages and prints them):
// each picture halved first with a 2 x 2 box filter, which wipes out the JPEG block grid, and,
// as a second set, tiles cut from the pictures as decoded, which keep it. Each embedding at each
// rate (bits per colour byte) is scored on the odd-numbered tiles and their stego copies by
// the chi-square attack, weighted stego, sample pair analysis, and a Fisher discriminant on SPAM
// features trained on the even-numbered tiles; the figures are areas under the ROC curve
// (0.50: the detector cannot tell the tiles apart).
//
// Prints "detect_covers halved N pictures P" and "detect_covers jpeg N pictures P", then one
// line per set, embedding and rate: "detect_auc SET | EMBEDDING | RATE | chi | ws | spa | spam",
// a table a Markdown reader shows as one. For the stealth embeddings on the halved set, a second
// line scores the colour rich model with an ensemble of Fisher discriminants over random 50/50
// splits of the tiles (mean and standard deviation over the splits), on all its features and on
// the co-occurrences of R - G and B - G alone, beside the SPAM figure and what the embedding
// changed: "detect_rich SET | EMBEDDING | RATE | rich | R-G/B-G | SPAM | changed bytes % |
// changes per bit | 2 channels % | 3 channels % | seconds", and what it changed counted by
// pixels: "detect_moves SET | EMBEDDING | RATE | changed pixels per bit | 1 channel % |
// 3 channels %".
//
// Then the time of a stealth embed and extraction against strong protection on a 6000 x 4000
// carrier, for the document each rate gives: "stealth_speed RATE embed_ms S strong_ms T ratio
// R", the same for extract_ms.
//
// Options: folders to search (recursively) for .jpg and .jpeg files; --per-picture=N the most
// tiles taken from one picture (default 20, spread over the picture); --tiles=N at most N tiles
// a set, spread over all those cut; --held-out with --tiles=N, up to N of the tiles that
// --tiles=N leaves out instead; --rates=A,B,... other rates; --only=NAME only the
// embeddings whose name holds NAME (or any of NAME,NAME,...), without the timing;
// --exactly=NAME only the one so named (or those), without the timing (the "diag..." rows,
// bench/detect/Diagnosis.h, run only so asked, on the halved set); --speed the timing alone;
// --splits=N the rich model's random splits (default 5); --no-rich without the rich model;
// --triples=A,B more rows of the stealth coder with these factors on the price of a pixel's
// move by all three channels; --psum-speed the pixel-sum coder's search against the stealth
// coder's on a 6000 x 4000 picture at each rate alone.
#include "Changes.h"
#include "Classifier.h"
#include "Diagnosis.h"
#include "Ensemble.h"
#include "Pictures.h"
#include "PixelSumSpeed.h"
#include "RichModel.h"
#include "Roc.h"
#include "Spam.h"
#include "StealthAdapter.h"
#include "Structural.h"
#include "TileFromImage.h"
#include "Tiling.h"
#include "TodayFormat.h"
#include "protection/StealthImage.h"
#include "protection/StealthStream.h"
#include "protection/StrongSeal.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <malloc.h>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using detect::fromImage;
using detect::Tile;

constexpr int kTileSize = 256;
// The rates measured; --rates=A,B,... measures others (for choosing the recommended rate).
std::vector<double> gRates = {0.01, 0.02, 0.05, 0.1};
int gSplits = 5;
std::vector<float> gTriples;
bool gRich = true;

struct CoverSet {
    std::string name;
    std::vector<Tile> tiles;
    int pictures = 0;
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Scores {
    std::vector<double> chi, ws, spa, spam;
};

struct Scored {
    detect::Samples features; // every tile's SPAM features
    Scores test;              // the odd-numbered tiles' structural scores
};

Scored scoreAll(const std::vector<Tile>& tiles) {
    Scored s;
    for (size_t i = 0; i < tiles.size(); ++i) {
        s.features.push_back(detect::spamFeatures(tiles[i]));
        if (i % 2 == 1) {
            s.test.chi.push_back(detect::chiSquare(tiles[i]).score);
            s.test.ws.push_back(detect::weightedStego(tiles[i]));
            s.test.spa.push_back(detect::samplePairs(tiles[i]));
        }
    }
    return s;
}

// Trains on the even-numbered tiles of both sets and scores the odd-numbered ones.
void classify(Scored& cover, Scored& stego) {
    detect::Samples trainCover, trainStego;
    for (size_t i = 0; i < cover.features.size(); i += 2) {
        trainCover.push_back(cover.features[i]);
        trainStego.push_back(stego.features[i]);
    }
    const detect::FisherLinear model = detect::trainWithChosenRidge(trainCover, trainStego);
    cover.test.spam.clear();
    stego.test.spam.clear();
    for (size_t i = 1; i < cover.features.size(); i += 2) {
        cover.test.spam.push_back(model.score(cover.features[i]));
        stego.test.spam.push_back(model.score(stego.features[i]));
    }
}

// Keeps `limit` of the tiles, evenly spread, so that every picture keeps its share; or, held
// out, up to `limit` of the others, spread the same way: tiles a coder was never tuned on.
void spreadOut(std::vector<Tile>& tiles, size_t limit, bool heldOut) {
    if (tiles.size() <= limit && !heldOut) {
        return;
    }
    std::vector<bool> picked(tiles.size(), false);
    for (size_t i = 0; i < limit && i < tiles.size(); ++i) {
        picked[i * tiles.size() / std::min(limit, tiles.size())] = true;
    }
    std::vector<Tile> kept;
    for (size_t i = 0; i < tiles.size(); ++i) {
        if (picked[i] != heldOut) {
            kept.push_back(std::move(tiles[i]));
        }
    }
    tiles = std::move(kept);
    if (heldOut) {
        spreadOut(tiles, limit, false);
    }
}

using Embed = std::function<void(Tile&, double rate, uint64_t seed)>;

// On two threads, the machine's cores: the features are most of the rich model's time.
detect::FeatureRows richAll(const std::vector<Tile>& tiles) {
    detect::FeatureRows rows(tiles.size());
    const auto part = [&](size_t first) {
        for (size_t i = first; i < tiles.size(); i += 2) {
            rows[i] = detect::richFeatures(tiles[i]);
        }
    };
    std::thread other(part, 1);
    part(0);
    other.join();
    return rows;
}

// The rich model's line for one embedding at one rate; `rich` holds the covers' features.
void measureRich(const CoverSet& set, const detect::FeatureRows& rich, const std::string& name,
                 double rate, const std::vector<Tile>& stegoTiles, double spam, uint64_t seed) {
    const auto start = std::chrono::steady_clock::now();
    const detect::FeatureRows stegoRich = richAll(stegoTiles);
    const detect::RichLayout layout = detect::richLayout();
    std::vector<size_t> differences(layout.differences);
    std::iota(differences.begin(), differences.end(), layout.spatial + layout.colour);
    const detect::EnsembleOptions options;
    const detect::SplitAreas all = detect::splitAreas(rich, stegoRich, {}, gSplits, options, seed);
    const detect::SplitAreas pair =
        detect::splitAreas(rich, stegoRich, differences, gSplits, options, seed + 1);
    const detect::ChangeCount changes = detect::countChanges(set.tiles, stegoTiles);
    const double bits = rate * static_cast<double>(changes.colourBytes);
    std::printf("detect_rich %s | %s | %.3g | %.2f ± %.2f | %.2f ± %.2f | %.2f | %.3f | %.3f | "
                "%.2f | %.2f | %.0f\n",
                set.name.c_str(), name.c_str(), rate, all.mean, all.spread, pair.mean, pair.spread,
                spam, 100.0 * changes.changedShare(),
                bits > 0.0 ? static_cast<double>(changes.changedBytes) / bits : 0.0,
                100.0 * changes.twoShare(), 100.0 * changes.threeShare(), msSince(start) / 1000.0);
    // The moves as a pixel-sum coder counts them: a pixel with any channel changed is one.
    const size_t ones = changes.changedPixels - changes.twoChannels - changes.threeChannels;
    std::printf("detect_moves %s | %s | %.3g | %.3f | %.2f | %.2f\n", set.name.c_str(),
                name.c_str(), rate,
                bits > 0.0 ? static_cast<double>(changes.changedPixels) / bits : 0.0,
                changes.changedPixels == 0 ? 0.0
                                           : 100.0 * static_cast<double>(ones) /
                                                 static_cast<double>(changes.changedPixels),
                100.0 * changes.threeShare());
    std::fflush(stdout);
}

// A row's seeds at a rate: from the rate itself rather than its place in --rates, so that a
// rate's figures are the same whichever other rates a run measures beside it.
uint64_t rateSeed(uint64_t row, double rate) {
    return row * 1000003 + static_cast<uint64_t>(std::llround(rate * 1e6));
}

// rich: the covers' rich features, or null for no rich model rows.
void measure(const CoverSet& set, Scored& cover, const std::string& name, const Embed& embed,
             uint64_t row, const detect::FeatureRows* rich = nullptr) {
    for (size_t r = 0; r < gRates.size(); ++r) {
        std::vector<Tile> stegoTiles = set.tiles;
        const uint64_t seed = rateSeed(row, gRates[r]);
        for (size_t i = 0; i < stegoTiles.size(); ++i) {
            embed(stegoTiles[i], gRates[r], seed * 1000003 + i);
        }
        Scored stego = scoreAll(stegoTiles);
        classify(cover, stego);
        const double spam = detect::rocArea(cover.test.spam, stego.test.spam);
        std::printf("detect_auc %s | %s | %.3g | %.2f | %.2f | %.2f | %.2f\n", set.name.c_str(),
                    name.c_str(), gRates[r], detect::rocArea(cover.test.chi, stego.test.chi),
                    detect::rocArea(cover.test.ws, stego.test.ws),
                    detect::rocArea(cover.test.spa, stego.test.spa), spam);
        std::fflush(stdout);
        if (rich != nullptr) {
            measureRich(set, *rich, name, gRates[r], stegoTiles, spam, seed * 7919);
        }
    }
}

Embed today(detect::Protection protection) {
    return [protection](Tile& tile, double rate, uint64_t seed) {
        detect::carryWithFiller(tile, detect::todayPayload(tile, protection, rate, seed));
    };
}

QByteArray sealedAs(const QByteArray& archive, const brindmar::SecretBytes& key,
                    const brindmar::SealPrelude& prelude) {
    QByteArray sealed;
    brindmar::sealBytes(archive, sealed, "header", key, prelude);
    return sealed;
}

// Stealth against strong protection on one 6000 x 4000 carrier in memory, key derivation apart,
// for the document the carrier takes at `rate`: strong seals it and carries header and seal
// then filler in every colour byte's low pair, as the engine does; its extraction reads the
// pairs back and opens the seal. Prints "stealth_speed RATE embed_ms S strong_ms T ratio R" and
// the same for extraction.
void timeStealth(double rate) {
    const uint32_t width = 6000;
    const uint32_t height = 4000;
    detect::Rng rng(7);
    Tile carrier(static_cast<int>(width), static_cast<int>(height));
    // A smooth picture with grain, so that the costs vary as a photograph's do.
    for (size_t i = 0; i < carrier.bgr.size(); ++i) {
        carrier.bgr[i] = static_cast<uint8_t>(96 + (i / 3 % width) / 100 + rng.below(9));
    }
    brindmar::SecretBytes key(32);
    for (size_t i = 0; i < key.size(); ++i) {
        key.data()[i] = static_cast<unsigned char>(rng.next());
    }
    const brindmar::SealPrelude prelude = brindmar::freshPrelude(brindmar::kStealthCost);
    int64_t length = 0;
    const double fits = rate * 3.0 * width * height / 8;
    while (static_cast<double>(brindmar::sealedLength(length + 4096)) <= fits) {
        length += 4096;
    }
    QByteArray archive(static_cast<qsizetype>(length), Qt::Uninitialized);
    for (char& c : archive) {
        c = static_cast<char>(rng.next());
    }

    Tile stealth = carrier;
    auto start = std::chrono::steady_clock::now();
    const brindmar::StealthEmbedReport made = brindmar::stealthEmbedWithKey(
        stealth.bgr.data(), width, height, key, prelude.salt, archive);
    const double stealthEmbed = msSince(start);
    start = std::chrono::steady_clock::now();
    const brindmar::StealthExtractReport back =
        brindmar::stealthExtractWithKey(stealth.bgr.data(), width, height, key);
    const double stealthExtract = msSince(start);
    if (made.status != brindmar::StealthStatus::Done || back.archive != archive) {
        std::fprintf(stderr, "detect_bench: the stealth image did not give its document back\n");
    }

    Tile strong = carrier;
    start = std::chrono::steady_clock::now();
    const QByteArray sealed = sealedAs(archive, key, prelude);
    std::vector<uint8_t> payload(98, '+');
    payload.insert(payload.end(), sealed.begin(), sealed.end());
    detect::carryWithFiller(strong, payload);
    const double strongEmbed = msSince(start);
    start = std::chrono::steady_clock::now();
    QByteArray read(static_cast<qsizetype>(payload.size()), '\0');
    size_t u = 0;
    for (int row = strong.height - 1; row >= 0 && u / 4 < payload.size(); --row) {
        const uint8_t* bytes = strong.bgr.data() + static_cast<size_t>(row) * width * 3;
        for (size_t k = 0; k < size_t{width} * 3 && u / 4 < payload.size(); ++k, ++u) {
            read[static_cast<qsizetype>(u / 4)] |=
                static_cast<char>((bytes[k] & 3) << (2 * (u % 4)));
        }
    }
    QByteArray opened;
    brindmar::openBytes(read.mid(98), opened, "header", key);
    const double strongExtract = msSince(start);
    if (opened != archive) {
        std::fprintf(stderr, "detect_bench: the strong copy did not give its document back\n");
    }
    std::printf("stealth_speed %.2f document %lld width %u changes %llu\n", rate,
                static_cast<long long>(length), made.width,
                static_cast<unsigned long long>(made.changes));
    std::printf("stealth_speed %.2f embed_ms %.0f strong_ms %.0f ratio %.2f\n", rate, stealthEmbed,
                strongEmbed, stealthEmbed / strongEmbed);
    std::printf("stealth_speed %.2f extract_ms %.0f strong_ms %.0f ratio %.2f\n", rate,
                stealthExtract, strongExtract, stealthExtract / strongExtract);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The rich model makes and drops some hundred quarter-megabyte planes a tile; kept on the
    // heap rather than mapped and unmapped each time, they cost a fifth less.
    mallopt(M_MMAP_THRESHOLD, 1 << 26);
    mallopt(M_TRIM_THRESHOLD, 1 << 28);
    std::vector<std::string> folders;
    int perPicture = 20;
    size_t tileLimit = 0;
    bool speedOnly = false;
    bool pixelSumSpeed = false;
    std::string only;
    bool exactly = false;
    bool heldOut = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--speed") {
            speedOnly = true;
        } else if (arg == "--psum-speed") {
            pixelSumSpeed = true;
        } else if (arg.rfind("--rates=", 0) == 0) {
            gRates.clear();
            for (const QString& r : QString::fromStdString(arg.substr(8)).split(u',')) {
                gRates.push_back(r.toDouble());
            }
        } else if (arg.rfind("--tiles=", 0) == 0) {
            tileLimit = static_cast<size_t>(std::max(4, std::atoi(arg.c_str() + 8)));
        } else if (arg.rfind("--splits=", 0) == 0) {
            gSplits = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--triples=", 0) == 0) {
            for (const QString& f : QString::fromStdString(arg.substr(10)).split(u',')) {
                gTriples.push_back(f.toFloat());
            }
        } else if (arg == "--held-out") {
            heldOut = true;
        } else if (arg == "--no-rich") {
            gRich = false;
        } else if (arg.rfind("--only=", 0) == 0) {
            only = arg.substr(7);
        } else if (arg.rfind("--exactly=", 0) == 0) {
            only = arg.substr(10);
            exactly = true;
        } else if (arg.rfind("--per-picture=", 0) == 0) {
            perPicture = std::max(1, std::atoi(arg.c_str() + 14));
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "detect_bench: unknown option %s\n", arg.c_str());
            return 1;
        } else {
            folders.push_back(arg);
        }
    }
    if (pixelSumSpeed) {
        for (double rate : gRates) {
            detect::timePixelSum(6000, 4000, rate, {});
            detect::timePixelSum(6000, 4000, rate, {3, brindmar::kStealthSyncFactor});
        }
        return 0;
    }
    if (speedOnly) {
        for (double rate : gRates) {
            timeStealth(rate);
        }
        return 0;
    }
    const std::vector<fs::path> pictures = detect::picturesUnder(folders);
    CoverSet halvedSet{"halved", {}, 0};
    CoverSet jpegSet{"jpeg", {}, 0};
    for (const fs::path& path : pictures) {
        QImageReader reader(QString::fromStdString(path.string()));
        const QImage image = reader.read();
        if (image.isNull()) {
            std::fprintf(stderr, "detect_bench: skipped %s: %s\n", path.c_str(),
                         reader.errorString().toStdString().c_str());
            continue;
        }
        const Tile picture = fromImage(image.convertToFormat(QImage::Format_RGB888));
        const size_t before = halvedSet.tiles.size();
        detect::cutTiles(detect::halved(picture), kTileSize, perPicture, halvedSet.tiles);
        halvedSet.pictures += halvedSet.tiles.size() > before ? 1 : 0;
        const size_t jpegBefore = jpegSet.tiles.size();
        detect::cutTiles(picture, kTileSize, perPicture, jpegSet.tiles);
        jpegSet.pictures += jpegSet.tiles.size() > jpegBefore ? 1 : 0;
    }
    if (tileLimit > 0) {
        for (CoverSet* set : {&halvedSet, &jpegSet}) {
            spreadOut(set->tiles, tileLimit, heldOut);
        }
    }
    if (halvedSet.tiles.size() < 4) {
        std::fprintf(stderr,
                     "detect_bench: too few tiles (%zu) from JPEG pictures under the folders "
                     "given; bench/detect_covers installs and lists them\n",
                     halvedSet.tiles.size());
        return 1;
    }
    for (const CoverSet* set : {&halvedSet, &jpegSet}) {
        std::printf("detect_covers %s %zu pictures %d\n", set->name.c_str(), set->tiles.size(),
                    set->pictures);
    }
    std::printf("detect_auc set | embedding | rate | chi-square | WS | SPA | SPAM\n");
    std::fflush(stdout);

    const std::vector<detect::StealthEmbedding> stealth = detect::stealthEmbeddings(gTriples);
    Scored halvedCovers = scoreAll(halvedSet.tiles);
    const detect::FeatureRows halvedRich = gRich ? richAll(halvedSet.tiles) : detect::FeatureRows{};
    if (gRich) {
        std::printf("detect_rich set | embedding | rate | rich | R-G/B-G | SPAM | changed bytes %% "
                    "| changes per bit | 2 channels %% | 3 channels %% | seconds\n");
        std::printf("detect_rich features %zu splits %d\n", detect::richLayout().total(), gSplits);
        std::printf("detect_moves set | embedding | rate | changed pixels per bit | 1 channel %% "
                    "| 3 channels %%\n");
    }
    const auto wanted = [&](const std::string& name) {
        // Some rows' names hold commas themselves: the whole of NAME is tried first.
        if (only.empty() || (exactly ? name == only : name.find(only) != std::string::npos)) {
            return true;
        }
        for (const QString& one : QString::fromStdString(only).split(u',')) {
            const std::string part = one.toStdString();
            if (exactly ? name == part : name.find(part) != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    if (wanted("plain")) {
        measure(halvedSet, halvedCovers, "plain", today(detect::Protection::Plain), 1);
    }
    if (wanted("strong")) {
        measure(halvedSet, halvedCovers, "strong", today(detect::Protection::Strong), 2);
    }
    uint64_t row = 3;
    for (const auto& s : stealth) {
        if (wanted(s.name)) {
            measure(halvedSet, halvedCovers, s.name, s.embed, row, gRich ? &halvedRich : nullptr);
        }
        ++row;
    }
    // The diagnosis rows, asked for by name only; one row number for all, so that each runs the
    // coder under the same keys and the rows differ only in what they switch.
    for (const auto& d : detect::diagnosisEmbeddings()) {
        if (!only.empty() && wanted(d.name)) {
            measure(halvedSet, halvedCovers, d.name, d.embed, 100, gRich ? &halvedRich : nullptr);
        }
    }
    Scored jpegCovers = scoreAll(jpegSet.tiles);
    for (const auto& s : stealth) {
        if (wanted(s.name)) {
            measure(jpegSet, jpegCovers, s.name, s.embed, row);
        }
        ++row;
    }
    if (!only.empty()) {
        return 0;
    }
    for (double rate : gRates) {
        timeStealth(rate);
    }
    return 0;
}
