// Times strong protection: one key derivation at the default cost, which is what every guess of
// an attacker costs too, and the sealing and opening of an 8 MiB archive at a fixed key (no
// derivation), against the floor of a plain read of the same archive file in the same run (warm
// cache, medians).
//
// Prints "strong_kdf_ms N" (one derivation at the default cost), "guesses_per_core_second N"
// (1000 / strong_kdf_ms), "strong_seal_ms N" and "strong_open_ms N" (archive file to sealed file
// and back), "read_8mib_ms N" (the floor), "cipher_8mib_ms N" (libsodium alone pushing the same
// bytes through one stream and pulling them back, in memory), "strong_cipher_ratio R" ((median
// seal + median open) / median cipher: what the files and chunking add to the cipher's own
// work), and last "strong_seal_ratio R" ((median seal + median open) / median read).
//
// Options: --reps=N runs per measurement (default 5), --scratch=DIR parent folder of the scratch
// folder (default $TMPDIR or /tmp).
#include "protection/StrongSeal.h"

#include "BenchSupport.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sodium.h>
#include <unistd.h>

using namespace brindmar;

namespace {

namespace fs = std::filesystem;

constexpr int64_t kArchiveLength = 8 * 1024 * 1024;
constexpr std::string_view kHeader = "bench payload header 0123456789";

fs::path g_scratch;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "strong_bench: %s\n", what.c_str());
    if (!g_scratch.empty()) {
        std::error_code ec;
        fs::remove_all(g_scratch, ec);
    }
    std::exit(1);
}

QString qpath(const fs::path& path) {
    return QFile::decodeName(path.c_str());
}

// Random bytes, as a packed archive is: nothing for the cipher to find easier.
void writeArchive(const fs::path& path) {
    std::vector<uint8_t> bytes(kArchiveLength);
    bench::Noise noise(0x5EA1);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(noise.next());
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    const bool written =
        f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f == nullptr || std::fclose(f) != 0 || !written) {
        die("cannot write " + path.string());
    }
}

double msOf(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Untimed before every measured run: the previous output is gone and nothing is left for the
// kernel to write back while the next run is timed.
void settle(const fs::path& output) {
    std::error_code ec;
    fs::remove(output, ec);
    ::sync();
}

void seal(const fs::path& from, const fs::path& to, const SecretBytes& key,
          const SealPrelude& prelude) {
    QFile in(qpath(from));
    QFile out(qpath(to));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        die("cannot open the files to seal");
    }
    if (sealStream(in, in.size(), out, kHeader, key, prelude) != SealEnd::Done || !out.flush()) {
        die("sealing failed");
    }
}

void unseal(const fs::path& from, const fs::path& to, const SecretBytes& key) {
    QFile in(qpath(from));
    QFile out(qpath(to));
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) {
        die("cannot open the files to open");
    }
    if (openStream(in, out, kHeader, key) != SealEnd::Done || !out.flush()) {
        die("opening failed");
    }
}

