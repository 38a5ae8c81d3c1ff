// The Convert picture command on the model, with a converter that turns any file named *.png
// into a 40 x 30 carrier (the converter itself has tests of its own).
#include "WorkflowHarness.h"
#include "operations/PictureConverter.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/PictureConversion.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <thread>

using namespace brindmar;

namespace {

class PngConverter final : public PictureConverter {
public:
    bool failing = false;
    bool jpeg = false;
    bool isJpeg(const QString&) const override { return jpeg; }
    bool canRead(const QString& path) const override {
        return path.endsWith(QStringLiteral(".png")) || path.endsWith(QStringLiteral(".jpg")) ||
               (path.endsWith(QStringLiteral(".bmp")) && QFileInfo(path).size() < 54 + 12);
    }
    PictureConversion convert(const QString& source, const QString& target) const override {
        PictureConversion done;
        if (failing) {
            done.fault = PictureFault::Damaged;
            done.file = source;
            return done;
        }
        bmptest::writeFile(target.toStdString(),
                           bmptest::make24(40, 30, bmptest::Bytes(40 * 30 * 3, 0x55)));
        done.ok = true;
        done.width = 40;
        done.height = 30;
        return done;
    }
    QString dialogFilter() const override { return QStringLiteral("Pictures|*.png"); }
};

// A decode that runs until it is told to stop, having written part of its carrier.
class EndlessConverter final : public PictureConverter {
public:
    bool canRead(const QString&) const override { return true; }
    PictureConversion convert(const QString&, const QString&) const override { return {}; }
    PictureConversion convertUnlessStopped(const QString&, const QString& target,
                                           const std::atomic<bool>& stop, bool) const override {
        bmptest::writeFile(target.toStdString(), bmptest::Bytes(100, 0x42));
        while (!stop) {
            std::this_thread::yield();
        }
        PictureConversion stopped;
        stopped.stopped = true;
        return stopped;
    }
    QString dialogFilter() const override { return QStringLiteral("Pictures|*.png"); }
};

struct Converting {
    apptest::Harness h;
    PngConverter converter;
    QString picture = h.dir.path(QStringLiteral("photo.png"));

