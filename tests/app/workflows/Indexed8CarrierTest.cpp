// 8-bit carriers of shapes the engine does not read: each embeds into the image the engine makes
// of a carrier it does read with the same pixels, the document comes back from it, and the
// uncompressed copy made on the way does not outlive the run.
#include "FakeEngine.h"
#include "WorkflowHarness.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <thread>

using namespace brindmar;
using apptest::Bytes;
using brindmar::testing::FakeEngine;

namespace {

constexpr int32_t kWidth = 150; // rows of the width and padded rows differ by 2 pixels
constexpr int32_t kHeight = 110;
const int32_t kRowPixels = bmptest::rle8RowPixels(kWidth);

Bytes pixels() {
    std::mt19937 random(3);
    Bytes p(size_t(kWidth) * kHeight);
    for (size_t i = 0; i < p.size(); ++i) {
        p[i] = static_cast<uint8_t>(i % 4 == 0 ? random() : i / 37);
    }
    return p;
}

Bytes paddedRle(const Bytes& p) {
    Bytes rows;
    for (int32_t r = 0; r < kHeight; ++r) {
        const auto first = p.begin() + std::ptrdiff_t{r} * kWidth;
        rows.insert(rows.end(), first, first + kWidth);
        rows.insert(rows.end(), size_t(kRowPixels - kWidth), 0);
    }
    return bmptest::makeRle8(kWidth, kHeight, bmptest::testPalette(256), rows, kRowPixels);
}

// A position jump up three rows and an end of image 10 rows early, with the pixels a reader
// shows for them: index 0 wherever the stream passes over.
Bytes jumpingRle(const Bytes& p, Bytes& shown) {
    Bytes stream;
    shown.assign(p.size(), 0);
    const auto put = [&](int32_t row, int32_t from, int32_t to) {
        const auto at = std::ptrdiff_t{row} * kWidth + from;
        const Bytes pairs = bmptest::encodeRle8Row(p.data() + at, size_t(to - from));
        stream.insert(stream.end(), pairs.begin(), pairs.end());
        std::copy_n(p.begin() + at, to - from, shown.begin() + at);
    };
    for (int32_t row = 0; row < 100; ++row) {
        if (row == 30) {
            put(30, 0, 40);
            stream.insert(stream.end(), {0, 2, 20, 3});
            row = 33;
            put(row, 60, kWidth);
        } else {
            put(row, 0, kWidth);
        }
        stream.insert(stream.end(), {0, static_cast<uint8_t>(row == 99 ? 1 : 0)});
    }
    return bmptest::makeRle8Raw(kWidth, kHeight, bmptest::testPalette(256), stream);
}

struct ShapeCase {
    const char* name;
    uint8_t crop;
    // The carrier, and one the engine reads as it is that shows the same pixels.
    std::function<std::pair<Bytes, Bytes>()> make;
};

const ShapeCase kShapes[] = {
    {"rle_rows_of_the_width", 1,
     [] {
         const Bytes p = pixels();
         return std::pair{bmptest::makeRle8(kWidth, kHeight, bmptest::testPalette(256), p, kWidth),
                          paddedRle(p)};
     }},
    {"rle_with_jumps_and_an_early_end", 0,
     [] {
         Bytes shown;
         Bytes jumping = jumpingRle(pixels(), shown);
         return std::pair{jumping, paddedRle(shown)};
     }},
    {"rle_at_an_odd_offset", 13,
     [] {
         const Bytes padded = paddedRle(pixels());
         return std::pair{bmptest::withGapAfterPalette(padded, 3), padded};
     }},
    // Indices past the 200 colours show black, as the engine shows them for the plain carrier.
    {"gap_between_palette_and_pixels", 5,
     [] {
         const Bytes plain = bmptest::make8(kWidth, kHeight, bmptest::testPalette(200), pixels());
         return std::pair{bmptest::withGapAfterPalette(plain, 64), plain};
     }},
    {"pixels_past_offset_1078", 9,
     [] {
         const Bytes plain = bmptest::make8(kWidth, kHeight, bmptest::testPalette(256), pixels());
         return std::pair{bmptest::withGapAfterPalette(plain, 300), plain};
     }},
};

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Embedded {
    QByteArray image;
    QStringList messages;
    QStringList workFiles;
};

// One embed run, in a thread of its own so that the engine's filler starts afresh.
Embedded embed(const QString& carrier, const QString& document, uint8_t crop,
               const QString& outFolder) {
    apptest::UserSession s({});
    s.h.model.embedOutputFolder = outFolder;
    s.h.model.cropMode = crop;
    s.chooseDocument(document);
    s.chooseCarrier(carrier);
    s.h.ui.clear();
    std::thread([&s] { EmbedDocument(s.h.ctx); }).join();
    return {contents(outFolder + QFileInfo(carrier).fileName()), s.messages(),
            QDir(s.h.ctx.temporaryFolder).entryList(QDir::Files)};
}

class OtherShapes : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(OtherShapes, EmbedAsTheirEquivalentAndTheDocumentComesBack) {
    const auto [carrier, equivalent] = GetParam().make();
    apptest::ScratchDir files;
    for (const char* folder : {"odd", "plain", "out-odd", "out-plain", "back"}) {
        QDir().mkpath(files.folder() + QString::fromLatin1(folder));
    }
    files.write(QStringLiteral("odd/c.bmp"), carrier);
    files.write(QStringLiteral("plain/c.bmp"), equivalent);
    files.write(QStringLiteral("doc.txt"), std::string(2500, 'k') + "end");

