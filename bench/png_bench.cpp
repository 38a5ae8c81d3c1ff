// Times the PNG side of a 6000 x 4000 carrier of a photograph's kind (gradients under fine
// grain): writing the engine's BMP output as PNG at each deflate level against a plain encode
// of the same pixels by Qt's writer, and reading that PNG back into a BMP carrier (what
// extraction does first) against a plain decode by Qt's reader, measured in the same run.
//
// Prints "png_write_level_L_ms N" and "png_size_level_L_bytes N" for levels 1, 3 and 6,
// "png_write_one_core_ms N" and "ratio png_write_cores R" (all cores / one core),
// "plain_png_encode_ms N", "png_to_bmp_ms N", "plain_png_decode_ms N", "bmp_bytes N", and last
// "ratio png_write R" (the chosen level's write / plain encode) and "ratio png_read R"
// (PNG to BMP / plain decode), and "ratio png_size R" (PNG / BMP).
//
// Options: --reps=N repetitions (default 3).
#include "imaging/PngWriter.h"
#include "imaging/QtPictureConverter.h"
#include "payload/BmpHeader.h"
#include "protection/Parallel.h"

#include "BenchPhotograph.h"
#include "BenchSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

double millisecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double medianOf(int reps, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        times.push_back(millisecondsOf(work));
    }
    return bench::median(times);
}

QImage photograph() {
    return bench::photograph(kWidth, kHeight);
}

void die(const char* what) {
    std::fprintf(stderr, "png_bench: %s\n", what);
    std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    const int reps = bench::runOptions(argc, argv, 3).reps;
    QTemporaryDir dir;
    const QString bmp = dir.filePath(QStringLiteral("carrier.bmp"));
    const QImage picture = photograph();
    if (!QImageWriter(bmp, "bmp").write(picture.convertToFormat(QImage::Format_RGB888))) {
        die("cannot write the carrier");
    }
    const QString png = dir.filePath(QStringLiteral("carrier.png"));
    for (const int level : {1, 3, 6}) {
        const double ms = medianOf(reps, [&] {
            if (!brindmar::writePngFromBmp(bmp, png, level).ok) {
                die("cannot write the PNG");
            }
        });
        std::printf("png_write_level_%d_ms %.1f\n", level, ms);
        std::printf("png_size_level_%d_bytes %lld\n", level,
                    static_cast<long long>(QFile(png).size()));
    }
    const double write = medianOf(reps, [&] {
        if (!brindmar::writePngFromBmp(bmp, png, brindmar::kPngLevel).ok) {
            die("cannot write the PNG");
        }
    });
    // The same on one core: the writer deflates its parts on all of them.
    brindmar::gMostTaskThreads = 1;
    const double oneCore = medianOf(reps, [&] {
        if (!brindmar::writePngFromBmp(bmp, png, brindmar::kPngLevel).ok) {
            die("cannot write the PNG");
        }
    });
    brindmar::gMostTaskThreads = 0;
    std::printf("png_write_one_core_ms %.1f\n", oneCore);
    std::printf("ratio png_write_cores %.2f\n", write / oneCore);
    const QString plain = dir.filePath(QStringLiteral("plain.png"));
    const double encode = medianOf(reps, [&] {
        QImageWriter writer(plain, "png");
        writer.setQuality(bench::qtPngQuality(brindmar::kPngLevel));
        if (!writer.write(picture.convertToFormat(QImage::Format_RGB888))) {
            die("cannot encode");
        }
    });
    const QString back = dir.filePath(QStringLiteral("back.bmp"));
    const double read = medianOf(reps, [&] {
        if (!brindmar::QtPictureConverter().convert(png, back).ok) {
            die("cannot read the PNG back");
        }
    });
    const double decode = medianOf(reps, [&] {
        QImageReader reader(png);
        QImage image;
        if (!reader.read(&image)) {
            die("cannot decode");
        }
    });
    const long long bmpBytes = QFile(bmp).size();
    const long long pngBytes = QFile(png).size();
    std::printf("plain_png_encode_ms %.1f\n", encode);
    std::printf("png_to_bmp_ms %.1f\n", read);
    std::printf("plain_png_decode_ms %.1f\n", decode);
    std::printf("bmp_bytes %lld\n", bmpBytes);
    std::printf("ratio png_write %.2f\n", write / encode);
    std::printf("ratio png_read %.2f\n", read / decode);
    std::printf("ratio png_size %.3f\n",
                static_cast<double>(pngBytes) / static_cast<double>(bmpBytes));
    return 0;
}
