// Times the thumbnail decoder on full-size carriers, shrunk to the window's 184 x 168 picture,
// against a plain read of the same file measured in the same run (warm cache, medians).
//
// Prints "thumbnail_6000x4000_ms N" (24-bit carrier), "thumbnail_rle8_6000x4000_ms N" (8-bit
// RLE carrier), the read floors as "read_6000x4000_ms N" and "read_rle8_6000x4000_ms N", and
// last "ratio thumbnail_rle8 R" and "ratio thumbnail R" (median decode time / median read time
// of the same file).
//
// Options: --reps=N runs per measurement (default 5), --scratch=DIR parent folder of the scratch
// folder (default $TMPDIR or /tmp).
#include "payload/BmpThumbnail.h"
#include "util/DrawFault.h"

#include "BenchSupport.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

using bench::kFloorBlock;
using bench::Noise;

namespace fs = std::filesystem;

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kTargetWidth = 184;
constexpr int32_t kTargetHeight = 168;

fs::path g_scratch;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "thumbnail_bench: %s\n", what.c_str());
    if (!g_scratch.empty()) {
        std::error_code ec;
        fs::remove_all(g_scratch, ec);
    }
    std::exit(1);
}

void put(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

std::vector<uint8_t> headers(int bits, uint32_t compression, uint32_t dataOffset,
                             uint32_t imageBytes) {
    std::vector<uint8_t> h{'B', 'M'};
    put(h, dataOffset + imageBytes, 4);
    put(h, 0, 4);
    put(h, dataOffset, 4);
    put(h, 40, 4);
    put(h, kWidth, 4);
    put(h, kHeight, 4);
    put(h, 1, 2);
    put(h, static_cast<uint32_t>(bits), 2);
    put(h, compression, 4);
    put(h, imageBytes, 4);
    put(h, 2835, 4);
    put(h, 2835, 4);
    put(h, bits == 8 ? 256 : 0, 4);
    put(h, 0, 4);
    return h;
}

void writeAll(const std::string& path, const std::vector<uint8_t>& head,
              const std::function<void(std::vector<uint8_t>&, int32_t)>& row) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        die("cannot create " + path);
    }
    bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
    std::vector<uint8_t> bytes;
    for (int32_t y = 0; y < kHeight && ok; ++y) {
        bytes.clear();
        row(bytes, y);
        ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    if (std::fclose(f) != 0 || !ok) {
        die("cannot write " + path);
    }
}

// Gradients with noise on top: every byte differs from its neighbours, as in a photograph.
void makeCarrier24(const std::string& path) {
    const auto stride = static_cast<uint32_t>((3 * kWidth + 3) / 4 * 4);
    Noise noise(24);
    writeAll(path, headers(24, 0, 54, stride * kHeight), [&](std::vector<uint8_t>& out, int y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t n = noise.next();
            out.push_back(static_cast<uint8_t>(x * 200 / kWidth + (n & 31)));
            out.push_back(static_cast<uint8_t>(y * 200 / kHeight + ((n >> 8) & 31)));
            out.push_back(static_cast<uint8_t>((x + y) * 100 / kWidth + ((n >> 16) & 31)));
        }
        out.resize(stride, 0);
    });
}

// Flat stretches as encoded runs, noisy ones as absolute runs, half and half, as the encoder
// of a drawing with shaded areas would write them. The imageBytes field is left 0.
void makeCarrierRle8(const std::string& path) {
    std::vector<uint8_t> head = headers(8, 1, 54 + 4 * 256, 0);
    for (int i = 0; i < 256; ++i) {
        put(head, static_cast<uint32_t>(i | (255 - i) << 8 | (i * 7 % 256) << 16), 4);
    }
    Noise noise(8);
    writeAll(path, head, [&](std::vector<uint8_t>& out, int y) {
        for (int x = 0; x < kWidth;) {
            const int n = std::min(kWidth - x, 200);
            if ((x / 200 + y / 16) % 2 == 0) {
                out.push_back(static_cast<uint8_t>(n));
                out.push_back(static_cast<uint8_t>(x / 200 + y));
            } else {
                out.push_back(0);
                out.push_back(static_cast<uint8_t>(n));
                for (int i = 0; i < n; ++i) {
                    out.push_back(static_cast<uint8_t>(noise.next()));
                }
            }
            x += n;
        }
        out.push_back(0);
        out.push_back(y == kHeight - 1 ? 1 : 0);
    });
}

double seconds(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void readWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        die("cannot open " + path);
    }
    std::vector<unsigned char> block(kFloorBlock);
    uintmax_t total = 0;
    ssize_t got = 0;
    while ((got = ::read(fd, block.data(), block.size())) > 0) {
        total += static_cast<uintmax_t>(got);
    }
    ::close(fd);
    if (got < 0 || total != fs::file_size(path)) {
        die("cannot read " + path);
    }
}

void decode(const std::string& path) {
    brindmar::DrawFailure why;
    const auto image = brindmar::decodeBmpThumbnail(QFile::decodeName(path.c_str()), kTargetWidth,
                                                    kTargetHeight, &why);
    if (!image || image->width != kTargetWidth || image->height != kTargetHeight) {
        die("decoding " + path + " failed: " + brindmar::drawFaultText(why.fault, why.error).toStdString());
    }
}

// Median of reps timed runs after one untimed run that brings the file into the cache.
double medianMs(int reps, const std::function<void()>& run) {
    run();
    std::vector<double> times;
    for (int i = 0; i < reps; ++i) {
        times.push_back(seconds(run));
    }
    return bench::median(times) * 1e3;
}

} // namespace

int main(int argc, char** argv) {
    const bench::Run start = bench::startRun(argc, argv, "thumbnail_bench", "brindmar-thumbnail");
    const int reps = start.reps;
    g_scratch = start.folder;
    const std::string carrier24 = (g_scratch / "carrier24.bmp").string();
    const std::string carrierRle = (g_scratch / "carrier_rle8.bmp").string();
    makeCarrier24(carrier24);
    makeCarrierRle8(carrierRle);

    const double thumb24 = medianMs(reps, [&] { decode(carrier24); });
    const double read24 = medianMs(reps, [&] { readWhole(carrier24); });
    const double thumbRle = medianMs(reps, [&] { decode(carrierRle); });
    const double readRle = medianMs(reps, [&] { readWhole(carrierRle); });
    std::error_code ec;
    fs::remove_all(g_scratch, ec);

    std::printf("medians over %d runs, warm cache, to %d x %d\n", reps, kTargetWidth,
                kTargetHeight);
    std::printf("thumbnail_6000x4000_ms %.2f\n", thumb24);
    std::printf("read_6000x4000_ms %.2f\n", read24);
    std::printf("thumbnail_rle8_6000x4000_ms %.2f\n", thumbRle);
    std::printf("read_rle8_6000x4000_ms %.2f\n", readRle);
    std::printf("ratio thumbnail_rle8 %.3f\n", thumbRle / readRle);
    std::printf("ratio thumbnail %.3f\n", thumb24 / read24);
    return 0;
}
