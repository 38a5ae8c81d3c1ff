// The writer's capacity under Stealth against what the coder carries: for photographs (scaled to
// a width, with and without clipped and flat areas laid over them) and generated pictures
// (slopes clipped at 254, noise with a share at 255 in rows, in columns or apart), the dry share
// of the pixels, the wet pixels of the pixel walk's tail, the reader's most and the writer's
// (shown); with --search the longest archive that embeds (a search over the length, each embed
// with all its tries); with --check, embeds at the shown figure, --repeat times a picture with
// fresh keys.
//
// Prints per picture "picture NAME WxH dry D% wet_tail W/T format F shown S threshold L
// embedded K/N ms M". Setting CAPACITY_ONLY=TEXT keeps the pictures whose name has TEXT;
// CAPACITY_WHY says of a failed embed whether the coder refused it or it did not read back.
//
// Options: folders of .jpg, .jpeg and .png photographs (bench/detect_covers lists them);
// --width=W (default 800), --photos=N (default 12), --search to find the thresholds, --check,
// --repeat=N (default 4); --time times the count alone on a 6000 x 4000 picture; --jpegs=N runs
// the JPEG coder alone at the reader's most and the writer's on N of the folders' JPEGs, as they
// are and with the top 40 % of their blocks flat, --repeat times each.
#include "BenchSupport.h"
#include "protection/JpegStealth.h"
#include "protection/JpegStealthCapacity.h"
#include "protection/StealthImage.h"
#include "protection/StealthWet.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace brindmar;

namespace {

struct Picture {
    std::string name;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<unsigned char> colour; // file order, bottom row first
};

Picture fromImage(const QImage& source, const std::string& name) {
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    Picture p{
        name, static_cast<uint32_t>(image.width()), static_cast<uint32_t>(image.height()), {}};
    p.colour.resize(size_t{p.width} * p.height * 3);
    for (uint32_t y = 0; y < p.height; ++y) {
        const uchar* line = image.constScanLine(static_cast<int>(p.height - 1 - y));
        for (uint32_t x = 0; x < p.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                p.colour[(size_t{y} * p.width + x) * 3 + c] = line[x * 3 + 2 - c];
            }
        }
    }
    return p;
}

// A clipped sky: the top share of the rows brightened until most of it sits at 255.
Picture clipped(Picture p, double share) {
    const auto from = static_cast<uint32_t>(p.height * (1 - share));
    for (size_t i = size_t{from} * p.width * 3; i < p.colour.size(); ++i) {
        p.colour[i] = static_cast<unsigned char>(std::min(255, p.colour[i] * 2 + 60));
    }
    p.name += "+clip" + std::to_string(static_cast<int>(share * 100));
    return p;
}

// A flat area: a rectangle of one colour, as a drawn-over or blown-out region has.
Picture flat(Picture p, double share) {
    const auto w = static_cast<uint32_t>(p.width * share);
    for (uint32_t y = 0; y < p.height; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            unsigned char* px = &p.colour[(size_t{y} * p.width + x) * 3];
            px[0] = 90;
            px[1] = 140;
            px[2] = 200;
        }
    }
    p.name += "+flat" + std::to_string(static_cast<int>(share * 100));
    return p;
}

// The stream test's photograph: slopes with grain, clamped at 1 and 254, so that much of a large
// one is flat at 254.
Picture slopes(uint32_t width, uint32_t height, uint64_t seed) {
    bench::Noise noise(seed);
    Picture p{"slopes" + std::to_string(width) + "x" + std::to_string(height), width, height, {}};
    p.colour.resize(size_t{width} * height * 3);
    std::vector<int> grain(64);
    for (int& g : grain) {
        g = 2 + static_cast<int>(noise.next() % 20);
    }
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const int strength = grain[(y / 24 % 8) * 8 + x / 24 % 8];
            const int shared = static_cast<int>(noise.next() % static_cast<unsigned>(strength));
            for (uint32_t c = 0; c < 3; ++c) {
                const int value = 40 + static_cast<int>(x + y) / 4 + 30 * static_cast<int>(c) +
                                  shared + static_cast<int>(noise.next() % 3);
                p.colour[(size_t{y} * width + x) * 3 + c] =
                    static_cast<unsigned char>(std::clamp(value, 1, 254));
            }
        }
    }
    return p;
}

