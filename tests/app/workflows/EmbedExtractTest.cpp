#include "FakeEngine.h"
#include "WorkflowHarness.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace brindmar;
using apptest::Bytes;
using brindmar::testing::FakeEngine;
using brindmar::testing::FakeZipService;

namespace {

enum class Carrier { Rgb24, Indexed8, Rle8 };
enum class Storage { AsIs, Compressed, Encrypted };

const int64_t kDocumentTime = apptest::utcSeconds(2021, 3, 4, 5, 6, 8);

Bytes makeCarrier(Carrier kind, int32_t width, int32_t height) {
    std::mt19937 random(11);
    Bytes pixels;
    switch (kind) {
    case Carrier::Rgb24:
        pixels.resize(size_t(width) * height * 3);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        return bmptest::make24(width, height, pixels);
    case Carrier::Indexed8:
        pixels.resize(size_t(width) * height);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        return bmptest::make8(width, height, bmptest::testPalette(256), pixels);
    case Carrier::Rle8: {
        const int32_t rowPixels = bmptest::rle8RowPixels(width);
        pixels.resize(size_t(rowPixels) * height);
        for (size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<uint8_t>(i % 5 == 0 ? random() : i / 9);
        }
        return bmptest::makeRle8(width, height, bmptest::testPalette(256), pixels, rowPixels);
    }
    }
    return {};
}

std::string documentBytes(Storage storage, size_t n) {
    std::mt19937 random(5);
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        // Text compresses; noise does not, and is then stored as it is.
        bytes[i] = storage == Storage::AsIs ? static_cast<char>(random())
                                            : "lorem ipsum dolor "[random() % 18];
    }
    return bytes;
}

void setModified(const QString& path, int64_t seconds) {
    const std::array<timespec, 2> times{timespec{seconds, 0}, timespec{seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times.data(), 0), 0);
}

