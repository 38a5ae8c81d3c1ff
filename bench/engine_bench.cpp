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

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kDocLength = 8 * 1024 * 1024;
constexpr int32_t kPaletteOffset = 54 + 4 * 256;

// The generator child must not remove the scratch folder its parent still uses.
pid_t g_mainPid = 0;

int32_t stride24() {
    return (3 * kWidth + 3) / 4 * 4;
}
int32_t stride8() {
    return (kWidth + 3) / 4 * 4;
}

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

// ---------------------------------------------------------------------------------------------
// Carrier generation. Runs in a child process so that the measured process's peak resident
// memory reflects the engine calls alone.

void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, int bits, uint32_t compression,
                                uint32_t dataOffset, uint32_t imageBytes) {
    std::vector<uint8_t> h(54, 0);
    h[0] = 'B';
    h[1] = 'M';
    put32(h, 2, dataOffset + imageBytes);
    put32(h, 10, dataOffset);
    put32(h, 14, 40);
    put32(h, 18, static_cast<uint32_t>(width));
    put32(h, 22, static_cast<uint32_t>(height));
    put16(h, 26, 1);
    put16(h, 28, static_cast<uint32_t>(bits));
    put32(h, 30, compression);
    put32(h, 34, imageBytes);
    put32(h, 38, 2835);
    put32(h, 42, 2835);
    if (bits == 8) {
        put32(h, 46, 256);
    }
    return h;
}

class OutFile {
public:
    explicit OutFile(const std::string& path) : m_f(std::fopen(path.c_str(), "wb")), m_path(path) {
        if (m_f == nullptr) {
            die("cannot create " + path);
        }
    }
    ~OutFile() {
        if (m_f != nullptr) {
            std::fclose(m_f);
        }
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    void write(const std::vector<uint8_t>& b) { write(b.data(), b.size()); }
    void write(const uint8_t* p, size_t n) {
        if (std::fwrite(p, 1, n, m_f) != n) {
            die("cannot write " + m_path);
        }
    }
    void rewriteAt(long pos, const std::vector<uint8_t>& b) {
        if (std::fseek(m_f, pos, SEEK_SET) != 0) {
            die("cannot seek in " + m_path);
        }
        write(b);
    }

private:
    std::FILE* m_f;
    std::string m_path;
};

// A smooth image: each channel a gradient in its own direction with a soft ripple.
int smooth(int x, int y, int channel) {
    const int gx = x * 255 / kWidth;
    const int gy = y * 255 / kHeight;
    const int ripple = ((x / 40 + y / 30) % 16) - 8;
    switch (channel) {
    case 0:
        return (gx + gy) / 2 + ripple;
    case 1:
        return 255 - gy + ripple / 2;
    default:
        return (gx * 3 + (255 - gy)) / 4 - ripple;
    }
}

uint8_t clampByte(int v) {
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

void makeCarrier24(const std::string& path) {
    OutFile f(path);
    const auto stride = static_cast<uint32_t>(stride24());
    f.write(bmpHeaders(kWidth, kHeight, 24, 0, 54, stride * kHeight));
    std::vector<uint8_t> row(stride, 0);
    Noise noise(24);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t n = noise.next();
            for (int c = 0; c < 3; ++c) {
                const int jitter = static_cast<int>((n >> (8 * c)) & 15) - 8;
                row[static_cast<size_t>(3 * x + c)] = clampByte(smooth(x, y, c) + jitter);
            }
        }
        f.write(row);
    }
}

std::vector<uint8_t> palette256() {
    std::vector<uint8_t> p(4 * 256);
    for (int i = 0; i < 256; ++i) {
        p[static_cast<size_t>(4 * i)] = static_cast<uint8_t>(i);
        p[static_cast<size_t>(4 * i + 1)] = static_cast<uint8_t>((i * 7 / 8) + 16);
        p[static_cast<size_t>(4 * i + 2)] = static_cast<uint8_t>(255 - i);
        p[static_cast<size_t>(4 * i + 3)] = 0;
    }
    return p;
}

// Palette index of a pixel: a gradient; in textured areas with noise, elsewhere posterised so
// that neighbours repeat (the run-length encoder then finds encoded runs there).
uint8_t indexAt(int x, int y, Noise& noise, bool& textured) {
    textured = ((x / 300) + (y / 200)) % 3 == 0;
    const int g = (x * 255 / kWidth + y * 255 / kHeight) / 2;
    if (textured) {
        return clampByte(g + static_cast<int>(noise.next() & 31) - 16);
    }
    return static_cast<uint8_t>(g / 4 * 4 + ((y / 16) % 4));
}

