// Times the picture converter on 6000 x 4000 pictures, a PNG and a JPEG of a photograph's kind
// (smooth gradients under fine grain), against the floor of decoding the same file alone with
// Qt's image reader (QImageReader::read to a QImage), measured in the same run. What the
// conversion adds on top of the decode is its checks, the row conversion and the 72 MB write.
//
// Prints the medians as "convert_png_6000x4000_ms N", "convert_jpeg_6000x4000_ms N",
// "decode_png_6000x4000_ms N" and "decode_jpeg_6000x4000_ms N", the peak resident memory of a
// process doing each once ("peak_rss_<name>_mib N", beside that of one doing nothing), and last
// "ratio convert_png R" and "ratio convert_jpeg R" (median conversion / median decode).
//
// Options (besides Google Benchmark's own): --reps=N repetitions (default 5), --scratch=DIR
// parent folder of the scratch folder (default $TMPDIR or /tmp).
#include "imaging/QtPictureConverter.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// The generator child must not remove the scratch folder its parent still uses.
pid_t g_mainPid = 0;
fs::path g_dir;
std::string g_png, g_jpeg, g_output;
std::map<std::string, std::vector<double>> g_times;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "convert_bench: %s\n", what.c_str());
    if (!g_dir.empty() && getpid() == g_mainPid) {
        std::error_code ec;
        fs::remove_all(g_dir, ec);
    }
    std::exit(1);
}

QString qpath(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

// Runs work in a child process and returns the child's peak resident memory in KiB, so that
// the figure is that of one operation, not of the generator or of earlier runs.
long inChild(const std::function<void()>& work) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        die("fork failed");
    }
    if (pid == 0) {
        work();
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        die("a child process failed");
    }
    return usage.ru_maxrss;
}

// A photograph's kind of picture: gradients with grain on top, so neither coder finds long
// repeats, as in a real photograph.
void makePictures() {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    bench::Noise noise(6000);
    for (int y = 0; y < kHeight; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t n = noise.next();
            row[x] = qRgb(x * 200 / kWidth + static_cast<int>(n & 15),
                          y * 200 / kHeight + static_cast<int>((n >> 8) & 15),
                          (x + y) * 100 / kWidth + static_cast<int>((n >> 16) & 15));
        }
    }
    QImageWriter png(qpath(g_png), "png");
    QImageWriter jpeg(qpath(g_jpeg), "jpeg");
    jpeg.setQuality(90);
    if (!png.write(image) || !jpeg.write(image)) {
        die("cannot write the pictures");
    }
}

void decode(const std::string& path) {
    QImageReader reader(qpath(path));
    reader.setAutoTransform(true);
    QImage image;
    if (!reader.read(&image) || image.width() != kWidth || image.height() != kHeight) {
        die("cannot decode " + path + ": " + reader.errorString().toStdString());
    }
    benchmark::DoNotOptimize(image.constBits());
}

void convert(const std::string& path) {
    const brindmar::PictureConversion done =
        brindmar::QtPictureConverter().convert(qpath(path), qpath(g_output));
    if (!done.ok) {
        die("cannot convert " + path + ": fault " + std::to_string(static_cast<int>(done.fault)) +
            ", errno " + std::to_string(done.error));
    }
}

void BM_Timed(benchmark::State& state, const char* name, void (*op)(const std::string&),
              const std::string* path) {
    for (auto _ : state) {
        // Untimed: the previous output is gone and written back, so that its write-back does not
        // slow the next run down.
        std::error_code ec;
        fs::remove(g_output, ec);
        ::sync();
        const auto t0 = std::chrono::steady_clock::now();
        op(*path);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        g_times[name].push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

double medianMs(const char* name) {
    const auto it = g_times.find(name);
    return it == g_times.end() || it->second.empty() ? -1.0 : bench::median(it->second) * 1e3;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_mainPid = getpid();
    const bench::Run start = bench::startRun(argc, argv, "convert_bench", "brindmar-convert");
    const int reps = start.reps;
    g_dir = start.folder;
    g_png = (g_dir / "picture.png").string();
    g_jpeg = (g_dir / "picture.jpg").string();
    g_output = (g_dir / "carrier.bmp").string();

    std::printf("Writing a %d x %d PNG and JPEG in %s\n", kWidth, kHeight, g_dir.c_str());
    inChild(makePictures);
    std::printf("picture sizes: PNG %.1f MB, JPEG %.1f MB\n",
                static_cast<double>(fs::file_size(g_png)) / 1e6,
                static_cast<double>(fs::file_size(g_jpeg)) / 1e6);

    const struct {
        const char* name;
        void (*op)(const std::string&);
        const std::string* path;
    } runs[] = {
        {"decode_png", decode, &g_png},
        {"convert_png", convert, &g_png},
        {"decode_jpeg", decode, &g_jpeg},
        {"convert_jpeg", convert, &g_jpeg},
    };
    for (const auto& run : runs) {
        benchmark::RegisterBenchmark(run.name, BM_Timed, run.name, run.op, run.path)
            ->Iterations(1)
            ->Repetitions(reps)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->ReportAggregatesOnly(true);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::map<std::string, long> peak;
    peak["baseline"] = inChild([] {});
    for (const auto& run : runs) {
        peak[run.name] = inChild([&run] { run.op(*run.path); });
    }
    std::error_code ec;
    fs::remove_all(g_dir, ec);

    std::printf("\nmedians over %d runs, warm cache\n", reps);
    for (const auto& run : runs) {
        std::printf("%s_%dx%d_ms %.1f\n", run.name, kWidth, kHeight, medianMs(run.name));
    }
    for (const auto& [name, kib] : peak) {
        std::printf("peak_rss_%s_mib %.1f\n", name.c_str(), static_cast<double>(kib) / 1024.0);
    }
    for (const char* format : {"png", "jpeg"}) {
        const double op = medianMs((std::string("convert_") + format).c_str());
        const double floor = medianMs((std::string("decode_") + format).c_str());
        if (op >= 0 && floor > 0) {
            std::printf("ratio convert_%s %.3f\n", format, op / floor);
        }
    }
    std::fflush(stdout);
    return 0;
}