// The cipher's own work on the same bytes, chunk for chunk as the seal cuts them, with no file
// and no copy: what no sealing of these bytes can go below.
void cipherOnly(const QByteArray& plain, const SecretBytes& key) {
    constexpr size_t chunk = size_t{1} << kDefaultChunkLog2;
    std::vector<unsigned char> header(crypto_secretstream_xchacha20poly1305_HEADERBYTES);
    std::vector<unsigned char> sealedChunk(chunk + kChunkOverhead);
    std::vector<unsigned char> back(chunk);
    crypto_secretstream_xchacha20poly1305_state push{};
    crypto_secretstream_xchacha20poly1305_state pull{};
    crypto_secretstream_xchacha20poly1305_init_push(&push, header.data(), key.data());
    if (crypto_secretstream_xchacha20poly1305_init_pull(&pull, header.data(), key.data()) != 0) {
        die("the cipher floor cannot start");
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(plain.constData());
    const auto length = static_cast<size_t>(plain.size());
    for (size_t at = 0; at < length; at += chunk) {
        const size_t take = std::min(chunk, length - at);
        unsigned long long sealedLength = 0;
        unsigned long long backLength = 0;
        unsigned char tag = 0;
        crypto_secretstream_xchacha20poly1305_push(&push, sealedChunk.data(), &sealedLength,
                                                   bytes + at, take, nullptr, 0, 0);
        if (crypto_secretstream_xchacha20poly1305_pull(&pull, back.data(), &backLength, &tag,
                                                       sealedChunk.data(), sealedLength, nullptr,
                                                       0) != 0) {
            die("the cipher floor does not open");
        }
    }
}

QByteArray contents(const fs::path& path) {
    QFile f(qpath(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

int main(int argc, char** argv) {
    const bench::Run start = bench::startRun(argc, argv, "strong_bench", "brindmar-strong");
    const int reps = start.reps;
    g_scratch = start.folder;
    const fs::path archive = g_scratch / "archive.zip";
    const fs::path sealed = g_scratch / "archive.sealed";
    const fs::path opened = g_scratch / "opened.zip";
    writeArchive(archive);

    // The derivation, as the program runs it for every seal and every attempt to open.
    const SealPrelude prelude = freshPrelude(kDefaultStrongCost);
    const SecretBytes code = codeSecret(QStringLiteral("Tulip-Harbor-42"));
    std::vector<double> kdf;
    for (int i = 0; i < reps; ++i) {
        kdf.push_back(msOf([&] {
            if (!deriveStrongKey(code, prelude)) {
                die("no memory for the default cost");
            }
        }));
    }

    SecretBytes key(32);
    std::memset(key.data(), 0x42, key.size());
    std::vector<double> sealMs;
    std::vector<double> openMs;
    std::vector<double> readMs;
    std::vector<double> cipherMs;
    const QByteArray plain = contents(archive);
    for (int i = 0; i <= reps; ++i) {
        // The first round warms the cache and checks the result; it is not counted.
        settle(sealed);
        const double s = msOf([&] { seal(archive, sealed, key, prelude); });
        settle(opened);
        const double o = msOf([&] { unseal(sealed, opened, key); });
        const double r = msOf([&] {
            if (!bench::readFloor(archive.string())) {
                die("cannot read " + archive.string());
            }
        });
        const double c = msOf([&] { cipherOnly(plain, key); });
        if (i == 0) {
            if (fs::file_size(sealed) != static_cast<uintmax_t>(sealedLength(kArchiveLength)) ||
                contents(opened) != contents(archive)) {
                die("the opened archive differs from the sealed one");
            }
            continue;
        }
        sealMs.push_back(s);
        openMs.push_back(o);
        readMs.push_back(r);
        cipherMs.push_back(c);
    }
    std::error_code ec;
    fs::remove_all(g_scratch, ec);

    const double kdfMs = bench::median(kdf);
    const double sealMedian = bench::median(sealMs);
    const double openMedian = bench::median(openMs);
    const double readMedian = bench::median(readMs);
    const double cipherMedian = bench::median(cipherMs);
    std::printf("medians over %d runs, warm cache; default cost %u passes over %u MiB\n", reps,
                kDefaultStrongCost.passes, kDefaultStrongCost.memoryKiB / 1024);
    std::printf("strong_kdf_ms %.1f\n", kdfMs);
    std::printf("guesses_per_core_second %.2f\n", 1000.0 / kdfMs);
    std::printf("strong_seal_ms %.2f\n", sealMedian);
    std::printf("strong_open_ms %.2f\n", openMedian);
    std::printf("read_8mib_ms %.2f\n", readMedian);
    std::printf("cipher_8mib_ms %.2f\n", cipherMedian);
    std::printf("strong_cipher_ratio %.3f\n", (sealMedian + openMedian) / cipherMedian);
    std::printf("strong_seal_ratio %.3f\n", (sealMedian + openMedian) / readMedian);
    return 0;
}
