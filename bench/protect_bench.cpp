// Times Embed and Extract with Stealth against the same commands with strong protection, end to
// end through the workflows the window and the command line run (the real engine library, ZIP
// service and platform; a UI that answers Ok and types the code again, a view that draws
// nothing), on one 6000 x 4000 24-bit carrier and the same document for both.
//
// Key derivation apart: the workflows run at the least cost libsodium allows, so a derivation
// takes well under a millisecond and the times are the rest of the work. One derivation at the
// cost images are made with is timed on its own, and the derivations each command did are
// counted, so that a reader can add them back.
//
// The documents are random bytes (nothing to pack), sized so that the sealed stream is about
// 0.01, 0.05 and 0.08 hidden bits per colour byte of the carrier. Every run must say it succeeded
// and give the document back byte for byte.
//
// Prints, medians of the runs, for each rate "protect_e2e RATE embed strong_ms S stealth_ms T
// ratio R" and "protect_e2e RATE extract strong_ms S stealth_ms T ratio R" (R = T / S), then
// "strong_kdf_ms K derivations strong_embed A stealth_embed B strong_extract C stealth_extract D".
// After each rate's lines, the embeds again at the cost images are made with, each less its
// derivations, every one charged at the strong embed's derivation time D as it ran (the stealth
// embed prices the carrier during its own, which may take longer, E): "protect_apart RATE embed
// strong_ms S stealth_ms T ratio R derivation_ms D stealth_derivation_ms E", and then each embed
// less its own derivations as they ran: "protect_apart_own RATE embed strong_ms S stealth_ms T
// ratio R".
// On stderr, for each rate: the document's and the stealth archive's sizes, the stealth coder
// alone on the same archive (no workflow around it), the time the embeds spent wiping their
// work files, and the processor time (every thread's) each command took.
// Options: --reps=N (default 3), --scratch=DIR (default $TMPDIR or /tmp).
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "protection/StealthFile.h"
#include "protection/StrongSeal.h"
#include "util/ForwardingUi.h"
#include "util/LinuxPlatform.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/StealthEmbedding.h"
#include "workflows/WorkflowContext.h"

#include "BenchPhotograph.h"
#include "BenchSupport.h"
#include "QuietWorkflow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <exception>
#include <sodium.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace brindmar;

namespace {

std::atomic<int> g_derivations{0};
std::atomic<int64_t> g_derivationUs{0}; // the derivations' wall time, all threads

} // namespace

// Every key derivation the program makes goes through here on its way to libsodium: the count
// is what the workflows did, not what this file believes they do.
extern "C" int crypto_pwhash(unsigned char* const out, unsigned long long outlen,
                             const char* const passwd, unsigned long long passwdlen,
                             const unsigned char* const salt, unsigned long long opslimit,
                             size_t memlimit, int alg) {
    using Derive = int (*)(unsigned char*, unsigned long long, const char*, unsigned long long,
                           const unsigned char*, unsigned long long, size_t, int);
    static const auto real = reinterpret_cast<Derive>(::dlsym(RTLD_NEXT, "crypto_pwhash"));
    if (real == nullptr) {
        std::fprintf(stderr, "protect_bench: libsodium's crypto_pwhash cannot be found\n");
        std::abort();
    }
    g_derivations.fetch_add(1);
    const auto start = std::chrono::steady_clock::now();
    const int derived = real(out, outlen, passwd, passwdlen, salt, opslimit, memlimit, alg);
    g_derivationUs.fetch_add(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count());
    return derived;
}

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int64_t kColourBytes = int64_t{3} * kWidth * kHeight;
constexpr int64_t kImageBytes = 54 + int64_t{(3 * kWidth + 3) / 4 * 4} * kHeight;
// The highest below the writer's most on this carrier, one stream bit in four pixels, about
// 0.083 bits per colour byte.
constexpr std::array<double, 3> kRates = {0.01, 0.05, 0.08};
// Left under each rate for the archive's and the seal's own bytes.
constexpr int64_t kOverhead = 2048;
// The least libsodium takes: a derivation costs next to nothing.
constexpr StrongCost kCheapCost{1, 8};
const QString kCode = QStringLiteral("Tulip-Harbor-42");
const QString kDocumentName = QStringLiteral("random.bin");

