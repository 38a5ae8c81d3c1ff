// How well the field's JPEG detectors tell the JPEG coder's images from untouched photographs,
// beside today's route for a JPEG carrier (decoded, ±1 in the colour bytes, written as PNG) and
// steghide, a peer that hides in the coefficients too.
//
// Covers are 256 x 256 tiles cut by jpegtran in the DCT domain from the JPEG photographs under
// the folders given (bench/jpeg_detect_setup installs the programs and the wallpapers and prints
// the folders), so that each keeps its photograph's quantisation. Each tile's quality factor is
// told from its luminance table, and every figure is given for the tiles below quality 90 and
// for those at 90 and above, and for all together; tiles below quality 75 are left out.
//
// Rates are bits per non-zero AC coefficient of the tile (all three components). The JPEG coder
// carries a random stream of that many bits with a random salt, as the program writes it (the
// public coefficients' layers included); today's route carries the longest random document
// whose sealed stream has no more bits; steghide carries that many random bits, which its own
// header comes on top of.
//
// Detectors: DCTR on each component's decoded plane with the ensemble of Fisher discriminants
// (trained on a random half of the band's pairs, scored on the other, over --splits halvings);
// the chi-square attack on coefficient pairs; the calibration attack's estimates of F5's
// shrinkage and of ±1 changes. Today's route is judged as its PNG would be by someone who knows
// the photograph was a JPEG: the colour bytes turned to YCbCr, DCTR on the three full-size planes,
// the planes quantised again with the tile's tables for the coefficient attacks. Each figure is
// the area under the ROC curve on the held-out halves, mean ± standard deviation; a scalar
// attack's direction is learnt on the training half, so that no figure is below 0.5 by more
// than chance.
//
// Prints "jpeg_covers TILES pictures P", the tiles by quality, then per row, rate and band:
// "jpeg_auc BAND | ROW | RATE | PAIRS | DCTR | chi-square | calibrated F5 | calibrated ±1 |
// seconds".
//
// Options: folders; --per-picture=N most tiles of one photograph (default 12); --tiles=N at most N
// tiles, spread over all cut; --rates=A,B,...; --splits=N (default 5); --only=NAME rows whose
// name holds NAME; --recompressed=Q,... a further band per quality Q, of tiles cut from the
// photographs halved and compressed at Q by Qt, for the qualities the wallpapers have few of;
// --recompressed-only those bands alone.
#include "Dctr.h"
#include "Ensemble.h"
#include "JpegAttacks.h"
#include "JpegCovers.h"
#include "JpegEmbeddings.h"
#include "JpegPlanes.h"
#include "Pictures.h"
#include "Roc.h"
#include "TileFromImage.h"
#include "protection/JpegStealth.h"

#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using detect::Tile;
using Components = std::vector<brindmar::JpegComponent>;

constexpr int kTileSize = 256;
// Below this quality a photograph is no longer one people keep; the targets start here.
constexpr int kLeastQuality = 75;
std::vector<double> gRates = {0.05, 0.1, 0.2};
int gSplits = 5;

struct Cover {
    QByteArray file;
    int quality = 0;
    int made = 0; // the quality it was compressed at here, 0 for a photograph's own tile
    uint64_t nonZeroAc = 0;
    Components components;
};

// What the detectors make of one picture.
struct View {
    bool present = false;
    std::vector<float> dctr;
    double chi = 0.0;
    detect::Calibrated calibration;
};

View jpegView(const Components& components, int quality) {
    View view;
    view.present = true;
    const float step = detect::dctrStep(quality);
    for (const brindmar::JpegComponent& component : components) {
        detect::dctrFeatures(detect::decodedPlane(component), step, view.dctr);
    }
    view.chi = detect::jpegChiSquare(components);
    view.calibration = detect::calibrated(components[0]);
    return view;
}

// The colour bytes as JFIF's full-size Y, Cb and Cr planes, unrounded.
std::array<detect::SamplePlane, 3> ycc(const Tile& tile) {
    std::array<detect::SamplePlane, 3> planes;
    for (detect::SamplePlane& p : planes) {
        p = detect::SamplePlane(tile.width, tile.height);
    }
    for (int y = 0; y < tile.height; ++y) {
        for (int x = 0; x < tile.width; ++x) {
            const float b = static_cast<float>(tile.at(x, y, 0));
            const float g = static_cast<float>(tile.at(x, y, 1));
            const float r = static_cast<float>(tile.at(x, y, 2));
            planes[0].at(x, y) = 0.299f * r + 0.587f * g + 0.114f * b;
            planes[1].at(x, y) = -0.168736f * r - 0.331264f * g + 0.5f * b + 128.0f;
            planes[2].at(x, y) = 0.5f * r - 0.418688f * g - 0.081312f * b + 128.0f;
        }
    }
    return planes;
}

