// The same requests the command line and the window make, run through the workflows: each ends
// with the outcome kind and the files written that say what happened, whatever words showed it.

#include "BmpBuilder.h"
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "workflows/EmbedDocument.h"
#include "workflows/Requests.h"
#include "workflows/StealthEmbedding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <functional>
#include <gtest/gtest.h>
#include <random>

namespace {

using namespace brindmar;

const QString kCode = QStringLiteral("0123456789");
const QString kOtherCode = QStringLiteral("9876543210");
const QString kStealthCode = QStringLiteral("Correct Horse 12");

apptest::Bytes noise(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    apptest::Bytes bytes(count);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

// A run of the program: a 24-bit carrier of noise, a document that does not pack smaller, and
// an output folder of their own.
struct Scene {
    apptest::Harness h;
    apptest::ScratchDir out;
    QtPictureConverter pictures;
    QString carrier;
    QString document;
    // Files of the output folder from before the run.
    QStringList kept;

    Scene() {
        h.ctx.strongCost = StrongCost{1, 8};
        h.ctx.pictures = &pictures;
        carrier = h.file(QStringLiteral("carrier.bmp"),
                         bmptest::make24(100, 120, noise(100 * 120 * 3, 1)));
        document = h.file(QStringLiteral("doc.txt"), noise(2000, 2));
    }
    EmbedRequest embed(const std::optional<QString>& code = std::nullopt) const {
        EmbedRequest request;
        request.carrier = carrier;
        request.document = document;
        request.outputFolder = out.folder();
        request.protection.code = code;
        request.protection.encrypt = code.has_value();
        return request;
    }
    // The image an earlier run made, as a fresh run finds it.
    QString made(const std::optional<QString>& code = std::nullopt) {
        Scene maker;
        maker.carrier = carrier;
        maker.document = document;
        EmbedRequest request = maker.embed(code);
        request.outputFolder = h.dir.folder() + QStringLiteral("made/");
        QDir().mkpath(request.outputFolder);
        const Outcome outcome = Embed(maker.h.ctx, request);
        EXPECT_TRUE(outcome.done()) << outcome.detail.toStdString();
        return outcome.written.value(0);
    }
    // An image sealed with strong protection under kCode, at the scene's cost.
    QString sealed() {
        Scene maker;
        maker.h.ui.queueCodeAgain(kCode);
        EmbedRequest request = embed(kCode);
        request.protection.strong = true;
        request.outputFolder = h.dir.folder() + QStringLiteral("sealed/");
        QDir().mkpath(request.outputFolder);
        const Outcome outcome = Embed(maker.h.ctx, request);
        EXPECT_TRUE(outcome.done()) << outcome.detail.toStdString();
        return outcome.written.value(0);
    }
    Outcome extract(const QString& image, const std::optional<QString>& code) {
        return Extract(h.ctx, ExtractRequest{image, out.folder(), code});
    }
    // A photo straight from a camera's encoder, as Stealth keeps it a JPEG.
    QString photo() const {
        const QString path = h.dir.path(QStringLiteral("photo.jpg"));
        QFile::copy(QStringLiteral(BRINDMAR_GOLDEN_INPUTS_DIR "/photo.jpg"), path);
        return path;
    }
    // Stealth asks for its code again before it embeds. The photograph's dry coefficients take
    // a shorter document than the others' carrier.
    EmbedRequest stealth(const QString& picture) {
        h.ui.queueCodeAgain(kStealthCode);
        EmbedRequest request = embed(kStealthCode);
        request.carrier = picture;
        request.document = h.file(QStringLiteral("note.txt"), noise(1000, 3));
        request.protection.encrypt = false;
        request.protection.strong = true;
        request.protection.stealth = true;
        return request;
    }
    QString madeJpeg() {
        EmbedRequest request = stealth(photo());
        request.outputFolder = h.dir.folder() + QStringLiteral("made/");
        QDir().mkpath(request.outputFolder);
        Scene maker;
        maker.h.ui.queueCodeAgain(kStealthCode);
        const Outcome outcome = Embed(maker.h.ctx, request);
        EXPECT_TRUE(outcome.done()) << outcome.detail.toStdString();
        return outcome.written.value(0);
    }
};

// A converter that reads every picture and refuses to convert any, as too large.
class RefusingPictures final : public PictureConverter {
public:
    bool canRead(const QString&) const override { return true; }
    PictureConversion convert(const QString& source, const QString&) const override {
        PictureConversion refused;
        refused.fault = PictureFault::TooLarge;
        refused.file = source;
        refused.limit = 12000;
        return refused;
    }
    QString dialogFilter() const override { return {}; }
};

// A decoder that reads every PNG one colour byte wrong, as a faulty encoder would have written
// it: the new image must not take its place.
class MisreadingPictures final : public PictureConverter {
public:
    bool canRead(const QString& path) const override { return real.canRead(path); }
    PictureConversion convert(const QString& source, const QString& target) const override {
        PictureConversion done = real.convert(source, target);
        QFile decoded(target);
        char byte = 0;
        if (done.ok && decoded.open(QIODevice::ReadWrite) && decoded.seek(decoded.size() - 1) &&
            decoded.getChar(&byte) && decoded.seek(decoded.size() - 1)) {
            decoded.putChar(static_cast<char>(byte ^ 1));
        }
        return done;
    }
    QString dialogFilter() const override { return {}; }

private:
    QtPictureConverter real;
};

struct Row {
    std::string name;
    std::function<Outcome(Scene&)> run;
    Ending ending;
    Reason reason;
    QStringList written; // names in the output folder
};

class Outcomes : public ::testing::TestWithParam<Row> {};

TEST_P(Outcomes, SayWhatHappened) {
    const Row& row = GetParam();
    Scene scene;
    const Outcome outcome = row.run(scene);
    QString said;
    for (const Message& message : scene.h.ui.messages()) {
        said += message.text + u'\n';
    }
    EXPECT_EQ(static_cast<int>(outcome.ending), static_cast<int>(row.ending)) << said.toStdString();
    EXPECT_EQ(static_cast<int>(outcome.reason), static_cast<int>(row.reason)) << said.toStdString();
    QStringList written;
    for (const QString& path : outcome.written) {
        written << QFileInfo(path).fileName();
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    }
    EXPECT_EQ(written, row.written);
    // Nothing is left in the output folder but what the outcome names.
    QStringList expected = row.written + scene.kept;
    expected.sort();
    EXPECT_EQ(QDir(scene.out.folder()).entryList(QDir::Files, QDir::Name), expected);
}

const Row kRows[] = {
    {"EmbedDone",
     [](Scene& s) { return Outcome(Embed(s.h.ctx, s.embed())); },
     Ending::Done,
     Reason::None,
     {"carrier.bmp"}},
    {"ExtractDone",
     [](Scene& s) { return s.extract(s.made(kCode), kCode); },
     Ending::Done,
     Reason::None,
     {"doc.txt"}},
    {"NoPayload",
     [](Scene& s) {
         const QString plain = s.h.file(
             QStringLiteral("plain.bmp"),
             bmptest::make8(40, 30, std::vector<bmptest::PaletteEntry>(256), noise(40 * 30, 3)));
         return s.extract(plain, std::nullopt);
     },
     Ending::Refused,
     Reason::NoPayload,
     {}},
    {"CodeNeeded",
     [](Scene& s) { return s.extract(s.made(kCode), std::nullopt); },
     Ending::Refused,
     Reason::CodeNeeded,
     {}},
    {"WrongCode",
     [](Scene& s) { return s.extract(s.made(kCode), kOtherCode); },
     Ending::Refused,
     Reason::WrongCode,
     {}},
    {"NoDocumentForCode",
     [](Scene& s) { return s.extract(s.carrier, kCode); },
     Ending::Refused,
     Reason::NoDocumentForCode,
     {}},
    {"Damaged",
     [](Scene& s) {
         const QString image = s.made(kCode);
         // One low bit flipped in the middle of the encrypted archive.
         apptest::Bytes bytes = bmptest::readFile(image.toStdString());
         bytes[54 + 4 * (90 + 7) + 4 * 600] ^= 1;
         bmptest::writeFile(image.toStdString(), bytes);
         return s.extract(image, kCode);
     },
     Ending::Failed,
     Reason::Damaged,
     {}},
    {"CannotRead",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.document = s.h.dir.path(QStringLiteral("gone.txt"));
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::CannotRead,
     {}},
    {"PngNotReadBack",
     [](Scene& s) {
         static const MisreadingPictures misreading;
         s.h.ctx.pictures = &misreading;
         EmbedRequest request = s.embed();
         request.format = ImageFormat::Png;
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::NotReadBack,
     {}},
    // Asked for in so many words, encryption that fails leaves nothing embedded rather than a
    // document stored as it is.
    {"EncryptionFailed",
     [](Scene& s) {
         s.h.zip.failWith(brindmar::testing::FakeZipService::Operation::ZipFiles,
                          kZipCannotEncrypt);
         return Outcome(Embed(s.h.ctx, s.embed(kCode)));
     },
     Ending::Failed,
     Reason::CannotRead,
     {}},
    {"CannotWrite",
     [](Scene& s) {
         // A file where the output folder should be: the new image cannot be made in it.
         EmbedRequest request = s.embed();
         request.outputFolder = s.document + u'/';
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::CannotWrite,
     {}},
    {"DiskFull",
     [](Scene& s) {
         const QString image = s.made();
         apptest::FakePlatform full;
         full.free = 1000;
         WorkflowContext ctx{s.h.model, s.h.ui,           s.h.zip,           s.h.engine, full,
                             s.h.view,  s.h.dir.folder(), s.h.temp.folder(), &s.pictures};
         return Extract(ctx, ExtractRequest{image, s.out.folder(), std::nullopt});
     },
     Ending::Refused,
     Reason::DiskFull,
     {}},
    {"Exists",
     [](Scene& s) {
         s.out.write(QStringLiteral("carrier.bmp"), std::string("kept"));
         s.kept << QStringLiteral("carrier.bmp");
         // The question whether to replace it goes unanswered: no.
         return Outcome(Embed(s.h.ctx, s.embed()));
     },
     Ending::Refused,
     Reason::Exists,
     {}},
    {"WouldReplaceCarrier",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.outputFolder = s.h.dir.folder();
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Refused,
     Reason::WouldReplaceCarrier,
     {}},
    {"TooLarge",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.document = s.h.file(QStringLiteral("big.bin"), noise(20000, 4));
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Refused,
     Reason::TooLarge,
     {}},
    {"AlreadyCarries",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.carrier = s.made();
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Refused,
     Reason::AlreadyCarries,
     {}},
    {"WrongExtension",
     [](Scene& s) {
         return s.extract(s.h.file(QStringLiteral("notes.gif"), noise(300, 5)), std::nullopt);
     },
     Ending::Refused,
     Reason::WrongExtension,
     {}},
    {"NotPicture",
     [](Scene& s) {
         return Convert(s.h.ctx, ConvertRequest{s.document, s.out.folder(), false});
     },
     Ending::Failed,
     Reason::NotPicture,
     {}},
    {"SealTooCheap",
     [](Scene& s) {
         const QString image = s.sealed();
         // This program's own images ask for more than the scene's cheap seal.
         s.h.ctx.strongCost = kDefaultStrongCost;
         return s.extract(image, kCode);
     },
     Ending::Failed,
     Reason::SealTooCheap,
     {}},
    {"PictureTooLarge",
     [](Scene& s) {
         const QtPictureConverter small(50);
         s.h.ctx.pictures = &small;
         return Convert(s.h.ctx, ConvertRequest{s.carrier, s.out.folder(), false});
     },
     Ending::Failed,
     Reason::PictureTooLarge,
     {}},
    {"PictureDamaged",
     [](Scene& s) {
         QImage photo(60, 40, QImage::Format_RGB32);
         photo.fill(Qt::darkGreen);
         const QString png = s.h.dir.path(QStringLiteral("cut.png"));
         photo.save(png);
         QFile file(png);
         file.resize(file.size() / 2);
         return Convert(s.h.ctx, ConvertRequest{png, s.out.folder(), false});
     },
     Ending::Failed,
     Reason::Damaged,
     {}},
    {"JpegStealthEmbedDone",
     [](Scene& s) { return Outcome(Embed(s.h.ctx, s.stealth(s.photo()))); },
     Ending::Done,
     Reason::None,
     {"photo.jpg"}},
    {"JpegStealthExtractDone",
     [](Scene& s) { return s.extract(s.madeJpeg(), kStealthCode); },
     Ending::Done,
     Reason::None,
     {"note.txt"}},
    {"JpegCarrierWithCode",
     [](Scene& s) { return s.extract(s.photo(), kStealthCode); },
     Ending::Refused,
     Reason::NoDocumentForCode,
     {}},
    {"JpegStealthOtherCode",
     [](Scene& s) { return s.extract(s.madeJpeg(), kOtherCode); },
     Ending::Refused,
     Reason::NoDocumentForCode,
     {}},
    {"JpegStealthRecompressed",
     [](Scene& s) {
         const QString image = s.madeJpeg();
         const QString again = s.h.dir.path(QStringLiteral("again.jpg"));
         EXPECT_TRUE(QImage(image).save(again, "JPEG", 85));
         return s.extract(again, kStealthCode);
     },
     Ending::Refused,
     Reason::NoDocumentForCode,
     {}},
    {"JpegStealthOverTheCarrier",
     [](Scene& s) {
         EmbedRequest request = s.stealth(s.photo());
         request.outputFolder = s.h.dir.folder();
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Refused,
     Reason::WouldReplaceCarrier,
     {}},
    {"JpegStealthArithmeticCarrier",
     [](Scene& s) {
         const QString photo = s.h.dir.path(QStringLiteral("arithmetic.jpg"));
         QFile::copy(QStringLiteral(BRINDMAR_GOLDEN_INPUTS_DIR "/photo-arithmetic.jpg"), photo);
         return Outcome(Embed(s.h.ctx, s.stealth(photo)));
     },
     Ending::Refused,
     Reason::JpegUnreadable,
     {}},
    {"JpegStealthTooLarge",
     [](Scene& s) {
         EmbedRequest request = s.stealth(s.photo());
         request.document = s.h.file(QStringLiteral("big.bin"), noise(9000, 4));
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Refused,
     Reason::TooLarge,
     {}},
    {"EngineUnavailable",
     [](Scene& s) {
         EngineBinding missing(s.h.dir.folder() + QStringLiteral("nowhere/"));
         WorkflowContext ctx{s.h.model,    s.h.ui,   s.h.zip,          missing,
                             s.h.platform, s.h.view, s.h.dir.folder(), s.h.temp.folder(),
                             &s.pictures};
         return Outcome(Embed(ctx, s.embed()));
     },
     Ending::Failed,
     Reason::EngineUnavailable,
     {}},
    {"NameNotKept",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.document = s.h.file(QStringLiteral("a\\b.txt"), noise(2000, 2));
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::NameNotKept,
     {}},
    {"NotPackedForTheSeal",
     [](Scene& s) {
         s.h.zip.failWith(brindmar::testing::FakeZipService::Operation::ZipFiles, 4);
         s.h.ui.queueCodeAgain(kStealthCode);
         EmbedRequest request = s.embed(kStealthCode);
         request.protection.strong = true;
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::CannotRead,
     {}},
    // questions and notices
    // A carrier Stealth converts on the way, whose conversion fails: the embed fails with the
    // converter's reason, never ends stopped with nothing said.
    {"StealthCarrierNotConverted",
     [](Scene& s) {
         static const RefusingPictures refusing;
         s.h.ctx.pictures = &refusing;
         ChangeCode(s.h.ctx, kStealthCode);
         ToggleStealth(s.h.ctx);
         s.h.model.embedOutputFolder = s.out.folder();
         s.h.ui.queueFileChoice(s.h.file(QStringLiteral("note.txt"), noise(200, 3)));
         ChooseDocument(s.h.ctx);
         s.h.ui.queueFileChoice(
             s.h.file(QStringLiteral("indexed.bmp"),
                      bmptest::make8(100, 120, bmptest::testPalette(256), noise(100 * 120, 5))));
         ChooseBmp(s.h.ctx);
         s.h.ui.queueCodeAgain(kStealthCode);
         s.h.ui.clear();
         const Outcome outcome = EmbedDocument(s.h.ctx);
         EXPECT_EQ(outcome.step, Task::Convert);
         // Told once, in the converter's box.
         QStringList titles;
         for (const Message& message : s.h.ui.messages()) {
             titles << message.title;
         }
         EXPECT_EQ(titles, QStringList{QStringLiteral("Convert picture to BMP")})
             << titles.join(u'|').toStdString();
         return outcome;
     },
     Ending::Failed,
     Reason::PictureTooLarge,
     {}},
    {"CompressedPixelsPastTheRow",
     [](Scene& s) {
         EmbedRequest request = s.embed();
         request.carrier = s.h.file(QStringLiteral("runs.bmp"),
                                    bmptest::makeRle8Raw(150, 110, {}, {153, 1, 0, 1}));
         return Outcome(Embed(s.h.ctx, request));
     },
     Ending::Failed,
     Reason::NotCarrier,
     {}},
    // choosing a file
    {"NotBmpFile",
     [](Scene& s) {
         // Typed into the image box by hand, then Embed.
         s.h.ui.queueFileChoice(s.document);
         ChooseDocument(s.h.ctx);
         s.h.model.display.bmpPath = s.h.file(QStringLiteral("carrier.gif"), noise(300, 6));
         s.h.model.embedOutputFolder = s.out.folder();
         return EmbedDocument(s.h.ctx);
     },
     Ending::Refused,
     Reason::NotBmpFile,
     {}},
    {"ChosenCannotOpen",
     [](Scene& s) {
         return Outcome(
             Describe(s.h.ctx, InfoRequest{s.h.dir.path(QStringLiteral("gone.bmp")), {}}));
     },
     Ending::Failed,
     Reason::CannotOpen,
     {}},
    {"NotShown",
     [](Scene& s) {
         // Compressed pixels that stop before the image does: the thumbnail is not made up.
         return s.extract(
             s.h.file(QStringLiteral("short.bmp"), bmptest::makeRle8Raw(40, 30, {}, {0, 0})),
             std::nullopt);
     },
     Ending::Failed,
     Reason::NotShown,
     {}},
    {"Declined",
     [](Scene& s) {
         // The question whether to overwrite and delete it goes unanswered: no.
         return Wipe(s.h.ctx, FileRequest{s.document});
     },
     Ending::Refused,
     Reason::Declined,
     {}},
};

INSTANTIATE_TEST_SUITE_P(Requests, Outcomes, ::testing::ValuesIn(kRows), apptest::RowName());

} // namespace