using bench::Clock;
using bench::fail;
using bench::local;
using bench::msSince;

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The benchmarks' stand-in photograph; Qt writes a picture without alpha as a 24-bit BMP.
void writeCarrier(const QString& path) {
    if (!bench::photograph(kWidth, kHeight).save(path, "BMP") ||
        QFileInfo(path).size() != kImageBytes) {
        fail("cannot write a 24-bit carrier to " + local(path));
    }
}

// Incompressible, so that packing finds no gain and both protections carry the same bytes.
QByteArray randomDocument(int64_t length, uint64_t seed) {
    QByteArray bytes(static_cast<qsizetype>(length), '\0');
    bench::Noise noise(seed);
    for (char& b : bytes) {
        b = static_cast<char>(noise.next());
    }
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() ||
        !f.flush()) {
        fail("cannot write " + local(path));
    }
}

// Untimed before every measured run: the previous result is gone, so no replace question comes
// up, and nothing is left for the kernel to write back during the next run.
void settle(const QString& previousOutput) {
    QFile::remove(previousOutput);
    ::sync();
}

// Sealing asks for the code a second time; the user types the same one.
class SealingUi final : public ForwardingUi {
public:
    explicit SealingUi(bench::QuietUi& inner) : ForwardingUi(inner) {}
    std::optional<QString> askCodeAgain(const Message&) override { return kCode; }
};

// The real engine, with the time its wipes take added up: an embed wipes its work files, the
// stealth one a whole image's worth, which is the command's time but not the coder's.
class TimedEngine final : public Engine {
public:
    explicit TimedEngine(Engine& inner) : m_inner(inner) {}
    double wipeMs = 0;

    EngineStatus embed24(const UncompressedEmbedArgs& a) override { return m_inner.embed24(a); }
    EngineStatus embed80(const UncompressedEmbedArgs& a) override { return m_inner.embed80(a); }
    EngineStatus embed81(const Rle8EmbedArgs& a) override { return m_inner.embed81(a); }
    EngineStatus extract(const ExtractArgs& a) override { return m_inner.extract(a); }
    EngineStatus wipefile(int32_t n, const QString& path) override {
        const auto start = Clock::now();
        const EngineStatus status = m_inner.wipefile(n, path);
        wipeMs += msSince(start);
        return status;
    }
    int lastSystemError() const override { return m_inner.lastSystemError(); }

private:
    Engine& m_inner;
};

enum Protection { kStrong, kStealth };
constexpr std::array<const char*, 2> kProtectionNames = {"strong", "stealth"};

// The processor time the process has had so far, all its threads: on a machine others share,
// the work a command did, which its wall time is not. Taken about the command alone: choosing
// the files before it counts a stealth carrier's capacity, which the strong embed never does.
double cpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// What each protection took at one rate, a value a run; and the most derivations a run of each
// command made.
struct Times {
    std::array<std::vector<double>, 2> embed, extract, embedWipe;
    std::array<std::vector<double>, 2> embedCpu, extractCpu; // the process's, every thread's
    std::vector<double> coderEmbed, coderExtract;
    // At the cost images are made with: the embed, its derivations' wall time, and the embed
    // less its own derivations as they ran.
    std::array<std::vector<double>, 2> atCost, derived, ownApart;
};
struct Derivations {
    std::array<int, 2> embed{-1, -1}, extract{-1, -1};
};

class Bench {
public:
    explicit Bench(const QString& root)
        : m_root(root), m_binding(QStringLiteral(BRINDMAR_ENGINE_DIR "/")), m_engine(m_binding),
          m_ui(m_quiet) {
        for (const char* name : kProtectionNames) {
            for (const char* kind : {"out-", "found-", "temp-"}) {
                QDir().mkpath(folder(kind, name));
            }
        }
    }

    QString carrier() const { return m_root + QStringLiteral("carrier.bmp"); }
    QString document() const { return m_root + kDocumentName; }
    const QStringList& messages() const { return m_quiet.messages; }