View pixelView(const Tile& tile, const Cover& cover) {
    View view;
    view.present = true;
    const float step = detect::dctrStep(cover.quality);
    std::array<detect::SamplePlane, 3> planes = ycc(tile);
    Components requantised;
    for (size_t c = 0; c < planes.size(); ++c) {
        detect::dctrFeatures(planes[c], step, view.dctr);
        const size_t table = std::min(c, cover.components.size() - 1);
        requantised.push_back(detect::quantisedBlocks(planes[c], cover.components[table].quant));
    }
    view.chi = detect::jpegChiSquare(requantised);
    view.calibration = detect::calibrated(requantised[0]);
    return view;
}

std::optional<Tile> decodedTile(const QByteArray& file) {
    const QImage image = QImage::fromData(file, "JPEG");
    if (image.isNull()) {
        return std::nullopt;
    }
    return detect::fromImage(image.convertToFormat(QImage::Format_RGB888));
}

std::optional<Components> componentsOf(const QByteArray& file) {
    brindmar::JpegCoefficients jpeg;
    if (jpeg.open(file) != brindmar::JpegOpenStatus::Done || jpeg.components().size() != 3) {
        return std::nullopt;
    }
    return jpeg.components();
}

// On two threads, the machine's cores.
std::vector<View> viewsOf(size_t count, const std::function<View(size_t)>& one) {
    std::vector<View> views(count);
    const auto part = [&](size_t first) {
        for (size_t i = first; i < count; i += 2) {
            views[i] = one(i);
        }
    };
    std::thread other(part, 1);
    part(0);
    other.join();
    return views;
}

struct Band {
    std::string name;
    std::function<bool(const Cover&)> holds;
};

std::vector<Band> gBands = {
    {"q<90", [](const Cover& c) { return c.made == 0 && c.quality < 90; }},
    {"q>=90", [](const Cover& c) { return c.made == 0 && c.quality >= 90; }},
    // Both together: twice the pairs to train on, which shows how much the bands' figures owe
    // to their smaller training sets.
    {"all", [](const Cover& c) { return c.made == 0; }}};

// The photograph's tiles that open as colour JPEGs of quality kLeastQuality and above; the number
// taken, and those below the quality counted in `belowLeast`.
int addTiles(const std::filesystem::path& path, int made, int perPicture, std::vector<Cover>& out,
             int& belowLeast) {
    int added = 0;
    for (QByteArray& file : detect::cutJpegTiles(path, kTileSize, perPicture)) {
        brindmar::JpegCoefficients jpeg;
        if (jpeg.open(file) != brindmar::JpegOpenStatus::Done || jpeg.components().size() != 3) {
            continue;
        }
        Cover cover;
        cover.quality = detect::estimatedQuality(jpeg.components()[0].quant);
        if (cover.quality < kLeastQuality) {
            ++belowLeast;
            continue;
        }
        cover.made = made;
        cover.nonZeroAc = brindmar::jpegNonZeroAcCount(jpeg);
        cover.components = jpeg.components();
        cover.file = std::move(file);
        out.push_back(std::move(cover));
        ++added;
    }
    return added;
}