    Converting() {
        h.ctx.pictures = &converter;
        h.dir.write(QStringLiteral("photo.png"), std::string("not really a png"));
    }
};

TEST(Conversion, ThePictureBecomesTheCarrierInTheFolderChosen) {
    Converting c;
    const QString out = c.h.dir.folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    c.h.ui.queueFileChoice(c.picture);
    c.h.ui.queueFolderChoice(out);
    ConvertPicture(c.h.ctx);
    EXPECT_TRUE(c.h.ui.messages().empty());
    ASSERT_EQ(c.h.ui.folderDialogs().size(), 1u);
    EXPECT_EQ(c.h.ui.folderDialogs()[0].initialFolder, c.h.dir.folder()); // the picture's own
    EXPECT_EQ(c.h.ui.fileDialogs()[0].filter, "Pictures|*.png");
    EXPECT_EQ(c.h.model.display.bmpPath, out + "photo.bmp");
    EXPECT_TRUE(c.h.model.hasState(state::BmpUsable));
    EXPECT_EQ(c.h.model.imageWidth, 40);
    EXPECT_EQ(QFile(c.picture).size(), 16); // the picture itself is never touched
    // Its new image is what a picture gives, not what its BMP would, unless the user says.
    EXPECT_EQ(outputFormatAsked(c.h.model), ImageFormat::Png);
    c.h.model.imageFormat = ImageFormat::Bmp;
    EXPECT_EQ(outputFormatAsked(c.h.model), ImageFormat::Bmp);
}

TEST(Conversion, ADroppedPictureIsOfferedForConversion) {
    for (const MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        Converting c;
        c.h.ui.queueAnswer(answer);
        c.h.ui.queueFolderChoice(c.h.dir.folder());
        OfferConversion(c.h.ctx, c.picture);
        ASSERT_EQ(c.h.ui.messages().size(), 1u);
        EXPECT_EQ(c.h.ui.messages()[0].buttons, MessageButtons::OkCancel);
        const bool taken = answer == MessageAnswer::Ok;
        EXPECT_EQ(c.h.model.display.bmpPath, taken ? c.h.dir.path("photo.bmp") : QString());
        EXPECT_EQ(QFileInfo::exists(c.h.dir.path("photo.bmp")), taken);
    }
}

TEST(Conversion, AJpegsSizeIsChosenByNamedButtonsOrCancelled) {
    struct Row {
        MessageAnswer answer;
        std::optional<bool> half;
    };
    for (const Row& row : {Row{MessageAnswer::Ok, true}, Row{MessageAnswer::Second, false},
                           Row{MessageAnswer::Cancel, std::nullopt}}) {
        Converting c;
        c.converter.jpeg = true;
        c.h.ui.queueAnswer(row.answer);
        EXPECT_EQ(AskHalfSize(c.h.ctx, c.picture), row.half);
        ASSERT_EQ(c.h.ui.messages().size(), 1u);
        const Message asked = c.h.ui.messages()[0]; // messages() is a copy
        EXPECT_EQ(asked.buttons, MessageButtons::TwoChoices);
        EXPECT_EQ(asked.firstChoice, "Half size");
        EXPECT_EQ(asked.secondChoice, "Full size");
        EXPECT_FALSE(asked.text.contains("Cancel"));
    }
}

TEST(Conversion, APhotoPickedAsTheCarrierIsOfferedItsConversion) {
    for (const bool readable : {true, false}) {
        Converting c;
        const QString photo =
            c.h.dir.path(readable ? QStringLiteral("photo.jpg") : QStringLiteral("photo.gif"));
        c.h.dir.write(QFileInfo(photo).fileName(), std::string("a photo"));
        c.h.ui.queueFileChoice(photo);
        if (readable) {
            c.h.ui.queueAnswer(MessageAnswer::Cancel);
        }
        ChooseBmp(c.h.ctx);
        ASSERT_EQ(c.h.ui.messages().size(), 1u);
        const Message said = c.h.ui.messages()[0]; // messages() is a copy
        EXPECT_EQ(said.buttons == MessageButtons::OkCancel, readable);
        EXPECT_EQ(said.text.contains("Convert it into a BMP"), readable);
    }
}

TEST(Conversion, NamesClashesAndFailuresLeaveTheUsersFilesAlone) {
    EXPECT_EQ(convertedBmpPath("/p/photo.png", "/out/"), "/out/photo.bmp");
    EXPECT_EQ(convertedBmpPath("/p/.hidden", "/out/"), "/out/.hidden.bmp");
    {
        // A misnamed small BMP the converter reads would be converted onto itself.
        Converting c;
        c.h.dir.write(QStringLiteral("tiny.bmp"), std::string("BM tiny"));
        EXPECT_EQ(convertedBmpPath(c.h.dir.path(QStringLiteral("tiny.bmp")), c.h.dir.folder()),
                  c.h.dir.folder() + "tiny-converted.bmp");
    }
    for (const bool failing : {false, true}) {
        Converting c;
        c.converter.failing = failing;
        c.h.dir.write(QStringLiteral("photo.bmp"), std::string("mine"));
        if (!failing) {
            c.h.ui.queueAnswer(MessageAnswer::Cancel); // to the overwrite question
        } else {
            c.h.ui.queueAnswer(MessageAnswer::Ok);
        }
        EXPECT_EQ(ConvertPictureFile(c.h.ctx, c.picture, c.h.dir.folder()), std::nullopt);
        QFile kept(c.h.dir.path(QStringLiteral("photo.bmp")));
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "mine");
        EXPECT_EQ(QDir(c.h.dir.folder()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        if (failing) {
            ASSERT_EQ(c.h.ui.messages().size(), 2u);
            EXPECT_EQ(c.h.ui.messages()[1].text, c.picture + " - is damaged or cut short");
        }
    }
}

TEST(Conversion, AnUnusableBmpTheConverterReadsShowsTheHint) {
    Converting c;
    c.h.dir.write(QStringLiteral("odd.bmp"), std::string("BM tiny"));
    c.h.ui.queueFileChoice(c.h.dir.path(QStringLiteral("odd.bmp")));
    ChooseBmp(c.h.ctx);
    EXPECT_EQ(c.h.model.display.invalidBmpText,
              "Not in BMP format\n\nFile, Convert picture to BMP... makes a copy that can be used");
    c.h.ctx.pictures = nullptr;
    c.h.ui.queueFileChoice(c.h.dir.path(QStringLiteral("odd.bmp")));
    ChooseBmp(c.h.ctx);
    EXPECT_EQ(c.h.model.display.invalidBmpText, "Not in BMP format");
}

TEST(Conversion, StopEndsADecodeAndLeavesNothing) {
    Converting c;
    EndlessConverter endless;
    c.h.ctx.pictures = &endless;
    const uint8_t before = c.h.model.windowState;
    bool stopOffered = false;
    c.h.ui.onPendingEvents = [&](int) {
        stopOffered = c.h.model.display.commandEnabled[static_cast<size_t>(Command::Stop)];
        c.h.model.stopRequest = true; // the Stop button, or Ctrl+C on a terminal
    };
    // Into a folder of the user's, through a replacement file, and into the private work
    // folder, written in place: neither leaves a part of a carrier behind.
    for (const QString& folder : {c.h.dir.folder(), c.h.ctx.temporaryFolder}) {
        SCOPED_TRACE(folder.toStdString());
        const qsizetype files = QDir(folder).entryList(QDir::Files | QDir::Hidden).size();
        EXPECT_EQ(ConvertPictureFile(c.h.ctx, c.picture, folder), std::nullopt);
        EXPECT_TRUE(stopOffered);
        EXPECT_TRUE(c.h.ui.messages().empty());
        EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("photo.bmp")));
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), files);
        EXPECT_EQ(c.h.model.windowState, before);
    }
}

} // namespace