    // A user who ticks the box, types the code, picks the document and the carrier, and presses
    // Embed; in a thread of its own, as the engine keeps its filler state per thread.
    double embed(Protection p, Times& t, Derivations& counted) {
        const QString image = imageOf(p);
        settle(image);
        m_quiet.messages.clear();
        double ms = 0;
        std::exception_ptr error;
        std::thread run([&] {
            try {
                WindowModel model;
                WorkflowContext ctx = context(model, p);
                // As the command line does: the boxes first, then the code given whole.
                model.display.encryptBox = kEncryptTicked;
                model.display.strongBox = true;
                model.display.stealthBox = p == kStealth;
                settleEncryptMarks(model);
                SetCode(ctx, kCode);
                // No crop: the strong image keeps the carrier's size, as the stealth one must.
                model.cropMode = 0;
                model.embedOutputFolder = folder("out-", kProtectionNames[p]);
                m_quiet.nextFile = document();
                ChooseDocument(ctx);
                m_quiet.nextFile = carrier();
                ChooseBmp(ctx);
                if (!model.hasState(state::EmbedPossible)) {
                    fail(std::string(kProtectionNames[p]) +
                         ": the carrier cannot take the document");
                }
                const int before = g_derivations.load();
                const int64_t derivingBefore = g_derivationUs.load();
                m_engine.wipeMs = 0;
                const double cpu = cpuMs();
                const auto start = Clock::now();
                EmbedDocument(ctx);
                ms = msSince(start);
                const double deriving =
                    static_cast<double>(g_derivationUs.load() - derivingBefore) / 1e3;
                if (m_cost.memoryKiB != kCheapCost.memoryKiB) {
                    t.atCost[p].push_back(ms);
                    t.derived[p].push_back(deriving);
                    t.ownApart[p].push_back(ms - deriving);
                } else {
                    t.embedCpu[p].push_back(cpuMs() - cpu);
                    t.embedWipe[p].push_back(m_engine.wipeMs);
                }
                counted.embed[p] = std::max(counted.embed[p], g_derivations.load() - before);
                if (!model.hasOption(option::JustEmbedded)) {
                    fail(std::string(kProtectionNames[p]) + ": the embed did not succeed");
                }
            } catch (...) {
                error = std::current_exception();
            }
        });
        run.join();
        if (error) {
            std::rethrow_exception(error);
        }
        if (QFileInfo(image).size() != kImageBytes) {
            fail(std::string(kProtectionNames[p]) + ": no image of the carrier's size");
        }
        return ms;
    }

    // A user who types the code, picks the image the embed made and presses Extract.
    double extract(Protection p, const QByteArray& doc, Times& t, Derivations& counted) {
        const QString found = folder("found-", kProtectionNames[p]) + kDocumentName;
        settle(found);
        m_quiet.messages.clear();
        WindowModel model;
        WorkflowContext ctx = context(model, p);
        SetCode(ctx, kCode);
        model.extractOutputFolder = folder("found-", kProtectionNames[p]);
        m_quiet.nextFile = imageOf(p);
        ChooseBmp(ctx);
        // A strong image shows its header; a stealth one shows nothing and is searched.
        const bool ready = p == kStrong ? model.extractMode()
                                        : !model.extractMode() && stealthSearchOffered(model);
        if (!ready) {
            fail(std::string(kProtectionNames[p]) + ": the image is not offered for extraction");
        }
        const int before = g_derivations.load();
        const double cpu = cpuMs();
        const auto start = Clock::now();
        const Outcome outcome = ExtractDocument(ctx);
        const double ms = msSince(start);
        t.extractCpu[p].push_back(cpuMs() - cpu);
        counted.extract[p] = std::max(counted.extract[p], g_derivations.load() - before);
        if (!outcome.done() || contents(found) != doc) {
            fail(std::string(kProtectionNames[p]) + ": the extraction did not give the document "
                                                    "back");
        }
        return ms;
    }

    // The archive the stealth coder carries for the document now written, and Embed max. as
    // shown.
    std::pair<QByteArray, QString> stealthLoad() {
        WindowModel model;
        WorkflowContext ctx = context(model, kStealth);
        model.display.stealthBox = true;
        settleEncryptMarks(model);
        SetCode(ctx, kCode);
        m_quiet.nextFile = document();
        ChooseDocument(ctx);
        m_quiet.nextFile = carrier();
        ChooseBmp(ctx);
        if (stealthArchiveLength(model) != QFileInfo(model.storedDocumentPath).size()) {
            fail("the stealth archive is not where the embed takes it from");
        }
        return {contents(model.storedDocumentPath), model.display.embedMax};
    }