int64_t modified(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim.tv_sec;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Session = apptest::UserSession;

struct TripCase {
    const char* name;
    Carrier carrier;
    uint8_t cropMode;
    QString code;
    Storage storage;
    QString documentName;
};

class RoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(RoundTrip, TheDocumentComesBackWithItsNameBytesAndTime) {
    const TripCase& c = GetParam();
    apptest::ScratchDir files;
    // Neither output folder is there yet, as for a window just installed: the first file written
    // into each makes it.
    const QString outFolder = files.folder() + QStringLiteral("not yet/out folder/");
    const QString extractFolder = files.folder() + QStringLiteral("found again/");
    const std::string document = documentBytes(c.storage, 3000);
    files.write(c.documentName, document);
    setModified(files.path(c.documentName), kDocumentTime);
    files.write(QStringLiteral("carrier.bmp"), makeCarrier(c.carrier, 150, 110));

    {
        Session embed(c.code, c.storage == Storage::Encrypted);
        embed.h.model.cropMode = c.cropMode;
        if (c.cropMode == 99) {
            embed.h.model.pointerMarks |= pointer::Adjusted;
            embed.h.model.crop = CropRect{0.5f, 0.5f, 0.1f, 0.8f};
        }
        embed.h.model.embedOutputFolder = outFolder;
        embed.chooseDocument(files.path(c.documentName));
        embed.chooseCarrier(files.path(QStringLiteral("carrier.bmp")));
        ASSERT_TRUE(embed.h.model.hasState(state::EmbedPossible)) << embed.messages().join(u'\n').toStdString();
        EXPECT_EQ(embed.h.model.hasPacking(packing::Packed), c.storage != Storage::AsIs);
        embed.h.ui.clear();
        EmbedDocument(embed.h.ctx);
        const QString done = QStringLiteral("Completion Message|File Embedding processed "
                                            "successfully") +
                             (c.code.isEmpty() ? QString()
                                               : QStringLiteral("\n\nNote the Code used will be "
                                                                "necessary to extract"));
        EXPECT_EQ(embed.messages(), QStringList{done});
        EXPECT_EQ(embed.h.model.windowState, 0);
    }
    const QString image = outFolder + QStringLiteral("carrier.bmp");
    const Bytes made = bmptest::readFile(image.toStdString());
    ASSERT_GE(made.size(), 54u);
    const auto width = int32_t(made[18] | made[19] << 8);
    EXPECT_EQ(width == 150, c.cropMode == 0 || (c.cropMode >= 13 && c.cropMode <= 15)) << width;

    Session extract(c.code);
    extract.h.model.extractOutputFolder = extractFolder;
    extract.chooseCarrier(image);
    ASSERT_TRUE(extract.h.model.extractMode()) << extract.messages().join(u'\n').toStdString();
    EXPECT_EQ(extract.h.model.display.documentBox, c.documentName);
    ExtractDocument(extract.h.ctx);
    EXPECT_EQ(extract.messages(),
              QStringList{"Completion Message|File Extraction processed successfully"});
    const QString found = extractFolder + c.documentName;
    EXPECT_EQ(contents(found), QByteArray::fromStdString(document));
    EXPECT_EQ(modified(found), kDocumentTime);
    EXPECT_EQ(QDir(extractFolder).count(), 3u); // ".", ".." and the document
}

const QString kCode10 = QStringLiteral("0123456789");
const QString kCode20 = QStringLiteral("abcdefghij0123456789");
const QString kCode25 = QStringLiteral("abcdefghij0123456789KLMNO");

INSTANTIATE_TEST_SUITE_P(
    Carriers, RoundTrip,
    ::testing::Values(
        TripCase{"rgb whole plain", Carrier::Rgb24, 0, {}, Storage::AsIs, "notes.bin"},
        TripCase{"rgb centre compressed", Carrier::Rgb24, 1, {}, Storage::Compressed, "a.txt"},
        TripCase{"rgb centre bottom code", Carrier::Rgb24, 2, kCode10, Storage::Compressed,
                 "b.txt"},
        TripCase{"rgb left centre encrypted", Carrier::Rgb24, 5, kCode20, Storage::Encrypted,
                 "c.txt"},
        TripCase{"rgb right bottom long code", Carrier::Rgb24, 9, kCode25, Storage::Encrypted,
                 "d.txt"},
        TripCase{"rgb left strip substitute", Carrier::Rgb24, 10, {}, Storage::Compressed,
                 "a rather long name.txt"},
        TripCase{"rgb drawn", Carrier::Rgb24, 99, kCode10, Storage::AsIs, "drawn.bin"},
        TripCase{"indexed right strip", Carrier::Indexed8, 12, {}, Storage::Compressed, "e.txt"},
        TripCase{"indexed top strip encrypted", Carrier::Indexed8, 13, kCode10,
                 Storage::Encrypted, "an encrypted long name.txt"},
        TripCase{"indexed centre plain", Carrier::Indexed8, 1, {}, Storage::AsIs, "f.bin"},
        TripCase{"rle bottom strip", Carrier::Rle8, 15, {}, Storage::Compressed, "g.txt"},
        TripCase{"rle right bottom code", Carrier::Rle8, 9, kCode20, Storage::AsIs, "h.bin"},
        TripCase{"rle whole encrypted", Carrier::Rle8, 0, kCode10, Storage::Encrypted, "i.txt"},
        TripCase{"rle drawn", Carrier::Rle8, 99, {}, Storage::Compressed, "j.txt"}),
    apptest::RowName());

// The encrypted archive's password comes from the document's time, and the header stores that
// time: a time that moves between two reads, or a first read that fails, must not part them.
struct TimeCase {
    const char* name;
    std::function<void(apptest::MovingTimesPlatform&)> whilePacking;
};

class EncryptedTime : public ::testing::TestWithParam<TimeCase> {};

TEST_P(EncryptedTime, TheArchiveOpensWithTheTimeTheHeaderStores) {
    apptest::ScratchDir files;
    const std::string document = documentBytes(Storage::Encrypted, 3000);
    files.write(QStringLiteral("doc.txt"), document);
    files.write(QStringLiteral("carrier.bmp"), makeCarrier(Carrier::Rgb24, 150, 110));
    {
        Session embed(kCode10, true);
        embed.h.model.embedOutputFolder = files.folder() + QStringLiteral("img/");
        QDir().mkpath(embed.h.model.embedOutputFolder);
        GetParam().whilePacking(embed.h.platform);
        embed.chooseDocument(files.path(QStringLiteral("doc.txt")));
        embed.chooseCarrier(files.path(QStringLiteral("carrier.bmp")));
        embed.h.platform.readsFail = false;
        ASSERT_TRUE(embed.h.model.hasPacking(packing::PackedEncrypted));
        embed.h.ui.clear();
        EmbedDocument(embed.h.ctx);
    }
    Session extract(kCode10);
    extract.h.model.extractOutputFolder = files.folder() + QStringLiteral("out/");
    QDir().mkpath(extract.h.model.extractOutputFolder);
    extract.chooseCarrier(files.path(QStringLiteral("img/carrier.bmp")));
    ExtractDocument(extract.h.ctx);
    EXPECT_EQ(extract.messages(),
              QStringList{"Completion Message|File Extraction processed successfully"});
    EXPECT_EQ(contents(extract.h.model.extractOutputFolder + QStringLiteral("doc.txt")),
              QByteArray::fromStdString(document));
}

INSTANTIATE_TEST_SUITE_P(
    Times, EncryptedTime,
    ::testing::Values(TimeCase{"moves an hour at every read",
                               [](apptest::MovingTimesPlatform& p) { p.secondsPerRead = 3600; }},
                      TimeCase{"first read fails",
                               [](apptest::MovingTimesPlatform& p) { p.readsFail = true; }}),
    apptest::RowName());

// A carrier chosen for embedding in a session that is ready to press Embed.
struct Ready {
    apptest::ScratchDir files;
    QString outFolder = files.folder() + QStringLiteral("out/");
    Session session;

    explicit Ready(const QString& code = {}, Carrier kind = Carrier::Rgb24, int32_t width = 150,
                   int32_t height = 110, bool encrypt = false)
        : session(code, encrypt) {
        QDir().mkpath(outFolder);
        files.write(QStringLiteral("doc.txt"), documentBytes(Storage::Compressed, 3000));
        files.write(QStringLiteral("carrier.bmp"), makeCarrier(kind, width, height));
        session.h.model.embedOutputFolder = outFolder;
        session.h.model.cropMode = 0;
        session.chooseDocument(files.path(QStringLiteral("doc.txt")));
        session.chooseCarrier(carrier());
        session.h.ui.clear();
    }
    QString carrier() const { return files.path(QStringLiteral("carrier.bmp")); }
    QString output() const { return outFolder + QStringLiteral("carrier.bmp"); }
};

TEST(EmbedRefusal, SameFolderAndRefusedOverwriteWriteNothing) {
    Ready same;
    same.session.h.model.embedOutputFolder = same.files.folder();
    const Bytes before = bmptest::readFile(same.carrier().toStdString());
    EmbedDocument(same.session.h.ctx);
    EXPECT_EQ(same.session.messages(),
              QStringList{"File Embed|Cannot embed to same directory as the source image file."
                          "\n\nChange the directory in 'Output to' before embedding."});
    EXPECT_EQ(bmptest::readFile(same.carrier().toStdString()), before);
    EXPECT_FALSE(same.session.h.model.operationRunning());

    Ready kept;
    QFile::copy(kept.files.path(QStringLiteral("doc.txt")), kept.output());
    EmbedDocument(kept.session.h.ctx); // the overwrite question gets Cancel
    EXPECT_EQ(kept.session.h.ui.unscriptedPrompts(), 1);
    EXPECT_EQ(contents(kept.output()), contents(kept.files.path(QStringLiteral("doc.txt"))));
    EXPECT_FALSE(kept.session.h.model.operationRunning());
}

TEST(EmbedRefusal, StopAfterTheFirstBlockLeavesNoImageAndNoMessage) {
    Ready ready({}, Carrier::Rgb24, 400, 100); // 80 rows a block: two blocks
    apptest::Harness& h = ready.session.h;
    h.ui.onPendingEvents = [&h](int) {
        if (h.model.display.progress > 20) {
            h.model.stopRequest = true;
        }
    };
    EmbedDocument(h.ctx);
    EXPECT_TRUE(h.ui.messages().empty());
    EXPECT_FALSE(QFileInfo::exists(ready.output()));
    EXPECT_FALSE(h.model.operationRunning());
    EXPECT_TRUE(h.model.hasState(state::EmbedPossible)); // no reset: the user can try again
}

TEST(EmbedRefusal, EngineFailuresNameWhatFailed) {
    struct Row {
        Carrier kind;
        FakeEngine::Export which;
        EngineStatus status;
        QString expected; // with the paths for "<carrier>" and "<output>"
    };
    const Row rows[] = {
        {Carrier::Indexed8, FakeEngine::Export::Embed80, -9, "\n\n<carrier> cannot be opened (29)"},
        {Carrier::Rle8, FakeEngine::Export::Embed81, -19, "\n\n<carrier> an invalid file (59)"},
        {Carrier::Rgb24, FakeEngine::Export::Embed24, -11, "\n\n<output> cannot be opened (11)"},
        {Carrier::Rgb24, FakeEngine::Export::Embed24, -2, "\n\n (2)"},
        {Carrier::Rgb24, FakeEngine::Export::Embed24, std::nullopt, ""},
    };
    for (const Row& row : rows) {
        Ready ready({}, row.kind);
        apptest::Harness& h = ready.session.h;
        FakeEngine engine;
        engine.queue(row.which, 1);
        engine.queue(row.which, row.status);
        WorkflowContext ctx{h.model, h.ui, h.zip, engine, h.platform, h.view, h.dir.folder(),
                            h.temp.folder()};
        ctx.outcomes = &h.outcomes;
        EmbedDocument(ctx);
        EXPECT_EQ(ready.session.messages(),
                  QStringList{"File Embed|Error during embedding" +
                              QString(row.expected)
                                  .replace("<carrier>", ready.carrier())
                                  .replace("<output>", ready.output())});
        EXPECT_FALSE(QFileInfo::exists(ready.output()));
    }
}

// Says what happened, which the command line prints, rather than the bare headline.
TEST(EmbedRefusal, MissingEngineLibrarySaysSo) {
    Ready ready;
    apptest::Harness& h = ready.session.h;
    EngineBinding missing(h.dir.folder() + QStringLiteral("nowhere/"));
    WorkflowContext ctx{h.model,    h.ui, h.zip,          missing,
                        h.platform, h.view, h.dir.folder(), h.temp.folder()};
    ctx.outcomes = &h.outcomes;
    EmbedDocument(ctx);
    EXPECT_EQ(ready.session.messages(),
              QStringList{"File Embed|Error during embedding\n\nThe program's engine cannot be "
                          "loaded: " +
                          missing.libraryPath() +
                          ": cannot open shared object file: No such file or directory"});
}

// An image made with a code, ready to extract in a new session.
struct Made {
    Ready ready;
    QString extractFolder = ready.files.folder() + QStringLiteral("found/");

    explicit Made(const QString& code, bool encrypt) : ready(code, Carrier::Rgb24, 100, 110, encrypt) {
        QDir().mkpath(extractFolder);
        EmbedDocument(ready.session.h.ctx);
    }
    std::unique_ptr<Session> open(const QString& code) const {
        auto s = std::make_unique<Session>(code);
        s->h.model.extractOutputFolder = extractFolder;
        s->chooseCarrier(ready.output());
        s->h.ui.clear();
        return s;
    }
};

TEST(ExtractRefusal, WrongCodeKeepsTheImageAnOrdinaryCarrier) {
    Made made(kCode10, false);
    EXPECT_FALSE(made.open(kCode20)->h.model.extractMode());
    EXPECT_TRUE(made.open(kCode10)->h.model.extractMode());
}

TEST(ExtractRefusal, DamagedEncryptedArchiveReportsTheServiceText) {
    Made made(kCode10, true);
    // Flip one low bit in the middle of the archive: colour bytes map one to one onto the file
    // for a 100-pixel-wide image, four to a payload byte.
    Bytes image = bmptest::readFile(made.ready.output().toStdString());
    const size_t archiveStart = 54 + 4 * (90 + 7);
    image[archiveStart + 4 * 600] ^= 1;
    bmptest::writeFile(made.ready.output().toStdString(), image);

    auto s = made.open(kCode10);
    ASSERT_TRUE(s->h.model.extractMode());
    ExtractDocument(s->h.ctx);
    const QStringList shown = s->messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("File Extract|Error during extract file decrypt\n\n"));
    EXPECT_TRUE(shown[0].endsWith(")")) << shown[0].toStdString();
    EXPECT_FALSE(QFileInfo::exists(made.extractFolder + QStringLiteral("doc.txt")));
}

