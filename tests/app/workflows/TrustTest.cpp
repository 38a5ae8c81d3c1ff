// What a user trusts the embed and the extraction with, held case by case: every image that was
// made comes back whole under its name and time, whatever its shape, name or code; a replaced
// file stays until its successor is complete; and no protection is dropped on the way.
#include "FakeEngine.h"
#include "WorkflowHarness.h"
#include "payload/PayloadHeaderReader.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/EngineLoop.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace brindmar;
using apptest::Bytes;
using brindmar::testing::FakeEngine;

namespace {

enum class Kind { Rgb24, Indexed8, Rle8 };

const int64_t kDocumentTime = apptest::utcSeconds(2019, 11, 2, 17, 45, 10);

Bytes carrier(Kind kind, int32_t width, int32_t height) {
    std::mt19937 random(static_cast<unsigned>(width * 7 + height));
    const auto noise = [&](size_t n) {
        Bytes bytes(n);
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        return bytes;
    };
    switch (kind) {
    case Kind::Rgb24:
        return bmptest::make24(width, height, noise(size_t(width) * height * 3));
    case Kind::Indexed8:
        return bmptest::make8(width, height, bmptest::testPalette(256),
                              noise(size_t(width) * height));
    case Kind::Rle8: {
        const int32_t row = bmptest::rle8RowPixels(width);
        return bmptest::makeRle8(width, height, bmptest::testPalette(256),
                                 noise(size_t(row) * height), row);
    }
    }
    return {};
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int64_t modified(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim.tv_sec;
}

// One run of the program, as a user drives it.
struct Session : apptest::UserSession {
    using UserSession::UserSession;
    void choose(const QString& document, const QString& image) {
        if (!document.isEmpty()) {
            chooseDocument(document);
        }
        chooseCarrier(image);
    }
};

struct Folders {
    apptest::ScratchDir files;
    QString out = files.folder() + QStringLiteral("out/");
    QString back = files.folder() + QStringLiteral("back/");
    Folders() {
        QDir().mkpath(out);
        QDir().mkpath(back);
    }
    QString document(const QString& name, const std::string& bytes) const {
        files.write(name, bytes);
        const QString path = files.path(name);
        const std::array<timespec, 2> times{timespec{kDocumentTime, 0}, timespec{kDocumentTime, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times.data(), 0);
        return path;
    }
};

struct ShapeCase {
    const char* name;
    Kind kind;
    int32_t width;
    int32_t height;
    uint8_t crop;
    size_t documentBytes;
    QString documentName;
    QString code;
    bool encrypt;
};

class ComesBack : public ::testing::TestWithParam<ShapeCase> {};

// Each row is a case that once reported success, or failed inside the engine, and could not be
// read back.
TEST_P(ComesBack, UnderItsNameWithItsBytesAndTime) {
    const ShapeCase& c = GetParam();
    Folders f;
    std::string bytes(c.documentBytes, '\0');
    std::mt19937 random(9);
    for (char& b : bytes) {
        b = "abc de"[random() % 6];
    }
    const QString document = f.document(c.documentName, bytes);
    f.files.write(QStringLiteral("carrier.bmp"), carrier(c.kind, c.width, c.height));
    {
        Session embed(c.code, c.encrypt);
        embed.h.model.embedOutputFolder = f.out;
        embed.h.model.cropMode = c.crop;
        embed.choose(document, f.files.path(QStringLiteral("carrier.bmp")));
        ASSERT_TRUE(embed.h.model.hasState(state::EmbedPossible));
        embed.h.ui.clear();
        EmbedDocument(embed.h.ctx);
        ASSERT_EQ(embed.h.ui.messages().size(), 1u);
        ASSERT_TRUE(embed.messages()[0].contains(u"processed successfully"))
            << embed.messages()[0].toStdString();
    }
    Session extract(c.code, false);
    extract.h.model.extractOutputFolder = f.back;
    extract.choose({}, f.out + QStringLiteral("carrier.bmp"));
    ASSERT_TRUE(extract.h.model.extractMode());
    ExtractDocument(extract.h.ctx);
    EXPECT_EQ(extract.messages(),
              QStringList{"Completion Message|File Extraction processed successfully"});
    EXPECT_EQ(QDir(f.back).entryList(QDir::Files | QDir::Hidden), QStringList{c.documentName});
    EXPECT_EQ(contents(f.back + c.documentName), QByteArray::fromStdString(bytes));
    EXPECT_EQ(modified(f.back + c.documentName), kDocumentTime);
    // A document out of an image is the user's alone, whichever way it came out.
    EXPECT_EQ(QFile::permissions(f.back + c.documentName) & 0x0077, QFileDevice::Permissions());
    if (!c.code.isEmpty()) {
        Session other(QStringLiteral("another code 42"), false);
        other.choose({}, f.out + QStringLiteral("carrier.bmp"));
        EXPECT_FALSE(other.h.model.extractMode());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ComesBack,
    ::testing::Values(
        ShapeCase{
            "centre crop of a wide carrier", Kind::Indexed8, 4300, 800, 1, 20, "a.txt", {}, false},
        ShapeCase{"vertical strip of a photo", Kind::Rgb24, 640, 480, 11, 20, "b.txt", {}, false},
        ShapeCase{"one pixel wide", Kind::Rgb24, 1, 3000, 0, 1500, "c.bin", {}, false},
        ShapeCase{"one pixel high", Kind::Indexed8, 3000, 1, 0, 1500, "d.bin", {}, false},
        ShapeCase{"run-length strip", Kind::Rle8, 2, 2720, 10, 300, "e.txt", {}, false},
        ShapeCase{"empty document", Kind::Rgb24, 150, 110, 1, 0, "empty.txt", {}, false},
        ShapeCase{
            "empty document in a run-length carrier", Kind::Rle8, 150, 110, 0, 0, "e", {}, false},
        ShapeCase{"CJK name", Kind::Rgb24, 150, 110, 0, 700, u"\u6587\u6863.txt"_qs, {}, true},
        ShapeCase{"Cyrillic long name",
                  Kind::Indexed8,
                  150,
                  110,
                  5,
                  700,
                  u"\u041e\u0442\u0447\u0451\u0442 \u0437\u0430 \u043c\u0430\u0440\u0442.txt"_qs,
                  {},
                  false},
        ShapeCase{"leading blanks", Kind::Rgb24, 150, 110, 0, 700, "  lead.txt", {}, false},
        ShapeCase{"trailing blank", Kind::Rgb24, 150, 110, 0, 700, "trail.txt ", {}, false},
        ShapeCase{"accented name and code", Kind::Rgb24, 150, 110, 2, 700,
                  u"r\u00e9sum\u00e9 final.pdf"_qs, u"caf\u00e9 cr\u00e8me 1"_qs, true},
        ShapeCase{"forty characters, several dots", Kind::Rgb24, 150, 110, 9, 700,
                  "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.tx", "0123456789", false}),
    apptest::RowName());

// A made image, ready to be extracted in a later run.
struct Made {
    Folders f;
    QString document;
    QString image = f.out + QStringLiteral("carrier.bmp");

    explicit Made(const QString& documentName = QStringLiteral("doc.txt")) {
        QDir().mkpath(f.files.folder() + QStringLiteral("docs"));
        document = f.document(QStringLiteral("docs/") + documentName, std::string(3000, 'q'));
        f.files.write(QStringLiteral("carrier.bmp"), carrier(Kind::Rgb24, 150, 110));
        Session embed({}, false);
        embed.h.model.embedOutputFolder = f.out;
        embed.h.model.cropMode = 0;
        embed.choose(document, f.files.path(QStringLiteral("carrier.bmp")));
        EmbedDocument(embed.h.ctx);
    }
};

TEST(Replacing, TheImageItselfIsNeverTheTarget) {
    Made made(QStringLiteral("carrier.bmp")); // the stored name is the image's own
    const QByteArray image = contents(made.image);
    Session extract({}, false);
    extract.h.model.extractOutputFolder = made.f.out;
    extract.choose({}, made.image);
    ASSERT_TRUE(extract.h.model.extractMode());
    extract.h.ui.queueAnswer(MessageAnswer::Ok);
    ExtractDocument(extract.h.ctx);
    EXPECT_EQ(extract.messages(),
              QStringList{"File Extract|Cannot extract over the source image file.\n\nChange the "
                          "directory in 'Output to' before extracting."});
    EXPECT_EQ(contents(made.image), image);
}

// The user agreed to replace a file; a run that then fails or is stopped leaves it as it was.
TEST(Replacing, TheOldFileStaysUntilTheNewOneIsComplete) {
    for (const bool stop : {false, true}) {
        Made made;
        const QString target = made.f.back + QStringLiteral("doc.txt");
        QFile::copy(made.document, made.image + QStringLiteral(".old"));
        made.f.files.write(QStringLiteral("back/doc.txt"), std::string("kept"));

        Session again({}, false);
        again.h.model.embedOutputFolder = made.f.out;
        again.choose(made.document, made.f.files.path(QStringLiteral("carrier.bmp")));
        FakeEngine engine;
        engine.queue(FakeEngine::Export::Embed24, 1);
        engine.queue(FakeEngine::Export::Embed24, -13);
        apptest::Harness& h = again.h;
        if (stop) {
            h.ui.onPendingEvents = [&h](int) { h.model.stopRequest = h.model.operationRunning(); };
        }
        WorkflowContext ctx{h.model,    h.ui,   h.zip,          engine,
                            h.platform, h.view, h.dir.folder(), h.temp.folder()};
        const QByteArray image = contents(made.image);
        h.ui.queueAnswer(MessageAnswer::Ok);
        EmbedDocument(ctx);
        EXPECT_EQ(contents(made.image), image) << stop;

        Session extract({}, false);
        extract.h.model.extractOutputFolder = made.f.back;
        extract.choose({}, made.image);
        FakeEngine failing;
        failing.queue(FakeEngine::Export::Extract, stop ? 1 : -13);
        apptest::Harness& x = extract.h;
        if (stop) {
            x.ui.onPendingEvents = [&x](int) { x.model.stopRequest = x.model.operationRunning(); };
        }
        WorkflowContext xctx{x.model,    x.ui,   x.zip,          failing,
                             x.platform, x.view, x.dir.folder(), x.temp.folder()};
        x.ui.queueAnswer(MessageAnswer::Ok);
        ExtractDocument(xctx);
        EXPECT_EQ(contents(target), "kept") << stop;
        EXPECT_EQ(QDir(made.f.back).entryList(QDir::Files | QDir::Hidden).size(), 1) << stop;
        EXPECT_EQ(QDir(made.f.out).entryList(QDir::Files | QDir::Hidden).size(), 2) << stop;
    }
}

// A dangling link where the image goes is a name taken like any other: asked about, and replaced
// only when the user agrees, never written through.
TEST(Replacing, ADanglingLinkAtTheOutputNameIsAskedAbout) {
    for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        Made made;
        ASSERT_TRUE(QFile::remove(made.image));
        const QString pointed = made.f.files.path(QStringLiteral("elsewhere.bmp"));
        ASSERT_TRUE(QFile::link(pointed, made.image));
        Session again({}, false);
        again.h.model.embedOutputFolder = made.f.out;
        again.choose(made.document, made.f.files.path(QStringLiteral("carrier.bmp")));
        again.h.ui.clear();
        again.h.ui.queueAnswer(answer);
        EmbedDocument(again.h.ctx);
        ASSERT_FALSE(again.messages().isEmpty());
        EXPECT_TRUE(again.messages()[0].startsWith(u"Confirm file overwrite|"))
            << again.messages()[0].toStdString();
        EXPECT_EQ(QFileInfo(made.image).isSymLink(), answer == MessageAnswer::Cancel);
        EXPECT_FALSE(QFileInfo::exists(pointed));
    }
}

// A name that could not come back as it is keeps the document out, and says so.
TEST(Replacing, ANameThatCannotComeBackIsRefused) {
    Folders f;
    f.files.write(QStringLiteral("carrier.bmp"), carrier(Kind::Rgb24, 150, 110));
    Session run({}, false);
    run.h.model.embedOutputFolder = f.out;
    const QString document = f.document(QStringLiteral("a\\b.txt"), std::string(100, 'x'));
    run.choose(document, f.files.path(QStringLiteral("carrier.bmp")));
    run.h.ui.clear();
    EmbedDocument(run.h.ctx);
    EXPECT_EQ(run.messages(),
              QStringList{"File Embed|Error during embedding\n\n" + document +
                          " - its name holds a backslash or a control character, which cannot "
                          "be restored: rename it first"});
    EXPECT_TRUE(QDir(f.out).isEmpty());
}

TEST(Protection, EncryptionOutlivesTheResetAndAFailedPackingLeavesNoStalePackedBit) {
    Folders f;
    const QString code = QStringLiteral("harbour lights 42");
    f.files.write(QStringLiteral("carrier.bmp"), carrier(Kind::Rgb24, 150, 110));
    const QString first = f.document(QStringLiteral("one.txt"), std::string(2000, 'a'));
    const QString second = f.document(QStringLiteral("two.txt"), std::string(2000, 'b'));
    Session run(code, true);
    run.h.model.embedOutputFolder = f.out;
    run.choose(first, f.files.path(QStringLiteral("carrier.bmp")));
    EmbedDocument(run.h.ctx); // success, then the window reset
    QFile::remove(f.out + QStringLiteral("carrier.bmp"));
    run.choose(second, f.files.path(QStringLiteral("carrier.bmp")));
    EXPECT_EQ(run.h.model.display.encryptBox, kEncryptTicked);
    EXPECT_TRUE(run.h.model.hasPacking(packing::PackedEncrypted));

    // With the service failing, the next document is stored as it is, and says so.
    run.h.zip.failWith(brindmar::testing::FakeZipService::Operation::ZipFiles, kZipDiskFull);
    run.h.ui.queueFileChoice(first);
    ChooseDocument(run.h.ctx);
    EXPECT_FALSE(run.h.model.hasPacking(packing::Packed));
    run.h.ui.clear();
    EmbedDocument(run.h.ctx);
    ASSERT_TRUE(run.messages().last().contains(u"processed successfully"));
    EXPECT_EQ(ReadPayloadHeader(f.out + QStringLiteral("carrier.bmp"), code).status,
              PayloadStatus::DocumentAsIs);
}

TEST(Codes, CheckedAsTheyWillBeUsed) {
    const std::pair<QString, CodeFault> rows[] = {
        {QString(), CodeFault::None},
        {QStringLiteral("0123456789"), CodeFault::None},
        {QStringLiteral("  0123456789  "), CodeFault::None},
        {QStringLiteral("         1"), CodeFault::Length},
        {QStringLiteral("1         "), CodeFault::Length},
        {QStringLiteral("          "), CodeFault::Length},
        {QStringLiteral("0123456789abcdefghijK"), CodeFault::Length},
        {u"caf\u00e9 cr\u00e8me \u00df"_qs, CodeFault::None},
        {u"\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8\u03b9\u03ba"_qs, CodeFault::Characters},
        {u"\U0001F600\U0001F600\U0001F600\U0001F600\U0001F600"_qs, CodeFault::Characters},
    };
    for (const auto& [code, fault] : rows) {
        EXPECT_EQ(codeFault(code), fault) << code.toStdString();
    }
    // Typed into the box, a code the header cannot keep is refused and the box keeps its code.
    apptest::Harness h;
    ChangeCode(h.ctx, QStringLiteral("0123456789"));
    ChangeCode(h.ctx, u"0123456789\u0436"_qs);
    EXPECT_EQ(h.model.code, "0123456789");
    ASSERT_EQ(h.ui.messages().size(), 1u);
    EXPECT_EQ(h.ui.messages()[0].title, "Code entry Error");
}

TEST(Messages, FailedWritesSayWhy) {
    apptest::FakePlatform platform;
    platform.free = 0;
    EXPECT_EQ(writeFailureError(platform, QStringLiteral("/out/")), ENOSPC);
    platform.free = uint64_t{1} << 40;
    EXPECT_EQ(writeFailureError(platform, QStringLiteral("/out/")), EIO);
    // The window's box after its headline.
    const auto detail = [](const Outcome& outcome) {
        const QString text = renderOutcome(outcome).message.text;
        return text.mid(text.indexOf(QStringLiteral("\n\n")) + 2);
    };
    Outcome embed = Outcome::failed(Reason::DiskFull, "c");
    describeEmbedFailure(embed, -36, "c", "d", "/out/c.bmp", ENOSPC, 0);
    EXPECT_EQ(detail(embed), "/out/c.bmp could not be written: the disk is full (36)");
    Outcome extract = Outcome::failed(Reason::DiskFull, "c");
    extract.task = Task::Extract;
    describeExtractFailure(extract, -14, "c", "/back/d.txt", ENOSPC, 0);
    EXPECT_EQ(detail(extract), "/back/d.txt could not be written: the disk is full (14)");
}

// Keep times gives the new image the carrier's last write: in the date field's two-second steps
// where it holds the time, and as it is where it cannot (before 1980, after 2107). A time the
// image will not take is reported, and the image itself stays complete.
TEST(Messages, KeptTimesAreTheCarriersWhateverTheYear) {
    const struct {
        int64_t carrier;
        int64_t kept;
        bool settable;
    } rows[] = {
        {apptest::utcSeconds(1970, 1, 1, 0, 0, 1), apptest::utcSeconds(1970, 1, 1, 0, 0, 1), true},
        {apptest::utcSeconds(1979, 12, 31, 23, 59, 59),
         apptest::utcSeconds(1979, 12, 31, 23, 59, 59), true},
        {apptest::utcSeconds(1980, 1, 1, 0, 0, 1), apptest::utcSeconds(1980, 1, 1, 0, 0, 0), true},
        {kDocumentTime, kDocumentTime, true},
        {apptest::utcSeconds(2108, 1, 1, 0, 0, 1), apptest::utcSeconds(2108, 1, 1, 0, 0, 1), true},
        {kDocumentTime, kDocumentTime, false},
        {apptest::utcSeconds(1970, 1, 1, 0, 0, 1), apptest::utcSeconds(1970, 1, 1, 0, 0, 1), false},
    };
    for (const auto& row : rows) {
        Folders f;
        f.files.write(QStringLiteral("carrier.bmp"), carrier(Kind::Rgb24, 150, 110));
        Session run({}, false);
        run.h.model.embedOutputFolder = f.out;
        run.h.model.display.keepTimesChecked = true;
        run.choose(f.document(QStringLiteral("doc.txt"), std::string(100, 'x')),
                   f.files.path(QStringLiteral("carrier.bmp")));
        apptest::FakePlatform platform; // knows the carrier's times; the image's, if settable
        platform.everyFileSettable = row.settable;
        platform.times[f.files.path(QStringLiteral("carrier.bmp"))] = {row.carrier, row.carrier,
                                                                       row.carrier};
        apptest::Harness& h = run.h;
        WorkflowContext ctx{h.model,  h.ui,   h.zip,          h.engine,
                            platform, h.view, h.dir.folder(), h.temp.folder()};
        ctx.outcomes = &h.outcomes;
        h.ui.clear();
        EmbedDocument(ctx);
        const QString image = f.out + QStringLiteral("carrier.bmp");
        ASSERT_FALSE(platform.writes.empty()) << row.carrier;
        EXPECT_EQ(platform.writes.back().second, row.kept) << row.carrier;
        EXPECT_EQ(ctx.outcome.done(), row.settable) << row.carrier;
        if (!row.settable) {
            EXPECT_EQ(run.messages(), QStringList{"File Embed|Error during embedding\n\n" + image +
                                                  " - the original date/time could not be set"});
        }
        EXPECT_TRUE(ReadPayloadHeader(image, {}).payloadFound()) << row.carrier;
    }
}

} // namespace
