#include "operations/EngineBinding.h"
#include "AppTestSupport.h"
#include "util/LinuxPlatform.h"
#include "window/OutcomeMessages.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

const QString kEngineFolder = QStringLiteral(BRINDMAR_ENGINE_DIR);
const QString kStubFolder = QStringLiteral(BRINDMAR_STUB_ENGINE_DIR);

UncompressedEmbedArgs validEmbed() {
    UncompressedEmbedArgs args;
    args.rowsPerBlock = 4;
    args.dataOffset = 54;
    args.rowStride = 12;
    args.outWidth = 4;
    args.rowCount = 4;
    args.docLength = 1;
    args.header = "+/VOKE01170+++";
    args.carrierPath = QStringLiteral("/nonexistent/carrier.bmp");
    args.documentPath = QStringLiteral("/nonexistent/document");
    args.outputPath = QStringLiteral("/nonexistent/output.bmp");
    return args;
}

Rle8EmbedArgs validRle8() {
    Rle8EmbedArgs args;
    args.rowsPerBlock = 4;
    args.dataOffset = 1078;
    args.imageWidth = 4;
    args.outWidth = 4;
    args.rowCount = 4;
    args.docLength = 1;
    args.header = "+/VOKE01170+++";
    args.carrierPath = QStringLiteral("/nonexistent/carrier.bmp");
    args.documentPath = QStringLiteral("/nonexistent/document");
    args.outputPath = QStringLiteral("/nonexistent/output.bmp");
    return args;
}

ExtractArgs validExtract() {
    ExtractArgs args;
    args.rowsPerBlock = 4;
    args.dataOffset = 54;
    args.rowBytes = 12;
    args.docLength = 1;
    args.headerLength = 1;
    args.carrierPath = QStringLiteral("/nonexistent/carrier.bmp");
    args.outputPath = QStringLiteral("/nonexistent/output");
    return args;
}

template <typename Args> Args with(Args args, void (*change)(Args&)) {
    change(args);
    return args;
}

template <typename Args>
std::function<EngineStatus(Engine&)> call(EngineStatus (Engine::*entry)(const Args&), Args args) {
    return [entry, args](Engine& engine) { return (engine.*entry)(args); };
}

// Each case breaks one argument; the engine checks its arguments in a fixed order and names the
// first bad one in its status, so a binding that passes an argument in the wrong slot shows up
// as a wrong status.
struct ArgumentCase {
    const char* name;
    std::function<EngineStatus(Engine&)> run;
    int32_t expected;
};

using Embed = UncompressedEmbedArgs;
const ArgumentCase kArgumentCases[] = {
    {"embed24 valid, carrier missing", call(&Engine::embed24, validEmbed()), -9},
    {"embed24 rowStride",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.rowStride = 0; })), -1},
    {"embed24 outWidth",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.outWidth = 0; })), -2},
    {"embed24 rowCount",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.rowCount = 0; })), -3},
    {"embed24 dataOffset",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.dataOffset = 1079; })), -4},
    {"embed24 header",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.header.clear(); })), -5},
    {"embed24 carrierPath",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.carrierPath.clear(); })),
     -6},
    {"embed24 documentPath",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.documentPath.clear(); })),
     -7},
    {"embed24 outputPath",
     call(&Engine::embed24, with<Embed>(validEmbed(), [](Embed& a) { a.outputPath.clear(); })), -8},
    {"embed80 documentPath",
     call(&Engine::embed80, with<Embed>(validEmbed(), [](Embed& a) { a.documentPath.clear(); })),
     -7},
    {"embed81 valid, carrier missing", call(&Engine::embed81, validRle8()), -11},
    {"embed81 rowsPerBlock",
     call(&Engine::embed81,
          with<Rle8EmbedArgs>(validRle8(), [](Rle8EmbedArgs& a) { a.rowsPerBlock = 0; })),
     -1},
    {"embed81 imageWidth",
     call(&Engine::embed81,
          with<Rle8EmbedArgs>(validRle8(), [](Rle8EmbedArgs& a) { a.imageWidth = 0; })),
     -3},
    {"embed81 docLength",
     call(&Engine::embed81,
          with<Rle8EmbedArgs>(validRle8(), [](Rle8EmbedArgs& a) { a.docLength = 0; })),
     -6},
    {"embed81 outputPath",
     call(&Engine::embed81,
          with<Rle8EmbedArgs>(validRle8(), [](Rle8EmbedArgs& a) { a.outputPath.clear(); })),
     -10},
    {"extract valid, carrier missing", call(&Engine::extract, validExtract()), -8},
    {"extract rowBytes",
     call(&Engine::extract,
          with<ExtractArgs>(validExtract(), [](ExtractArgs& a) { a.rowBytes = 0; })),
     -3},
    {"extract headerLength",
     call(&Engine::extract,
          with<ExtractArgs>(validExtract(), [](ExtractArgs& a) { a.headerLength = 0; })),
     -5},
    {"extract outputPath",
     call(&Engine::extract,
          with<ExtractArgs>(validExtract(), [](ExtractArgs& a) { a.outputPath.clear(); })),
     -7},
    {"wipefile count 0", [](Engine& e) { return e.wipefile(0, QStringLiteral("/x")); }, 0},
    {"wipefile unopenable",
     [](Engine& e) { return e.wipefile(5, QStringLiteral("/nonexistent/folder/file")); }, -6},
};