// Noise with a share of its bytes at 255: the top rows, a left block of columns, or bytes apart.
Picture noiseWet(uint32_t width, uint32_t height, double share, int layout, uint64_t seed) {
    bench::Noise noise(seed);
    static const char* const kNames[] = {"rows", "columns", "apart", "rows-top-dry"};
    Picture p{std::string("noise-wet-") + kNames[layout] + std::to_string(int(share * 100)),
              width,
              height,
              {}};
    p.colour.resize(size_t{width} * height * 3);
    for (size_t i = 0; i < p.colour.size(); ++i) {
        const size_t x = i / 3 % width;
        const size_t y = i / 3 / width;
        const auto below = [](size_t v, double bound) { return static_cast<double>(v) < bound; };
        const bool wet = layout == 3   ? !below(y, height * (1 - share)) && y + 1 < height
                         : layout == 0 ? !below(y, height * (1 - share))
                         : layout == 1 ? below(x, width * share)
                                       : below(noise.next() % 1000, share * 1000);
        p.colour[i] = static_cast<unsigned char>(wet ? 255 : 20 + noise.next() % 200);
    }
    return p;
}

// The JPEG coder alone on a stream of the given length: whether its coefficients give it back.
void flatten(JpegCoefficients& jpeg, double share);

bool jpegCarries(const QByteArray& file, double flat, uint64_t length, bench::Noise& noise) {
    JpegCoefficients jpeg;
    if (jpeg.open(file) != JpegOpenStatus::Done) {
        return false;
    }
    flatten(jpeg, flat);
    JpegStealthKeys keys;
    for (auto* key : {&keys.walk, &keys.head, &keys.code, &keys.directions}) {
        for (auto& b : *key) {
            b = static_cast<unsigned char>(noise.next());
        }
    }
    JpegStealthSalt salt{};
    for (auto& b : salt) {
        b = static_cast<unsigned char>(noise.next());
    }
    QByteArray stream(static_cast<qsizetype>(length), '\0');
    for (char& c : stream) {
        c = static_cast<char>(noise.next());
    }
    const JpegStealthReport made = jpegStealthEmbed(jpeg, keys, stream, salt);
    const std::optional<QByteArray> back = jpegStealthRead(jpeg, keys);
    return made.done && back && *back == stream;
}

// A flat sky: every AC coefficient of the top share of each component's block rows at 0.
void flatten(JpegCoefficients& jpeg, double share) {
    for (JpegComponent& c : jpeg.components()) {
        const auto rows = static_cast<uint64_t>(c.heightInBlocks * share);
        for (uint64_t b = 0; b < rows * c.widthInBlocks; ++b) {
            std::fill(c.block(b) + 1, c.block(b) + 64, int16_t{0});
        }
    }
}

struct Embedded {
    bool done = false;
    double ms = 0;
};

