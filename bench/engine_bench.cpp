// Times the engine's long operations on full-size carriers, driven block by block exactly as
// the program drives them, against plain file copy and read floors measured in the same run.
//
// The last four lines printed are "ratio <op> <median op time / median floor time>": the
// embedders against the copy floor of the 24-bit carrier (all three write the same 72 MB
// 24-bit image), extract against the read floor of that carrier.
//
// Options (besides Google Benchmark's own): --reps=N repetitions per operation (default 5),
// --scratch=DIR parent folder of the scratch folder (default $TMPDIR or /tmp).
#include "vokbfn1.h"

#include "BenchSupport.h"
#include "EngineCarriers.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using bench::kFloorBlock;
using bench::Noise;

namespace fs = std::filesystem;
using namespace engine_bench;

// The generator child must not remove the scratch folder its parent still uses.
pid_t g_mainPid = 0;

struct Files {
    fs::path dir;
    std::string carrier24, carrier8, carrierRle, document, output, copy, extracted;
};

Files g_files;
std::string g_header;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "engine_bench: %s\n", what.c_str());
    std::fflush(stderr);
    if (!g_files.dir.empty() && getpid() == g_mainPid) {
        std::error_code ec;
        fs::remove_all(g_files.dir, ec);
    }
    std::exit(1);
}

// Carriers are made in a child process so that the measured process's peak resident memory
// reflects the engine calls alone.
void generateInChild() {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        die("fork failed");
    }
    if (pid == 0) {
        try {
            makeCarrier24(g_files.carrier24);
            makeCarrier8(g_files.carrier8);
            makeCarrierRle(g_files.carrierRle);
            makeDocument(g_files.document);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "engine_bench: %s\n", e.what());
            std::fflush(nullptr);
            _exit(1);
        }
        std::fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        die("carrier generation failed");
    }
}

// ---------------------------------------------------------------------------------------------
// The operations, as the program drives them.

void writeOutputHeaders(const std::string& path) {
    try {
        OutFile f(path);
        f.write(bmpHeaders(kWidth, kHeight, 24, 0, 54,
                           static_cast<uint32_t>(stride24()) * static_cast<uint32_t>(kHeight)));
    } catch (const std::exception& e) {
        die(e.what());
    }
}

// Rows per embedding call: blocks of about 100000 colour bytes, a multiple of 4 rows.
int32_t embedRowsPerBlock(int bitCount, int32_t rowStride) {
    return std::max(4, 100000 * bitCount / (96 * rowStride) * 4);
}

void check(int32_t result, const char* op) {
    if (result != 0) {
        die(std::string(op) + " failed with status " + std::to_string(result));
    }
}

void runEmbed24() {
    writeOutputHeaders(g_files.output);
    const int32_t rpb = embedRowsPerBlock(24, stride24());
    int32_t r = 1;
    for (int32_t block = 0; r > 0; ++block) {
        r = embed24(block, rpb, 54, 0, 0, stride24(), kWidth, kHeight, kDocLength, g_header.c_str(),
                    g_files.carrier24.c_str(), g_files.document.c_str(), g_files.output.c_str());
    }
    check(r, "embed24");
}

void runEmbed80() {
    writeOutputHeaders(g_files.output);
    const int32_t rpb = embedRowsPerBlock(8, stride8());
    int32_t r = 1;
    for (int32_t block = 0; r > 0; ++block) {
        r = embed80(block, rpb, kPaletteOffset, 0, 0, stride8(), kWidth, kHeight, kDocLength,
                    g_header.c_str(), g_files.carrier8.c_str(), g_files.document.c_str(),
                    g_files.output.c_str());
    }
    check(r, "embed80");
}

void runEmbed81() {
    writeOutputHeaders(g_files.output);
    const int32_t rpb = embedRowsPerBlock(8, stride8());
    int32_t r = 0;
    int32_t block = 0;
    do {
        r = embed81(block, r, rpb, kPaletteOffset, 0, 0, kWidth, kWidth, kHeight, kDocLength,
                    g_header.c_str(), g_files.carrierRle.c_str(), g_files.document.c_str(),
                    g_files.output.c_str());
        ++block;
    } while (r > 0);
    check(r, "embed81");
}