TEST(EngineBinding, EveryArgumentReachesItsSlot) {
    EngineBinding engine(kEngineFolder);
    for (const ArgumentCase& c : kArgumentCases) {
        EXPECT_EQ(c.run(engine), EngineStatus(c.expected)) << c.name;
    }
    EXPECT_TRUE(engine.lastLoadError().isEmpty());
}

TEST(EngineBinding, WipesThroughTheLoadedLibrary) {
    apptest::ScratchDir scratch;
    scratch.write(QStringLiteral("doc"), std::string(1000, 'x'));
    EngineBinding engine(kEngineFolder);

    EXPECT_EQ(engine.wipefile(1000, scratch.path(QStringLiteral("doc"))), EngineStatus(-1));

    QFile file(scratch.path(QStringLiteral("doc")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray(1000, '\0'));
}

TEST(EngineBinding, LibraryMissingFromTheProgramFolderIsARunTimeFailure) {
    // The engine test process may well have the real library loaded already; the binding must
    // still look only in its own folder.
    EngineBinding real(kEngineFolder);
    ASSERT_TRUE(real.wipefile(0, QString()).has_value());

    QTemporaryDir empty;
    EngineBinding engine(empty.path());
    EXPECT_EQ(engine.wipefile(0, QString()), std::nullopt);
    EXPECT_EQ(engine.embed24(validEmbed()), std::nullopt);
    EXPECT_EQ(engine.extract(validExtract()), std::nullopt);
    EXPECT_FALSE(engine.lastLoadError().isEmpty());
}

TEST(EngineBinding, LibraryInstalledAfterAFailedCallIsUsedByTheNextCall) {
    QTemporaryDir folder;
    EngineBinding engine(folder.path());
    ASSERT_EQ(engine.wipefile(0, QString()), std::nullopt);

    ASSERT_TRUE(QFile::copy(kEngineFolder + QStringLiteral("/libvokbfn1.so"),
                            folder.filePath(QStringLiteral("libvokbfn1.so"))));
    EXPECT_EQ(engine.wipefile(0, QString()), EngineStatus(0));
    EXPECT_TRUE(engine.lastLoadError().isEmpty());
}

TEST(EngineBinding, MissingExportFailsOnlyThatExport) {
    EngineBinding engine(kStubFolder);
    EXPECT_EQ(engine.wipefile(7, QStringLiteral("/x")), EngineStatus(42));
    EXPECT_EQ(engine.embed24(validEmbed()), std::nullopt);
    EXPECT_FALSE(engine.lastLoadError().isEmpty());
    EXPECT_EQ(engine.embed81(validRle8()), std::nullopt);
    EXPECT_EQ(engine.wipefile(0, QStringLiteral("/x")), EngineStatus(0));
}

TEST(EngineBinding, LoadsByAbsolutePathEvenFromARelativeOrEmptyFolder) {
    // A bare file name would send dlopen through the library search path.
    for (const QString& folder : {QString(), QStringLiteral("."), QStringLiteral("bin")}) {
        const QString path = EngineBinding(folder).libraryPath();
        EXPECT_TRUE(QDir::isAbsolutePath(path)) << path.toStdString();
        EXPECT_TRUE(path.endsWith(QStringLiteral("/libvokbfn1.so"))) << path.toStdString();
    }
}

// What the loaded engine left in errno comes out with the call, and becomes the user's words:
// a full disk says so, a read the disk refused names the file and never calls it invalid.
TEST(EngineBinding, CarriesTheEnginesReasonIntoTheMessage) {
    apptest::ScratchDir dir;
    // An 8 x 8 carrier of grey, and a document one byte shorter than announced.
    dir.write(QStringLiteral("carrier.bmp"), std::string(54 + 8 * 24, '\x80'));
    dir.write(QStringLiteral("document"), std::string(3, 'd'));
    EngineBinding engine(kEngineFolder);
    UncompressedEmbedArgs shrunk = validEmbed();
    shrunk.docLength = 4;
    shrunk.rowsPerBlock = 8;
    shrunk.rowStride = 24;
    shrunk.outWidth = 8;
    shrunk.rowCount = 8;
    shrunk.carrierPath = dir.path(QStringLiteral("carrier.bmp"));
    shrunk.documentPath = dir.path(QStringLiteral("document"));
    shrunk.outputPath = dir.path(QStringLiteral("out.bmp"));
    ExtractArgs full = validExtract();
    full.carrierPath = shrunk.carrierPath;
    full.outputPath = QStringLiteral("/dev/full");
    ExtractArgs fine = full;
    fine.outputPath = dir.path(QStringLiteral("document.out"));
    const struct {
        const char* what;
        std::function<EngineStatus()> call;
        int32_t status;
        int error;
    } cases[] = {
        {"document shrank", [&] { return engine.embed24(shrunk); }, -12, ENODATA},
        {"disk full", [&] { return engine.extract(full); }, -14, ENOSPC},
        {"missing carrier", [&] { return engine.extract(validExtract()); }, -8, ENOENT},
        {"success leaves no reason", [&] { return engine.extract(fine); }, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        errno = EBADF; // whatever the program had in errno before is not the engine's reason
        EXPECT_EQ(c.call(), c.status);
        EXPECT_EQ(engine.lastSystemError(), c.error);
    }

    // Embed's words, then extract's (whose output is its second name).
    const struct {
        bool extracting;
        int32_t status;
        int error;
        const char* expected;
    } words[] = {
        {false, -13, EIO, "c.bmp - cannot be read: Input/output error (13)"},
        {false, -34, EIO, "c.bmp - cannot be read: Input/output error (34)"},
        {false, -55, EIO, "d.txt - cannot be read: Input/output error (55)"},
        {false, -12, ENODATA,
         "d.txt - it became shorter while it was read; embed it once it no longer changes (12)"},
        {false, -15, ENOSPC, "o.bmp could not be written: the disk is full (15)"},
        {false, -13, 0, "c.bmp an invalid file (13)"},
        {true, -13, EIO, "c.bmp - cannot be read: Input/output error (13)"},
        {true, -14, ENOSPC, "d.txt could not be written: the disk is full (14)"},
        {false, -9, EACCES, "c.bmp cannot be opened: Permission denied (9)"},
        {true, -8, EMFILE, "c.bmp cannot be opened: Too many open files (8)"},
    };
    LinuxPlatform platform;
    const QString c = QStringLiteral("c.bmp"), d = QStringLiteral("d.txt");
    for (const auto& w : words) {
        const int writeError = engineWriteError(w.error, platform, dir.folder());
        Outcome outcome = Outcome::failed(Reason::Other, c);
        outcome.task = w.extracting ? Task::Extract : Task::Embed;
        if (w.extracting) {
            describeExtractFailure(outcome, w.status, c, d, writeError, w.error);
        } else {
            describeEmbedFailure(outcome, w.status, c, d, QStringLiteral("o.bmp"), writeError,
                                 w.error);
        }
        // The window's box after its headline.
        const QString box = renderOutcome(outcome).message.text;
        EXPECT_EQ(box.mid(box.indexOf(QStringLiteral("\n\n")) + 2),
                  QString::fromLatin1(w.expected));
    }
}

} // namespace