Embedded embed(const Picture& p, int64_t length, bench::Noise& noise) {
    SecretBytes key(32);
    for (size_t i = 0; i < key.size(); ++i) {
        key.data()[i] = static_cast<unsigned char>(noise.next());
    }
    StealthSalt salt{};
    for (auto& b : salt) {
        b = static_cast<unsigned char>(noise.next());
    }
    QByteArray archive(static_cast<qsizetype>(length), '\0');
    for (char& c : archive) {
        c = static_cast<char>(noise.next());
    }
    std::vector<unsigned char> stego = p.colour;
    const auto start = std::chrono::steady_clock::now();
    const StealthEmbedReport made =
        stealthEmbedWithKey(stego.data(), p.width, p.height, key, salt, archive);
    Embedded e;
    e.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    e.done = made.status == StealthStatus::Done &&
             stealthExtractWithKey(stego.data(), p.width, p.height, key).archive == archive;
    if (!e.done && std::getenv("CAPACITY_WHY") != nullptr) {
        std::printf(" [%s]", made.status == StealthStatus::Done ? "unread" : "refused");
    }
    return e;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList folders;
    int width = 800;
    int photos = 12;
    int repeat = 4;
    bool search = false;
    bool check = false;
    bool timing = false;
    int jpegs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("--width=", 0) == 0) {
            width = std::stoi(a.substr(8));
        } else if (a.rfind("--photos=", 0) == 0) {
            photos = std::stoi(a.substr(9));
        } else if (a.rfind("--repeat=", 0) == 0) {
            repeat = std::stoi(a.substr(9));
        } else if (a == "--search") {
            search = true;
        } else if (a.rfind("--jpegs=", 0) == 0) {
            jpegs = std::stoi(a.substr(8));
        } else if (a == "--time") {
            timing = true;
        } else if (a == "--check") {
            check = true;
        } else {
            folders << QString::fromStdString(a);
        }
    }
    std::vector<Picture> pictures;
    QStringList files;
    for (const QString& folder : folders) {
        QDirIterator it(
            folder, {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"), QStringLiteral("*.png")},
            QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files << it.next();
        }
    }
    files.sort();
    // Spread over the list rather than its first folder's.
    for (int k = 0; k < photos && !files.isEmpty(); ++k) {
        const QString file = files[static_cast<qsizetype>(k) * files.size() / photos];
        QImage image(file);
        if (image.isNull()) {
            continue;
        }
        image = image.scaledToWidth(width, Qt::SmoothTransformation);
        const Picture p = fromImage(image, QFileInfo(file).fileName().toStdString());
        pictures.push_back(p);
        pictures.push_back(k % 2 == 0 ? clipped(p, 0.3 + 0.1 * (k % 5))
                                      : flat(p, 0.2 + 0.15 * (k % 4)));
    }
    for (int layout = 0; layout < 4; ++layout) {
        pictures.push_back(noiseWet(700, 438, 0.6, layout, 7 + layout));
    }
    pictures.push_back(slopes(1200, 800, 1));
    pictures.push_back(slopes(400, 300, 2));
    pictures.push_back(slopes(640, 480, 3));
    if (jpegs > 0) {
        // The JPEG coder at the reader's most and at the writer's, on JPEGs as they are and with
        // a flat top.
        QStringList found;
        for (const QString& folder : folders) {
            QDirIterator it(folder, {QStringLiteral("*.jpg")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                found << it.next();
            }
        }
        found.sort();
        bench::Noise noise(20261210);
        for (int k = 0; k < jpegs && !found.isEmpty(); ++k) {
            const QString file = found[static_cast<qsizetype>(k) * found.size() / jpegs];
            QFile in(file);
            const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            for (const double flat : {0.0, 0.4}) {
                JpegCoefficients jpeg;
                if (jpeg.open(bytes) != JpegOpenStatus::Done) {
                    break;
                }
                flatten(jpeg, flat);
                const uint64_t reader = jpegSaltedStealthCapacity(jpeg);
                const uint64_t writer = jpegWriterStealthCapacity(jpeg);
                std::printf("jpeg %s flat %.0f%% ac %llu reader %llu writer %llu",
                            QFileInfo(file).fileName().toStdString().c_str(), flat * 100,
                            static_cast<unsigned long long>(jpegAcCount(jpeg)),
                            static_cast<unsigned long long>(reader),
                            static_cast<unsigned long long>(writer));
                for (const uint64_t length : {reader, writer}) {
                    int done = 0;
                    for (int r = 0; r < repeat && length > 0; ++r) {
                        done += jpegCarries(bytes, flat, length, noise) ? 1 : 0;
                    }
                    std::printf(" %llu:%d/%d", static_cast<unsigned long long>(length), done,
                                repeat);
                }
                std::printf("\n");
                std::fflush(stdout);
            }
        }
        return 0;
    }
    if (timing) {
        // The count the window makes once a carrier, on the largest picture it is meant for.
        const Picture large = slopes(6000, 4000, 5);
        std::vector<double> ms;
        StealthDryCount count{};
        for (int r = 0; r < 7; ++r) {
            const auto start = std::chrono::steady_clock::now();
            count = stealthDryCount(large.colour.data(), large.width, large.height);
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::printf("count 6000x4000 dry %llu median_ms %.1f\n",
                    static_cast<unsigned long long>(count.dry), bench::median(ms));
        return 0;
    }
    bench::Noise noise(20261208);
    const char* only = std::getenv("CAPACITY_ONLY");
    for (const Picture& p : pictures) {
        if (only != nullptr && p.name.find(only) == std::string::npos) {
            continue;
        }
        const StealthDryCount dry = stealthDryCount(p.colour.data(), p.width, p.height);
        const int64_t format = stealthCapacity(p.width, p.height);
        const int64_t shown = stealthWriterCapacity(p.width, p.height, dry);
        std::printf("picture %s %ux%u dry %.1f%% wet_tail %llu/%llu format %lld shown %lld",
                    p.name.c_str(), p.width, p.height,
                    100.0 * double(dry.dry) / double(p.colour.size() / 3),
                    static_cast<unsigned long long>(dry.wetTail),
                    static_cast<unsigned long long>(p.colour.size() / 3 % 256),
                    static_cast<long long>(format), static_cast<long long>(shown));
        double ms = 0;
        if (search) {
            int64_t good = 0;
            int64_t bad = format + 1;
            while (bad - good > std::max<int64_t>(8, good / 100)) {
                const int64_t mid = (good + bad) / 2;
                const Embedded e = embed(p, mid, noise);
                ms = std::max(ms, e.ms);
                (e.done ? good : bad) = mid;
            }
            std::printf(" threshold %lld", static_cast<long long>(good));
        }
        if (check && shown > 0) {
            int done = 0;
            for (int r = 0; r < repeat; ++r) {
                const Embedded e = embed(p, shown, noise);
                ms = std::max(ms, e.ms);
                done += e.done ? 1 : 0;
            }
            std::printf(" embedded %d/%d", done, repeat);
        }
        std::printf(" ms %.0f\n", ms);
        std::fflush(stdout);
    }
    return 0;
}
