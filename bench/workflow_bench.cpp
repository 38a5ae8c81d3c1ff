// Times the Embed and Extract commands end to end on a 6000 x 4000 24-bit carrier and an 8 MiB
// document, through the same workflows the window runs (the real engine library, ZIP service
// and platform; a UI that answers Ok and a view that draws nothing), against floors measured in
// the same run: a plain copy of the carrier for the embed, a plain read of the produced image for
// the extract.
//
// The main document is random bytes: choosing it packs it, finds no gain and keeps it as it is,
// so the Embed and Extract times hold no packing or unpacking. A second document of text is then
// stored compressed, for the unpacking its extraction does. Choosing the document (the packing)
// and the unzip inside the extraction are timed on their own, and the time the workflows spend
// inside the engine calls is shown beside their totals.
//
// Prints, medians of the runs: "workflow_embed_ms N", "workflow_extract_ms N", "floor_copy_ms N",
// "floor_read_ms N", "packing_ms N" (random document), "unpacking_ms N" (text document), a few
// breakdown lines, and last "ratio workflow_embed R" and "ratio workflow_extract R".
// Options: --reps=N (default 5), --scratch=DIR (default $TMPDIR or /tmp).
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "util/LinuxPlatform.h"
#include "util/UiServices.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/WorkflowContext.h"

#include "BenchSupport.h"
#include "QuietWorkflow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace brindmar;
using bench::median;
using bench::Noise;

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int64_t kImageBytes = 54 + int64_t{(3 * kWidth + 3) / 4 * 4} * kHeight;
constexpr size_t kDocLength = 8 * 1024 * 1024;
const QString kCode = QStringLiteral("0123456789");

using bench::Clock;
using bench::fail;
using bench::local;
using bench::msSince;

// The real engine, with the time spent inside its calls added up: what the workflow costs on
// top of the engine is the rest.
class TimedEngine final : public Engine {
public:
    explicit TimedEngine(Engine& inner) : m_inner(inner) {}
    double ms = 0;

    EngineStatus embed24(const UncompressedEmbedArgs& a) override {
        return timed([&] { return m_inner.embed24(a); });
    }
    EngineStatus embed80(const UncompressedEmbedArgs& a) override {
        return timed([&] { return m_inner.embed80(a); });
    }
    EngineStatus embed81(const Rle8EmbedArgs& a) override {
        return timed([&] { return m_inner.embed81(a); });
    }
    EngineStatus extract(const ExtractArgs& a) override {
        return timed([&] { return m_inner.extract(a); });
    }
    EngineStatus wipefile(int32_t n, const QString& path) override {
        return m_inner.wipefile(n, path);
    }

private:
    template <typename F> EngineStatus timed(F&& call) {
        const auto start = Clock::now();
        const EngineStatus status = call();
        ms += msSince(start);
        return status;
    }
    Engine& m_inner;
};

// The real ZIP service, with the unpacking calls timed: inside the extraction they are the part
// the target leaves out.
class TimedZip final : public ZipService {
public:
    explicit TimedZip(ZipService& inner) : m_inner(inner) {}
    double unpackMs = 0;

    ZipStatus ZSInitialize() override { return m_inner.ZSInitialize(); }
    ZipStatus ZSCreateBlankZIPFile(const QString& path) override {
        return m_inner.ZSCreateBlankZIPFile(path);
    }
    ZipStatus ZSGetNewZIPName(QString& name) override { return m_inner.ZSGetNewZIPName(name); }
    ZipStatus ZSZipFiles(const QString& archive, const QString& document,
                         const std::string& password) override {
        return m_inner.ZSZipFiles(archive, document, password);
    }
    ZipStatus ZSIsZIPFileQuick(const QString& path) override {
        const auto start = Clock::now();
        const ZipStatus status = m_inner.ZSIsZIPFileQuick(path);
        unpackMs += msSince(start);
        return status;
    }
    ZipStatus ZSUnzipFiles(const QString& archive, const QString& mask, const QString& target,
                           int16_t option, const std::string& password) override {
        const auto start = Clock::now();
        const ZipStatus status = m_inner.ZSUnzipFiles(archive, mask, target, option, password);
        unpackMs += msSince(start);
        return status;
    }

private:
    ZipService& m_inner;
};

void writeFile(const QString& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(local(path).c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        fail("cannot write " + local(path));
    }
    std::fclose(f);
}