    const QString document = files.path(QStringLiteral("doc.txt"));
    const Embedded odd = embed(files.path(QStringLiteral("odd/c.bmp")), document, GetParam().crop,
                               files.folder() + QStringLiteral("out-odd/"));
    const Embedded plain = embed(files.path(QStringLiteral("plain/c.bmp")), document,
                                 GetParam().crop, files.folder() + QStringLiteral("out-plain/"));
    ASSERT_EQ(odd.messages,
              QStringList{"Completion Message|File Embedding processed successfully"});
    ASSERT_FALSE(plain.image.isEmpty());
    EXPECT_TRUE(odd.image == plain.image);
    EXPECT_FALSE(odd.workFiles.contains(kWorkCarrierName));

    apptest::UserSession extract({});
    extract.h.model.extractOutputFolder = files.folder() + QStringLiteral("back/");
    extract.chooseCarrier(files.folder() + QStringLiteral("out-odd/c.bmp"));
    ASSERT_TRUE(extract.h.model.extractMode());
    ExtractDocument(extract.h.ctx);
    EXPECT_EQ(contents(files.path(QStringLiteral("back/doc.txt"))), contents(document));
}

INSTANTIATE_TEST_SUITE_P(Cases, OtherShapes, ::testing::ValuesIn(kShapes), apptest::RowName());

// The engine reads a carrier of its own shape itself, and any other through the copy, which the
// run wipes; damaged compressed pixels are refused before anything is written.
TEST(OtherShapes, OnlyWhatTheEngineCannotReadGoesThroughACopy) {
    const Bytes p = pixels();
    const std::tuple<const char*, Bytes, bool, QString> rows[] = {
        {"padded rle", paddedRle(p), false, {}},
        {"plain", bmptest::make8(kWidth, kHeight, bmptest::testPalette(256), p), false, {}},
        {"rows of the width",
         bmptest::makeRle8(kWidth, kHeight, bmptest::testPalette(256), p, kWidth),
         true,
         {}},
        {"run past the row", bmptest::makeRle8Raw(kWidth, kHeight, {}, {153, 1, 0, 1}), false,
         ": its compressed pixels go past the end of a row"},
    };
    for (const auto& [name, bytes, copied, refusal] : rows) {
        apptest::UserSession s({});
        apptest::Harness& h = s.h;
        const QString carrier = h.file(QStringLiteral("c.bmp"), bytes);
        h.model.embedOutputFolder = h.temp.folder();
        s.chooseDocument(h.file(QStringLiteral("doc.txt"), Bytes(2500, 'k')));
        s.chooseCarrier(carrier);
        h.ui.clear();
        FakeEngine engine;
        WorkflowContext ctx{h.model,    h.ui,   h.zip,          engine,
                            h.platform, h.view, h.dir.folder(), h.temp.folder()};
        ctx.outcomes = &h.outcomes;
        EmbedDocument(ctx);

        const QString copy = h.temp.folder() + kWorkCarrierName;
        QStringList paths; // of the embedding call, then of the wipe
        for (const FakeEngine::Call& call : engine.calls()) {
            paths << call.path;
        }
        EXPECT_EQ(paths, refusal.isEmpty()
                             ? (copied ? QStringList{copy, copy} : QStringList{carrier})
                             : QStringList())
            << name;
        EXPECT_FALSE(QFileInfo::exists(copy)) << name;
        EXPECT_EQ(s.messages().value(0),
                  refusal.isEmpty()
                      ? QStringLiteral("Completion Message|File Embedding processed successfully")
                      : "File Embed|Error during embedding\n\n" + carrier + " an invalid file" +
                            refusal)
            << name;
    }
}

} // namespace
