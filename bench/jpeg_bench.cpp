// The JPEG coder's speed on a 4000 x 3000 photograph: opening the file's coefficients, hiding a
// stream at each rate and writing the file, against a plain decode and encode of the same file
// through Qt (libjpeg-turbo), at the same quality, measured in the same run. Keys are drawn at
// random: their derivation is timed elsewhere (protect_bench) and not part of either side.
//
// The photograph is the largest JPEG under the folders given (bench/detect_covers lists
// Debian's wallpapers), scaled to 4000 x 3000 and stored at quality 90 as a camera would; with
// no folder, a synthetic photograph of the same size.
//
// Prints "jpeg_speed nonzero_ac N", the medians "jpeg_plain_ms N" (decode + encode), and for each
// rate "jpeg_stealth RATE open_ms A cost_ms B embed_ms C write_ms D total_ms T changes K", then
// "ratio jpeg_stealth RATE R" (total / plain). Options: --reps=N (default 5), --rates=A,B,...
#include "BenchPhotograph.h"
#include "Pictures.h"
#include "Tile.h"
#include "protection/JpegCost.h"
#include "protection/JpegStealth.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

QByteArray encoded(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QImage source(const std::vector<std::string>& folders) {
    uintmax_t largest = 0;
    std::filesystem::path chosen;
    for (const auto& path : detect::picturesUnder(folders)) {
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(path, ec);
        if (!ec && size > largest) {
            largest = size;
            chosen = path;
        }
    }
    QImage image;
    if (!chosen.empty()) {
        image = QImageReader(QString::fromStdString(chosen.string())).read();
        std::printf("jpeg_speed source %s\n", chosen.c_str());
    }
    if (image.isNull()) {
        std::printf("jpeg_speed source synthetic\n");
        return bench::photograph(4000, 3000);
    }
    return image.scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int reps = 5;
    std::vector<double> rates = {0.05, 0.1, 0.2};
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--reps=", 0) == 0) {
            reps = std::max(1, std::atoi(arg.c_str() + 7));
        } else if (arg.rfind("--rates=", 0) == 0) {
            rates.clear();
            for (const QString& r : QString::fromStdString(arg.substr(8)).split(u',')) {
                rates.push_back(r.toDouble());
            }
        } else {
            folders.push_back(arg);
        }
    }
    constexpr int kQuality = 90;
    const QByteArray file = encoded(source(folders), kQuality);
    {
        brindmar::JpegCoefficients jpeg;
        if (jpeg.open(file) != brindmar::JpegOpenStatus::Done) {
            std::fprintf(stderr, "jpeg_bench: the photograph did not open\n");
            return 1;
        }
        std::printf("jpeg_speed bytes %lld nonzero_ac %llu\n", static_cast<long long>(file.size()),
                    static_cast<unsigned long long>(brindmar::jpegNonZeroAcCount(jpeg)));
    }
    std::vector<double> plain;
    for (int r = 0; r < reps; ++r) {
        const auto start = Clock::now();
        const QImage image = QImage::fromData(file, "JPEG");
        const QByteArray again = encoded(image, kQuality);
        plain.push_back(msSince(start));
        if (again.isEmpty()) {
            std::fprintf(stderr, "jpeg_bench: the plain encode failed\n");
            return 1;
        }
    }
    const double plainMs = median(plain);
    std::printf("jpeg_plain_ms %.0f\n", plainMs);
    std::fflush(stdout);

    detect::Rng rng(34);
    for (double rate : rates) {
        std::vector<double> open, cost, embed, write, total;
        uint64_t changes = 0;
        for (int r = 0; r < reps; ++r) {
            brindmar::JpegStealthKeys keys;
            for (auto* key : {&keys.walk, &keys.head, &keys.code, &keys.directions}) {
                for (unsigned char& b : *key) {
                    b = static_cast<unsigned char>(rng.next());
                }
            }
            auto start = Clock::now();
            brindmar::JpegCoefficients jpeg;
            jpeg.open(file);
            open.push_back(msSince(start));
            QByteArray stream(
                static_cast<qsizetype>(rate *
                                       static_cast<double>(brindmar::jpegNonZeroAcCount(jpeg)) / 8),
                Qt::Uninitialized);
            for (char& c : stream) {
                c = static_cast<char>(rng.next());
            }
            // The cost alone, as the embed works it out once more inside.
            start = Clock::now();
            float prices[63];
            float sink = 0;
            for (const brindmar::JpegComponent& component : jpeg.components()) {
                const brindmar::UerdCost uerd(component);
                for (uint64_t b = 0; b < component.blocks(); ++b) {
                    uerd.block(b, prices);
                    sink += prices[b % 63];
                }
            }
            cost.push_back(msSince(start));
            start = Clock::now();
            const brindmar::JpegStealthReport report =
                brindmar::jpegStealthEmbed(jpeg, keys, stream);
            embed.push_back(msSince(start));
            start = Clock::now();
            const QByteArray out = jpeg.write();
            write.push_back(msSince(start));
            total.push_back(open.back() + embed.back() + write.back());
            if (!report.done || out.isEmpty() || sink < 0) {
                std::fprintf(stderr, "jpeg_bench: the embed failed at %.2f\n", rate);
                return 1;
            }
            changes = report.changes;
        }
        std::printf("jpeg_stealth %.2f open_ms %.0f cost_ms %.0f embed_ms %.0f write_ms %.0f "
                    "total_ms %.0f changes %llu\n",
                    rate, median(open), median(cost), median(embed), median(write), median(total),
                    static_cast<unsigned long long>(changes));
        std::printf("ratio jpeg_stealth %.2f %.2f\n", rate, median(total) / plainMs);
        std::fflush(stdout);
    }
    return 0;
}