// The photograph halved (which wipes out its own blocks) and compressed at `quality` by Qt, as a
// file in `dir` for jpegtran to cut; empty when it cannot be read.
std::filesystem::path halvedAt(const std::filesystem::path& path, int quality,
                               const QTemporaryDir& dir) {
    QImageReader reader(QString::fromStdString(path.string()));
    const QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    const QString name = dir.filePath(QStringLiteral("halved.jpg"));
    QImageWriter writer(name, "JPEG");
    writer.setQuality(quality);
    if (!writer.write(image.scaled(image.width() / 2, image.height() / 2, Qt::IgnoreAspectRatio,
                                   Qt::SmoothTransformation))) {
        return {};
    }
    return name.toStdString();
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A scalar attack's area on the same kind of random halves as the ensemble's.
detect::SplitAreas scalarAreas(const std::vector<double>& cover, const std::vector<double>& stego,
                               uint64_t seed) {
    detect::SplitAreas result;
    detect::Rng rng(seed);
    double sum = 0.0;
    for (int s = 0; s < gSplits; ++s) {
        std::vector<size_t> order(cover.size());
        for (size_t i = 0; i < order.size(); ++i) {
            order[i] = i;
        }
        for (size_t i = order.size(); i > 1; --i) {
            std::swap(order[i - 1], order[rng.below(i)]);
        }
        // The attack's direction is learnt on one half, as a trained detector's would be, and
        // the area taken on the other.
        const size_t half = order.size() / 2;
        std::vector<double> c, t;
        for (size_t i = 0; i < half; ++i) {
            c.push_back(cover[order[i]]);
            t.push_back(stego[order[i]]);
        }
        const double sign = detect::rocArea(c, t) < 0.5 ? -1.0 : 1.0;
        c.clear();
        t.clear();
        for (size_t i = half; i < order.size(); ++i) {
            c.push_back(sign * cover[order[i]]);
            t.push_back(sign * stego[order[i]]);
        }
        result.areas.push_back(detect::rocArea(c, t));
        sum += result.areas.back();
    }
    result.mean = sum / gSplits;
    double squares = 0.0;
    for (double a : result.areas) {
        squares += (a - result.mean) * (a - result.mean);
    }
    result.spread = gSplits > 1 ? std::sqrt(squares / (gSplits - 1)) : 0.0;
    return result;
}

void report(const std::vector<Cover>& covers, const std::vector<View>& coverViews,
            const std::vector<View>& stegoViews, const std::string& row, double rate, uint64_t seed,
            std::chrono::steady_clock::time_point start) {
    for (const Band& band : gBands) {
        detect::FeatureRows cover, stego;
        std::vector<double> chiC, chiS, f5C, f5S, pmC, pmS;
        for (size_t i = 0; i < covers.size(); ++i) {
            if (!band.holds(covers[i]) || !stegoViews[i].present) {
                continue;
            }
            cover.push_back(coverViews[i].dctr);
            stego.push_back(stegoViews[i].dctr);
            chiC.push_back(coverViews[i].chi);
            chiS.push_back(stegoViews[i].chi);
            f5C.push_back(coverViews[i].calibration.shrinkage);
            f5S.push_back(stegoViews[i].calibration.shrinkage);
            pmC.push_back(coverViews[i].calibration.plusMinusOne);
            pmS.push_back(stegoViews[i].calibration.plusMinusOne);
        }
        if (cover.size() < 8) {
            std::printf("jpeg_auc %s | %s | %.2f | %zu | too few pairs\n", band.name.c_str(),
                        row.c_str(), rate, cover.size());
            continue;
        }
        const detect::SplitAreas dctr =
            detect::splitAreas(cover, stego, {}, gSplits, detect::EnsembleOptions{}, seed);
        const detect::SplitAreas chi = scalarAreas(chiC, chiS, seed + 1);
        const detect::SplitAreas f5 = scalarAreas(f5C, f5S, seed + 2);
        const detect::SplitAreas pm = scalarAreas(pmC, pmS, seed + 3);
        std::printf("jpeg_auc %s | %s | %.2f | %zu | %.2f ± %.2f | %.2f ± %.2f | %.2f ± %.2f | "
                    "%.2f ± %.2f | %.0f\n",
                    band.name.c_str(), row.c_str(), rate, cover.size(), dctr.mean, dctr.spread,
                    chi.mean, chi.spread, f5.mean, f5.spread, pm.mean, pm.spread,
                    msSince(start) / 1000.0);
        std::fflush(stdout);
    }
}

uint64_t bitsAt(const Cover& cover, double rate) {
    return static_cast<uint64_t>(rate * static_cast<double>(cover.nonZeroAc) / 8.0) * 8;
}

QByteArray randomBytes(uint64_t count, uint64_t seed) {
    detect::Rng rng(seed);
    QByteArray bytes(static_cast<qsizetype>(count), Qt::Uninitialized);
    for (char& c : bytes) {
        c = static_cast<char>(rng.next());
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> folders;
    int perPicture = 12;
    size_t tileLimit = 0;
    std::string only;
    std::vector<int> recompressed;
    bool recompressedOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--rates=", 0) == 0) {
            gRates.clear();
            for (const QString& r : QString::fromStdString(arg.substr(8)).split(u',')) {
                gRates.push_back(r.toDouble());
            }
        } else if (arg.rfind("--tiles=", 0) == 0) {
            tileLimit = static_cast<size_t>(std::max(8, std::atoi(arg.c_str() + 8)));
        } else if (arg.rfind("--splits=", 0) == 0) {
            gSplits = std::max(1, std::atoi(arg.c_str() + 9));
        } else if (arg.rfind("--per-picture=", 0) == 0) {
            perPicture = std::max(1, std::atoi(arg.c_str() + 14));
        } else if (arg.rfind("--recompressed=", 0) == 0) {
            for (const QString& q : QString::fromStdString(arg.substr(15)).split(u',')) {
                recompressed.push_back(q.toInt());
            }
        } else if (arg == "--recompressed-only") {
            recompressedOnly = true;
        } else if (arg.rfind("--only=", 0) == 0) {
            only = arg.substr(7);
        } else if (arg.rfind("--", 0) == 0) {
            std::fprintf(stderr, "jpeg_detect_bench: unknown option %s\n", arg.c_str());
            return 1;
        } else {
            folders.push_back(arg);
        }
    }
    auto start = std::chrono::steady_clock::now();
    std::vector<Cover> covers;
    int pictures = 0;
    int belowLeast = 0;
    const std::vector<std::filesystem::path> photographs = detect::picturesUnder(folders);
    for (const auto& path : photographs) {
        if (!recompressedOnly) {
            pictures += addTiles(path, 0, perPicture, covers, belowLeast) > 0 ? 1 : 0;
        }
    }
    const QTemporaryDir scratch;
    for (int quality : recompressed) {
        gBands.push_back({"halved q" + std::to_string(quality),
                          [quality](const Cover& c) { return c.made == quality; }});
        for (const auto& path : photographs) {
            const std::filesystem::path halved = halvedAt(path, quality, scratch);
            if (!halved.empty()) {
                addTiles(halved, quality, perPicture, covers, belowLeast);
            }
        }
    }
    if (tileLimit > 0 && covers.size() > tileLimit) {
        std::vector<Cover> kept;
        for (size_t i = 0; i < tileLimit; ++i) {
            kept.push_back(std::move(covers[i * covers.size() / tileLimit]));
        }
        covers = std::move(kept);
    }
    if (covers.size() < 16) {
        std::fprintf(stderr,
                     "jpeg_detect_bench: too few tiles (%zu); bench/jpeg_detect_setup "
                     "installs the photographs and jpegtran\n",
                     covers.size());
        return 1;
    }
    std::map<int, int> byQuality;
    std::map<int, int> byMade;
    for (const Cover& c : covers) {
        ++(c.made == 0 ? byQuality[c.quality] : byMade[c.made]);
    }
    std::printf("jpeg_covers %zu pictures %d below_quality_%d %d seconds %.0f\n", covers.size(),
                pictures, kLeastQuality, belowLeast, msSince(start) / 1000.0);
    std::printf("jpeg_covers quality");
    for (const auto& [q, n] : byQuality) {
        std::printf(" %d:%d", q, n);
    }
    for (const auto& [q, n] : byMade) {
        std::printf("\njpeg_covers halved_q%d %d", q, n);
    }
    std::printf("\njpeg_auc band | row | rate | pairs | DCTR | chi-square | calibrated F5 | "
                "calibrated ±1 | seconds\n");
    std::fflush(stdout);

    start = std::chrono::steady_clock::now();
    const std::vector<View> jpegCovers = viewsOf(
        covers.size(), [&](size_t i) { return jpegView(covers[i].components, covers[i].quality); });
    std::vector<std::optional<Tile>> decoded(covers.size());
    for (size_t i = 0; i < covers.size(); ++i) {
        decoded[i] = decodedTile(covers[i].file);
    }
    const std::vector<View> pixelCovers = viewsOf(covers.size(), [&](size_t i) {
        return decoded[i] ? pixelView(*decoded[i], covers[i]) : View{};
    });
    std::printf("jpeg_covers features %zu seconds %.0f\n", jpegCovers[0].dctr.size(),
                msSince(start) / 1000.0);
    std::fflush(stdout);

    const auto wanted = [&](const std::string& name) {
        return only.empty() || name.find(only) != std::string::npos;
    };
    for (size_t r = 0; r < gRates.size(); ++r) {
        const double rate = gRates[r];
        const uint64_t seed = 1000003 * (r + 1);
        if (wanted("JPEG stealth")) {
            start = std::chrono::steady_clock::now();
            const std::vector<View> stego = viewsOf(covers.size(), [&](size_t i) {
                const std::optional<QByteArray> file =
                    detect::jpegStealthTile(covers[i].file, rate, seed + i);
                const std::optional<Components> parts = file ? componentsOf(*file) : std::nullopt;
                return parts ? jpegView(*parts, covers[i].quality) : View{};
            });
            report(covers, jpegCovers, stego, "JPEG stealth", rate, seed, start);
        }
        if (wanted("today")) {
            start = std::chrono::steady_clock::now();
            const std::vector<View> stego = viewsOf(covers.size(), [&](size_t i) {
                if (!decoded[i]) {
                    return View{};
                }
                Tile tile = *decoded[i];
                detect::pixelStealth(tile, bitsAt(covers[i], rate), seed + i);
                return pixelView(tile, covers[i]);
            });
            report(covers, pixelCovers, stego, "today's route (pixels, PNG)", rate, seed + 7,
                   start);
        }
        if (wanted("steghide")) {
            start = std::chrono::steady_clock::now();
            const std::vector<View> stego = viewsOf(covers.size(), [&](size_t i) {
                const std::optional<QByteArray> file = detect::steghideEmbed(
                    covers[i].file, randomBytes(bitsAt(covers[i], rate) / 8, seed + i), seed + i);
                const std::optional<Components> parts = file ? componentsOf(*file) : std::nullopt;
                return parts ? jpegView(*parts, covers[i].quality) : View{};
            });
            report(covers, jpegCovers, stego, "steghide", rate, seed + 13, start);
        }
    }
    return 0;
}