void runExtract(const std::string& image) {
    const int32_t rowBytes = 3 * kWidth;
    const int32_t rpb = std::max(4, 100000 / rowBytes / 4 * 4);
    int32_t r = 1;
    for (int32_t block = 0; r > 0; ++block) {
        r = extract(block, rpb, 54, rowBytes, kDocLength, static_cast<int32_t>(g_header.size()),
                    image.c_str(), g_files.extracted.c_str());
    }
    check(r, "extract");
}

// ---------------------------------------------------------------------------------------------
// Floors: the same bytes moved by plain block reads and writes.

void copyFloor(const std::string& from, const std::string& to) {
    if (!bench::copyFloor(from, to)) {
        die("cannot copy " + from + " to " + to);
    }
}

uint64_t readFloor(const std::string& from) {
    const std::optional<uint64_t> sum = bench::readFloor(from);
    if (!sum) {
        die("cannot read " + from);
    }
    return *sum;
}

bool sameContent(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa != nullptr && fb != nullptr;
    std::vector<uint8_t> ba(kFloorBlock), bb(kFloorBlock);
    while (same) {
        const size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        const size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        same = na == nb && std::memcmp(ba.data(), bb.data(), na) == 0;
        if (na == 0) {
            break;
        }
    }
    if (fa != nullptr) {
        std::fclose(fa);
    }
    if (fb != nullptr) {
        std::fclose(fb);
    }
    return same;
}

// ---------------------------------------------------------------------------------------------
// Benchmarks. Each iteration is one whole operation; setup (removing the previous output) is
// kept out of the measured time.

// Every measured time per benchmark, for the medians behind the ratio lines.
std::map<std::string, std::vector<double>> g_times;

double secondsOf(void (*op)()) {
    const auto t0 = std::chrono::steady_clock::now();
    op();
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(t1 - t0).count();
}

void record(benchmark::State& state, const char* name, double seconds) {
    g_times[name].push_back(seconds);
    state.SetIterationTime(seconds);
}