    // The cost the workflows derive keys at: the least, or the one images are made with.
    void atCost(StrongCost cost) { m_cost = cost; }

    // The stealth coder alone on the same archive, outside the workflows: what they add to it is
    // the rest of their time.
    void coderAlone(const QByteArray& archive, Times& t) {
        const QString image = m_root + QStringLiteral("coder.bmp");
        settle(image);
        const SecretBytes code = codeSecret(kCode);
        auto start = Clock::now();
        const bool made = embedStealthFile(carrier(), image, code, archive, kCheapCost).status ==
                          StealthFileStatus::Done;
        t.coderEmbed.push_back(msSince(start));
        QByteArray back;
        start = Clock::now();
        const bool found =
            extractStealthFile(image, code, back, kCheapCost).status == StealthFileStatus::Done;
        t.coderExtract.push_back(msSince(start));
        if (!made || !found || back != archive) {
            fail("the stealth coder alone did not give the archive back");
        }
    }

private:
    QString folder(const char* kind, const char* name) const {
        return m_root + QString::fromLatin1(kind) + QString::fromLatin1(name) + u'/';
    }
    QString imageOf(Protection p) const {
        return folder("out-", kProtectionNames[p]) + QStringLiteral("carrier.bmp");
    }

    WorkflowContext context(WindowModel& model, Protection p) {
        // A 184 x 168 pixel box at 96 dpi, as the window has.
        model.thumbnailBoxWidth = 184 * 15;
        model.thumbnailBoxHeight = 168 * 15;
        WorkflowContext ctx{model,
                            m_ui,
                            m_zip,
                            m_engine,
                            m_platform,
                            m_view,
                            QStringLiteral(BRINDMAR_ENGINE_DIR "/"),
                            folder("temp-", kProtectionNames[p])};
        ctx.strongCost = m_cost;
        return ctx;
    }

    QString m_root;
    StrongCost m_cost = kCheapCost;
    EngineBinding m_binding;
    TimedEngine m_engine;
    bench::QuietUi m_quiet;
    SealingUi m_ui;
    bench::NoView m_view;
    LibZipService m_zip;
    LinuxPlatform m_platform;
};

// One derivation at the cost images are made with, as every seal and every opening pays it.
double defaultDerivationMs(int reps) {
    const SecretBytes code = codeSecret(kCode);
    std::vector<double> ms;
    for (int r = 0; r < reps; ++r) {
        const SealPrelude prelude = freshPrelude(kDefaultStrongCost);
        const auto start = Clock::now();
        if (!deriveStrongKey(code, prelude)) {
            fail("no memory for a derivation at the default cost");
        }
        ms.push_back(msSince(start));
    }
    return bench::median(ms);
}