// A smooth picture with some grain; the engine does not care, but the carrier looks like one.
// Written a row at a time, as the engine benchmark and image editors write: how a file was
// written decides how its cached pages are laid out, and a copy of a file written in one piece
// runs markedly faster, which would move the floor.
void writeCarrier(const QString& path) {
    const auto stride = static_cast<size_t>((3 * kWidth + 3) / 4 * 4);
    std::vector<uint8_t> headers(54, 0);
    const auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) {
            headers[at + i] = static_cast<uint8_t>(v >> (8 * i));
        }
    };
    headers[0] = 'B';
    headers[1] = 'M';
    put32(2, static_cast<uint32_t>(kImageBytes));
    put32(10, 54);
    put32(14, 40);
    put32(18, kWidth);
    put32(22, kHeight);
    headers[26] = 1;
    headers[28] = 24;
    put32(34, static_cast<uint32_t>(kImageBytes - 54));
    std::FILE* f = std::fopen(local(path).c_str(), "wb");
    bool written = f != nullptr && std::fwrite(headers.data(), 1, 54, f) == 54;
    std::vector<uint8_t> row(stride, 0);
    Noise noise(24);
    for (int32_t y = 0; written && y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t n = noise.next();
            const int base = (x * 255 / kWidth + y * 255 / kHeight) / 2;
            for (int c = 0; c < 3; ++c) {
                const int v = base + 40 * c + static_cast<int>((n >> (8 * c)) & 15);
                row[3 * x + c] = static_cast<uint8_t>(std::min(v, 255));
            }
        }
        written = std::fwrite(row.data(), 1, stride, f) == stride;
    }
    if (f == nullptr || std::fclose(f) != 0 || !written) {
        fail("cannot write " + local(path));
    }
}

std::vector<uint8_t> randomDocument() {
    std::vector<uint8_t> bytes(kDocLength);
    Noise noise(0x5EED);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(noise.next());
    }
    return bytes;
}

std::vector<uint8_t> textDocument() {
    static const char* const words[] = {"lorem ",       "ipsum ",       "dolor ",      "sit ",
                                        "amet ",        "consectetur ", "adipiscing ", "elit ",
                                        "sed ",         "do ",          "eiusmod ",    "tempor ",
                                        "incididunt\n", "ut ",          "labore "};
    std::vector<uint8_t> bytes;
    bytes.reserve(kDocLength + 16);
    Noise noise(7);
    while (bytes.size() < kDocLength) {
        const char* w = words[noise.next() % std::size(words)];
        bytes.insert(bytes.end(), w, w + std::strlen(w));
    }
    bytes.resize(kDocLength);
    return bytes;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Untimed before every measured run: the previous result is gone, so no replace question comes
// up, and nothing is left for the kernel to write back during the next run.
void settle(const QString& previousOutput) {
    QFile::remove(previousOutput);
    ::sync();
}

struct Folders {
    QString root, out, found, temp, floor, engine;
};

struct Document {
    QString name;
    QString path;
    bool archived = false; // what choosing it must decide
    QByteArray bytes;

    void write(const std::vector<uint8_t>& content) {
        writeFile(path, content);
        bytes = QByteArray(reinterpret_cast<const char*>(content.data()),
                           static_cast<qsizetype>(content.size()));
    }
};

// The medians' raw material, one entry per run.
struct Times {
    std::vector<double> packing, embed, embedEngine, extract, extractEngine, unpacking;
};

class Bench {
public:
    explicit Bench(const Folders& f)
        : m_f(f), m_binding(f.engine), m_engine(m_binding), m_zip(m_lib) {}

    // A user who types the code, picks the document and the carrier, and presses Embed; in a
    // thread of its own, as the engine keeps its filler state per thread.
    void embed(const Document& doc, Times& t) {
        settle(image());
        std::exception_ptr error;
        std::thread run([&] {
            try {
                WindowModel model;
                WorkflowContext ctx = context(model);
                ChangeCode(ctx, kCode);
                model.embedOutputFolder = m_f.out;
                model.cropMode = 0;
                m_ui.nextFile = doc.path;
                const auto picked = Clock::now();
                ChooseDocument(ctx);
                t.packing.push_back(msSince(picked));
                if (model.hasPacking(packing::Packed) != doc.archived) {
                    fail(doc.archived ? "the document was not packed" : "the document was packed");
                }
                m_ui.nextFile = m_f.root + QStringLiteral("carrier.bmp");
                ChooseBmp(ctx);
                if (!model.hasState(state::EmbedPossible)) {
                    fail("the carrier was not accepted for embedding");
                }
                m_engine.ms = 0;
                const auto start = Clock::now();
                EmbedDocument(ctx);
                t.embed.push_back(msSince(start));
                t.embedEngine.push_back(m_engine.ms);
            } catch (...) {
                error = std::current_exception();
            }
        });
        run.join();
        if (error) {
            std::rethrow_exception(error);
        }
        if (QFileInfo(image()).size() != kImageBytes) {
            fail("the embedding produced no image of the expected size");
        }
    }

    // A user who types the code, picks the produced image and presses Extract.
    void extract(const Document& doc, Times& t) {
        const QString found = m_f.found + doc.name;
        settle(found);
        WindowModel model;
        WorkflowContext ctx = context(model);
        ChangeCode(ctx, kCode);
        model.extractOutputFolder = m_f.found;
        m_ui.nextFile = image();
        ChooseBmp(ctx);
        if (!model.extractMode()) {
            fail("no payload found in the produced image");
        }
        m_engine.ms = 0;
        m_zip.unpackMs = 0;
        const auto start = Clock::now();
        ExtractDocument(ctx);
        t.extract.push_back(msSince(start));
        t.extractEngine.push_back(m_engine.ms);
        t.unpacking.push_back(m_zip.unpackMs);
        if (contents(found) != doc.bytes) {
            fail("the extracted " + doc.name.toStdString() + " differs from the embedded one");
        }
    }

    QString image() const { return m_f.out + QStringLiteral("carrier.bmp"); }
    const QStringList& messages() const { return m_ui.messages; }
    void forgetMessages() { m_ui.messages.clear(); }

private:
    WorkflowContext context(WindowModel& model) {
        // A 184 x 168 pixel box at 96 dpi, as the window has.
        model.thumbnailBoxWidth = 184 * 15;
        model.thumbnailBoxHeight = 168 * 15;
        return WorkflowContext{model,      m_ui,   m_zip,      m_engine,
                               m_platform, m_view, m_f.engine, m_f.temp};
    }

    const Folders& m_f;
    bench::QuietUi m_ui;
    bench::NoView m_view;
    EngineBinding m_binding;
    TimedEngine m_engine;
    LibZipService m_lib;
    TimedZip m_zip;
    LinuxPlatform m_platform;
};

void print(const char* name, const std::vector<double>& v) {
    std::printf("%s %.1f\n", name, median(v));
}

} // namespace