void makeCarrier8(const std::string& path) {
    OutFile f(path);
    const auto stride = static_cast<uint32_t>(stride8());
    f.write(bmpHeaders(kWidth, kHeight, 8, 0, kPaletteOffset, stride * kHeight));
    f.write(palette256());
    std::vector<uint8_t> row(stride, 0);
    Noise noise(8);
    bool textured = false;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            row[static_cast<size_t>(x)] = indexAt(x, y, noise, textured);
        }
        f.write(row);
    }
}

// BMP RLE8: encoded runs for repeats of 3 or more, absolute runs for the stretches between.
struct RunCounts {
    uint64_t encoded = 0;
    uint64_t absolute = 0;
};

void encodeRleRow(const std::vector<uint8_t>& px, std::vector<uint8_t>& out, RunCounts& counts) {
    const size_t n = px.size();
    size_t i = 0;
    auto repeatAt = [&](size_t k) {
        size_t r = 1;
        while (k + r < n && px[k + r] == px[k] && r < 255) {
            ++r;
        }
        return r;
    };
    while (i < n) {
        const size_t rep = repeatAt(i);
        if (rep >= 3) {
            out.push_back(static_cast<uint8_t>(rep));
            out.push_back(px[i]);
            ++counts.encoded;
            i += rep;
            continue;
        }
        size_t lit = 0;
        while (i + lit < n && lit < 255 && repeatAt(i + lit) < 3) {
            ++lit;
        }
        if (lit < 3) {
            for (size_t k = 0; k < lit; ++k) {
                out.push_back(1);
                out.push_back(px[i + k]);
                ++counts.encoded;
            }
        } else {
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(lit));
            out.insert(out.end(), px.begin() + static_cast<long>(i),
                       px.begin() + static_cast<long>(i + lit));
            if (lit % 2 == 1) {
                out.push_back(0);
            }
            ++counts.absolute;
        }
        i += lit;
    }
}

void makeCarrierRle(const std::string& path) {
    OutFile f(path);
    f.write(bmpHeaders(kWidth, kHeight, 8, 1, kPaletteOffset, 0));
    f.write(palette256());
    const auto rowPixels = static_cast<size_t>((kWidth - 1) / 4 * 4 + 4);
    std::vector<uint8_t> px(rowPixels);
    std::vector<uint8_t> out;
    Noise noise(81);
    bool textured = false;
    uint32_t streamBytes = 0;
    RunCounts counts;
    for (int y = 0; y < kHeight; ++y) {
        for (size_t x = 0; x < rowPixels; ++x) {
            px[x] = indexAt(static_cast<int>(x), y, noise, textured);
        }
        out.clear();
        encodeRleRow(px, out, counts);
        out.push_back(0);
        out.push_back(y + 1 == kHeight ? 1 : 0);
        f.write(out);
        streamBytes += static_cast<uint32_t>(out.size());
    }
    f.rewriteAt(0, bmpHeaders(kWidth, kHeight, 8, 1, kPaletteOffset, streamBytes));
    std::printf("RLE8 stream: %llu encoded runs, %llu absolute runs\n",
                static_cast<unsigned long long>(counts.encoded),
                static_cast<unsigned long long>(counts.absolute));
}

void makeDocument(const std::string& path) {
    OutFile f(path);
    std::vector<uint8_t> block(kFloorBlock);
    Noise noise(0x5EED);
    for (int32_t done = 0; done < kDocLength; done += static_cast<int32_t>(block.size())) {
        for (auto& b : block) {
            b = static_cast<uint8_t>(noise.next());
        }
        f.write(block);
    }
}

void generateInChild() {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        die("fork failed");
    }
    if (pid == 0) {
        makeCarrier24(g_files.carrier24);
        makeCarrier8(g_files.carrier8);
        makeCarrierRle(g_files.carrierRle);
        makeDocument(g_files.document);
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
    OutFile f(path);
    f.write(bmpHeaders(kWidth, kHeight, 24, 0, 54,
                       static_cast<uint32_t>(stride24()) * static_cast<uint32_t>(kHeight)));
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