TEST(ExtractRefusal, AFailedDateRestoreIsReportedAndKeepsTheDocument) {
    Made made({}, false);
    auto s = made.open({});
    apptest::FakePlatform refusing; // takes no time for a file it does not know
    apptest::Harness& h = s->h;
    WorkflowContext ctx{h.model, h.ui, h.zip, h.engine, refusing, h.view, h.dir.folder(),
                        h.temp.folder()};
    ctx.outcomes = &h.outcomes;
    ExtractDocument(ctx);
    const QString target = made.extractFolder + QStringLiteral("doc.txt");
    EXPECT_EQ(s->messages(),
              QStringList{"File Extract|Error during extracting\n\n" + target +
                          " - the original date/time could not be set"});
    EXPECT_EQ(contents(target), contents(made.ready.files.path(QStringLiteral("doc.txt"))));
}

TEST(ExtractRefusal, OverwriteCancelStopAndUnreachableService) {
    Made made({}, false);
    const QString target = made.extractFolder + QStringLiteral("doc.txt");

    QFile::copy(made.ready.carrier(), target);
    auto cancelled = made.open({});
    ExtractDocument(cancelled->h.ctx); // Cancel to the overwrite question
    EXPECT_EQ(contents(target), contents(made.ready.carrier()));
    EXPECT_TRUE(cancelled->h.model.extractMode()); // no reset
    QFile::remove(target);

    auto missing = made.open({});
    missing->h.zip.setMissing(true);
    ExtractDocument(missing->h.ctx);
    EXPECT_EQ(missing->messages(),
              QStringList{"File Extract|Error during extract file UnZIP\n\n"});
    EXPECT_FALSE(QFileInfo::exists(target));

    auto stopped = made.open({});
    stopped->h.model.stopRequest = true; // cleared at the start: the run goes through
    stopped->h.ui.onPendingEvents = [&](int) { stopped->h.model.stopRequest = true; };
    FakeEngine engine;
    engine.setFallback(FakeEngine::Export::Extract, 1);
    apptest::Harness& h = stopped->h;
    WorkflowContext ctx{h.model, h.ui, h.zip, engine, h.platform, h.view, h.dir.folder(),
                        h.temp.folder()};
    ExtractDocument(ctx);
    EXPECT_EQ(engine.calls().size(), 1u);
    EXPECT_TRUE(stopped->messages().isEmpty());
}

} // namespace