int main(int argc, char** argv) {
    int reps = 5;
    QString scratch = qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"));
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--reps=", 7) == 0) {
            reps = std::max(1, std::atoi(argv[i] + 7));
        } else if (std::strncmp(argv[i], "--scratch=", 10) == 0) {
            scratch = QString::fromLocal8Bit(argv[i] + 10);
        } else {
            std::fprintf(stderr, "workflow_bench: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    QTemporaryDir dir(scratch + QStringLiteral("/workflow-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "workflow_bench: cannot create a scratch folder under %s\n",
                     local(scratch).c_str());
        return 1;
    }
    Folders f;
    f.root = dir.path() + u'/';
    f.out = f.root + QStringLiteral("out/");
    f.found = f.root + QStringLiteral("found/");
    f.temp = f.root + QStringLiteral("temp/");
    f.floor = f.root + QStringLiteral("floor/");
    f.engine = QStringLiteral(BRINDMAR_ENGINE_DIR "/");
    for (const QString& sub : {f.out, f.found, f.temp, f.floor}) {
        QDir().mkpath(sub);
    }

    Bench bench(f);
    try {
        writeCarrier(f.root + QStringLiteral("carrier.bmp"));
        Document random{
            QStringLiteral("random.bin"), f.root + QStringLiteral("random.bin"), false, {}};
        Document text{QStringLiteral("lorem.txt"), f.root + QStringLiteral("lorem.txt"), true, {}};
        random.write(randomDocument());
        text.write(textDocument());

        Times stored;
        std::vector<double> copy;
        std::vector<double> read;
        const QString copied = f.floor + QStringLiteral("carrier.bmp");
        for (int r = 0; r < reps; ++r) {
            bench.embed(random, stored);
            bench.extract(random, stored);
            settle(copied);
            const auto copyStart = Clock::now();
            if (!bench::copyFloor(local(f.root + QStringLiteral("carrier.bmp")), local(copied))) {
                fail("cannot copy the carrier to " + local(copied));
            }
            copy.push_back(msSince(copyStart));
            settle(copied);
            const auto readStart = Clock::now();
            const std::optional<uint64_t> summed = bench::readFloor(local(bench.image()));
            if (!summed) {
                fail("cannot read " + local(bench.image()));
            }
            const volatile uint64_t sink = *summed;
            read.push_back(msSince(readStart));
            (void)sink;
            bench.forgetMessages();
        }
        Times packed;
        for (int r = 0; r < reps; ++r) {
            bench.embed(text, packed);
            bench.extract(text, packed);
            bench.forgetMessages();
        }
        // The extraction left the archive it unpacked, the one the embedding stored.
        const int64_t archive = QFileInfo(f.temp + kWorkArchiveName).size();

        print("workflow_embed_ms", stored.embed);
        print("workflow_extract_ms", stored.extract);
        print("floor_copy_ms", copy);
        print("floor_read_ms", read);
        print("packing_ms", stored.packing);
        print("unpacking_ms", packed.unpacking);
        print("workflow_embed_engine_ms", stored.embedEngine);
        print("workflow_extract_engine_ms", stored.extractEngine);
        std::printf("text_archive_bytes %lld\n", static_cast<long long>(archive));
        print("text_packing_ms", packed.packing);
        print("text_workflow_embed_ms", packed.embed);
        print("text_workflow_extract_ms", packed.extract);
        std::printf("ratio workflow_embed %.2f\n", median(stored.embed) / median(copy));
        std::printf("ratio workflow_extract %.2f\n", median(stored.extract) / median(read));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "workflow_bench: %s\n", e.what());
        for (const QString& m : bench.messages()) {
            std::fprintf(stderr, "  %s\n", local(m).c_str());
        }
        return 1;
    }
    return 0;
}