void printLine(double rate, const char* command, const std::array<std::vector<double>, 2>& t) {
    const double strong = bench::median(t[kStrong]);
    const double stealth = bench::median(t[kStealth]);
    std::printf("protect_e2e %.2f %s strong_ms %.1f stealth_ms %.1f ratio %.2f\n", rate, command,
                strong, stealth, stealth / strong);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const bench::RunOptions options = bench::runOptions(argc, argv, 3);
    if (!options.unknown.empty()) {
        std::fprintf(stderr, "protect_bench: unknown option %s\n", options.unknown.c_str());
        return 2;
    }
    const std::string scratch = bench::scratchFolder(options.scratchParent, "protect-bench");
    if (scratch.empty()) {
        std::fprintf(stderr, "protect_bench: cannot create a scratch folder under %s\n",
                     options.scratchParent.c_str());
        return 1;
    }
    const QString root = QFile::decodeName(scratch.c_str()) + u'/';
    Bench bench(root);
    int status = 0;
    try {
        writeCarrier(bench.carrier());
        Derivations counted;
        for (size_t i = 0; i < kRates.size(); ++i) {
            const double rate = kRates[i];
            const auto length =
                static_cast<int64_t>(rate * static_cast<double>(kColourBytes) / 8) - kOverhead;
            const QByteArray doc = randomDocument(length, 0x5EED + i);
            writeFile(bench.document(), doc);
            const auto [archive, most] = bench.stealthLoad();
            std::fprintf(
                stderr,
                "protect_bench: rate %.2f document %lld bytes, stealth archive %lld "
                "(%.4f bits per colour byte), embed max %s\n",
                rate, static_cast<long long>(length), static_cast<long long>(archive.size()),
                8.0 * static_cast<double>(archive.size()) / static_cast<double>(kColourBytes),
                local(most).c_str());
            Times t;
            for (int r = 0; r < options.reps; ++r) {
                for (const Protection p : {kStrong, kStealth}) {
                    t.embed[p].push_back(bench.embed(p, t, counted));
                }
                for (const Protection p : {kStrong, kStealth}) {
                    t.extract[p].push_back(bench.extract(p, doc, t, counted));
                }
                bench.coderAlone(archive, t);
            }
            printLine(rate, "embed", t.embed);
            printLine(rate, "extract", t.extract);
            std::fprintf(stderr,
                         "protect_bench: rate %.2f stealth coder alone embed_ms %.1f extract_ms "
                         "%.1f; wiping work files in the embed strong_ms %.1f stealth_ms %.1f\n",
                         rate, bench::median(t.coderEmbed), bench::median(t.coderExtract),
                         bench::median(t.embedWipe[kStrong]), bench::median(t.embedWipe[kStealth]));
            std::fprintf(
                stderr,
                "protect_bench: rate %.2f processor time embed strong_ms %.1f stealth_ms "
                "%.1f ratio %.2f; extract strong_ms %.1f stealth_ms %.1f ratio %.2f\n",
                rate, bench::median(t.embedCpu[kStrong]), bench::median(t.embedCpu[kStealth]),
                bench::median(t.embedCpu[kStealth]) / bench::median(t.embedCpu[kStrong]),
                bench::median(t.extractCpu[kStrong]), bench::median(t.extractCpu[kStealth]),
                bench::median(t.extractCpu[kStealth]) / bench::median(t.extractCpu[kStrong]));
            // The same embeds at the cost images are made with. The stealth embed prices the
            // carrier while its key is derived, which may slow the derivation: it is charged a
            // derivation as long as the strong embed's, which derives alone, rather than its own.
            bench.atCost(kDefaultStrongCost);
            for (int r = 0; r < options.reps; ++r) {
                for (const Protection p : {kStrong, kStealth}) {
                    bench.embed(p, t, counted);
                }
            }
            bench.atCost(kCheapCost);
            const double derivation =
                bench::median(t.derived[kStrong]) / std::max(1, counted.embed[kStrong]);
            const double strongApart =
                bench::median(t.atCost[kStrong]) - derivation * std::max(1, counted.embed[kStrong]);
            const double stealthApart = bench::median(t.atCost[kStealth]) -
                                        derivation * std::max(1, counted.embed[kStealth]);
            std::printf("protect_apart %.2f embed strong_ms %.1f stealth_ms %.1f ratio %.2f "
                        "derivation_ms %.1f stealth_derivation_ms %.1f\n",
                        rate, strongApart, stealthApart, stealthApart / strongApart, derivation,
                        bench::median(t.derived[kStealth]) / std::max(1, counted.embed[kStealth]));
            // Each run less the derivations it made itself: the spread of the derivations'
            // own times, as large as the rest of the work, drops out, and so does whatever the
            // stealth embed's pricing slows its own derivation by.
            const double strongOwn = bench::median(t.ownApart[kStrong]);
            const double stealthOwn = bench::median(t.ownApart[kStealth]);
            std::printf("protect_apart_own %.2f embed strong_ms %.1f stealth_ms %.1f ratio %.2f\n",
                        rate, strongOwn, stealthOwn, stealthOwn / strongOwn);
            std::fflush(stdout);
        }
        std::printf("strong_kdf_ms %.1f derivations strong_embed %d stealth_embed %d "
                    "strong_extract %d stealth_extract %d\n",
                    defaultDerivationMs(options.reps), counted.embed[kStrong],
                    counted.embed[kStealth], counted.extract[kStrong], counted.extract[kStealth]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "protect_bench: %s\n", e.what());
        for (const QString& m : bench.messages()) {
            std::fprintf(stderr, "  %s\n", local(m).c_str());
        }
        status = 1;
    }
    QDir(root).removeRecursively();
    return status;
}