double median(const std::string& name) {
    auto it = g_times.find(name);
    if (it == g_times.end() || it->second.empty()) {
        return -1.0;
    }
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Untimed set-up of every measured run: the previous run's output is gone and nothing is left
// for the kernel to write back, so one run's write-back does not slow the next one down.
void settle(const std::string& previousOutput) {
    removeQuietly(previousOutput);
    ::sync();
}

void BM_CopyFloor(benchmark::State& state, const char* name) {
    for (auto _ : state) {
        settle(g_files.copy);
        record(state, name, secondsOf([] { copyFloor(g_files.carrier24, g_files.copy); }));
    }
    removeQuietly(g_files.copy);
}

void BM_ReadFloor(benchmark::State& state, const char* name) {
    for (auto _ : state) {
        settle(g_files.copy);
        uint64_t sum = 0;
        const auto t0 = std::chrono::steady_clock::now();
        sum = readFloor(g_files.carrier24);
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(sum);
        record(state, name, std::chrono::duration<double>(t1 - t0).count());
    }
}

void BM_Embed(benchmark::State& state, const char* name, void (*op)()) {
    for (auto _ : state) {
        settle(g_files.output);
        record(state, name, secondsOf(op));
    }
}

void BM_Extract(benchmark::State& state, const char* name) {
    // The image extracted from is embed24's output, kept aside so the other embedders' runs do
    // not replace it.
    const std::string image = (g_files.dir / "embedded24.bmp").string();
    if (!fs::exists(image)) {
        runEmbed24();
        fs::rename(g_files.output, image);
    }
    for (auto _ : state) {
        settle(g_files.extracted);
        record(state, name,
               secondsOf([] { runExtract((g_files.dir / "embedded24.bmp").string()); }));
    }
    if (!sameContent(g_files.extracted, g_files.document)) {
        die("the extracted document differs from the embedded one");
    }
}

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string makeHeader() {
    // The program's header: a 90-character block and the document's name (here 10 characters).
    std::string h = "+/VOKE01170+++";
    while (h.size() < 90) {
        h += static_cast<char>('A' + h.size() % 26);
    }
    return h + "bench.data";
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_mainPid = getpid();
    const bench::Run start = bench::startRun(argc, argv, "engine_bench", "brindmar-bench");
    const int reps = start.reps;
    g_files.dir = start.folder;
    auto at = [](const char* name) { return (g_files.dir / name).string(); };
    g_files.carrier24 = at("carrier24.bmp");
    g_files.carrier8 = at("carrier8.bmp");
    g_files.carrierRle = at("carrier8rle.bmp");
    g_files.document = at("document.bin");
    g_files.output = at("output.bmp");
    g_files.copy = at("copy.bmp");
    g_files.extracted = at("extracted.bin");
    g_header = makeHeader();
    struct Cleanup {
        ~Cleanup() {
            std::error_code ec;
            fs::remove_all(g_files.dir, ec);
        }
    } cleanup;

    std::printf("Generating %dx%d carriers (24-bit, 8-bit, RLE8) and an %d MiB document in %s\n",
                kWidth, kHeight, kDocLength >> 20, g_files.dir.c_str());
    generateInChild();
    std::printf("carrier sizes: 24-bit %.1f MB, 8-bit %.1f MB, RLE8 %.1f MB\n",
                static_cast<double>(fs::file_size(g_files.carrier24)) / 1e6,
                static_cast<double>(fs::file_size(g_files.carrier8)) / 1e6,
                static_cast<double>(fs::file_size(g_files.carrierRle)) / 1e6);
    std::printf("rows per block: embed24 %d, embed80/embed81 %d, extract %d\n",
                embedRowsPerBlock(24, stride24()), embedRowsPerBlock(8, stride8()),
                std::max(4, 100000 / (3 * kWidth) / 4 * 4));
    const long rssBefore = peakRssKiB();
    std::fflush(stdout);

    auto configure = [reps](benchmark::internal::Benchmark* b) {
        b->Iterations(1)->Repetitions(reps)->UseManualTime()->Unit(benchmark::kMillisecond);
        b->ReportAggregatesOnly(true);
    };
    configure(benchmark::RegisterBenchmark("copy_floor", BM_CopyFloor, "copy_floor"));
    configure(benchmark::RegisterBenchmark("read_floor", BM_ReadFloor, "read_floor"));
    configure(benchmark::RegisterBenchmark("embed24", BM_Embed, "embed24", runEmbed24));
    configure(benchmark::RegisterBenchmark("embed80", BM_Embed, "embed80", runEmbed80));
    configure(benchmark::RegisterBenchmark("embed81", BM_Embed, "embed81", runEmbed81));
    configure(benchmark::RegisterBenchmark("extract", BM_Extract, "extract"));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const long rssAfter = peakRssKiB();
    std::printf("\npeak resident memory: %.1f MiB (%.1f MiB before the first engine call)\n",
                static_cast<double>(rssAfter) / 1024.0, static_cast<double>(rssBefore) / 1024.0);
    std::printf("medians over %d runs; embed* against the copy floor of the 24-bit carrier, "
                "extract against its read floor\n",
                reps);
    for (const char* name :
         {"copy_floor", "read_floor", "embed24", "embed80", "embed81", "extract"}) {
        if (median(name) >= 0) {
            std::printf("  %-10s %9.1f ms\n", name, median(name) * 1e3);
        }
    }
    std::fflush(stdout);
    // The last lines must be the ratios; the scratch folder goes first.
    fs::remove_all(g_files.dir);
    const double copy = median("copy_floor");
    const double read = median("read_floor");
    for (const char* name : {"embed24", "embed80", "embed81", "extract"}) {
        const double op = median(name);
        const double floor = std::strcmp(name, "extract") == 0 ? read : copy;
        if (op >= 0 && floor > 0) {
            std::printf("ratio %s %.2f\n", name, op / floor);
        }
    }
    std::fflush(stdout);
    return 0;
}
