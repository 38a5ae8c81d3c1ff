// Stealth through the window's workflows, over random carriers, documents, names and times:
// every embed that says it succeeded gives back the same bytes, name and time with its code, and
// only with it; without the code, with another one, or with a bit of the image flipped, nothing
// is written that is not the document.
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "protection/StealthFile.h"
#include "protection/StealthImage.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/StealthEmbedding.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>

using namespace brindmar;

namespace {

const QString kCode = QStringLiteral("Correct Horse 12");
const QString kOtherCode = QStringLiteral("Correct Horse 13");
const QString kWarning = QStringLiteral("detection gets likelier");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

int64_t lastWrite(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mtim.tv_sec;
}

struct Session : apptest::UserSession {
    explicit Session(const QString& code) : UserSession(code) {
        h.ctx.strongCost = StrongCost{1, 8};
        h.ui.clear();
    }
};

// What a search of image with code said and left behind.
struct Search {
    bool offered = false;
    QStringList said;
    QStringList written;
    QStringList workFiles;
};

Search searchWith(const QString& image, const QString& code, apptest::ScratchDir& back) {
    Session s(code);
    s.h.model.extractOutputFolder = back.folder();
    s.chooseCarrier(image);
    Search found;
    found.offered = stealthSearchOffered(s.h.model);
    EXPECT_FALSE(s.h.model.extractMode()); // nothing in clear gives it away
    // The output row names the folder the search writes to.
    EXPECT_EQ(s.h.model.display.extractOutput, found.offered);
    EXPECT_EQ(s.h.model.display.outputFolder,
              found.offered ? back.folder() : s.h.model.embedOutputFolder);
    s.h.ui.clear();
    ExtractDocument(s.h.ctx);
    found.said = s.messages();
    found.written = entries(back.folder());
    found.workFiles = entries(s.h.temp.folder());
    return found;
}

TEST(StealthRoundTrip, EverySuccessComesBackOnlyWithItsCode) {
    const QStringList names = {
        QStringLiteral("notes.txt"), QStringLiteral("Tagebuch \u00fcber M\u00e4rz.odt"),
        QStringLiteral("\u0414\u043d\u0435\u0432\u043d\u0438\u043a.txt"), QStringLiteral("a")};
    int successes = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        apptest::ScratchDir files;
        const QString name = names[static_cast<qsizetype>(random() % names.size())];
        std::string document(random() % 3000, '\0');
        const bool text = random() % 2 == 0;
        std::ranges::generate(document,
                              [&] { return text ? "stealth "[random() % 8] : char(random()); });
        files.write(name, document);
        // Even seconds: the archive keeps times to two seconds.
        const int64_t time = apptest::utcSeconds(2001, 1, 1, 0, 0, 0) + 2 * (random() % 400000000);
        const std::array<timespec, 2> times{timespec{time, 0}, timespec{time, 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(files.path(name)).constData(), times.data(), 0);
        const auto width = static_cast<int32_t>(300 + random() % 300);
        const auto height = static_cast<int32_t>(200 + random() % 200);
        // Every third carrier is 8-bit: refused, since its changes would add colours a palette
        // cannot have.
        const bool indexed = seed % 3 == 0;
        bmptest::Bytes pixels(size_t(width) * size_t(height) * (indexed ? 1 : 3));
        std::ranges::generate(pixels, [&] { return uint8_t(random()); });
        std::vector<bmptest::PaletteEntry> palette(256);
        std::ranges::generate(palette, [&] {
            return bmptest::PaletteEntry{uint8_t(random()), uint8_t(random()), uint8_t(random()),
                                         0};
        });
        files.write(QStringLiteral("carrier.bmp"),
                    indexed ? bmptest::make8(width, height, palette, pixels)
                            : bmptest::make24(width, height, pixels));
        const QString carrier = files.path(QStringLiteral("carrier.bmp"));
        QDir().mkpath(files.folder() + QStringLiteral("out"));

        Session embed(kCode);
        QtPictureConverter pictures;
        embed.h.ctx.pictures = &pictures;
        embed.h.model.embedOutputFolder = files.folder() + QStringLiteral("out/");
        ToggleStealth(embed.h.ctx);
        embed.chooseDocument(files.path(name));
        embed.chooseCarrier(carrier);
        ASSERT_TRUE(embed.h.model.display.strongBox);
        ASSERT_FALSE(embed.h.model.display.cropEnabled);
        ASSERT_FALSE(embed.h.model.display.cropFrameVisible);
        const int64_t archive = stealthArchiveLength(embed.h.model);
        embed.h.ui.queueCodeAgain(kCode);
        embed.h.ui.clear();
        EmbedDocument(embed.h.ctx);
        const QString image = files.folder() + QStringLiteral("out/carrier.bmp");
        const bool said = embed.messages().join(u' ').contains(u"processed successfully");
        // The writer's figures, from the carrier's pixels.
        const StealthCarrierFigures figures = stealthCarrierFigures(carrier);
        EXPECT_EQ(embed.messages().join(u' ').contains(kWarning),
                  said && archive > figures.recommended);
        if (indexed) {
            EXPECT_FALSE(said);
            EXPECT_TRUE(embed.messages().join(u' ').contains(
                u"colours cannot hide changes; choose a photograph"));
            EXPECT_FALSE(QFile::exists(image));
            continue;
        }
        if (!said) {
            EXPECT_GT(archive, figures.most);
            EXPECT_FALSE(QFile::exists(image));
            continue;
        }
        ++successes;
        // The carrier's size and headers: only colour values differ.
        const QByteArray made = contents(image);
        ASSERT_EQ(made.size(), contents(carrier).size());
        EXPECT_EQ(made.left(54), contents(carrier).left(54));
        EXPECT_TRUE(entries(embed.h.temp.folder()).isEmpty())
            << entries(embed.h.temp.folder()).join(u' ').toStdString();

        apptest::ScratchDir back;
        const Search right = searchWith(image, kCode, back);
        EXPECT_TRUE(right.offered);
        ASSERT_EQ(right.written, QStringList{name}) << right.said.join(u' ').toStdString();
        EXPECT_EQ(contents(back.path(name)), QByteArray::fromStdString(document));
        EXPECT_EQ(lastWrite(back.path(name)), time);
        EXPECT_TRUE(right.workFiles.isEmpty()) << right.workFiles.join(u' ').toStdString();

        // Without a code nothing is offered; another code is not told that there is a document.
        for (const QString& code : {QString(), kOtherCode}) {
            apptest::ScratchDir folder;
            const Search wrong = searchWith(image, code, folder);
            EXPECT_EQ(wrong.offered, !code.isEmpty());
            EXPECT_TRUE(wrong.written.isEmpty());
            EXPECT_TRUE(wrong.workFiles.isEmpty());
            if (!code.isEmpty()) {
                ASSERT_EQ(wrong.said.size(), 1);
                EXPECT_TRUE(wrong.said[0].contains(
                    QStringLiteral(" - no document opens with this code: the picture carries "
                                   "none, or one made with another code")));
            }
        }

        // One bit of one colour value flipped: the document comes back whole or not at all.
        QByteArray flipped = made;
        const auto at = static_cast<qsizetype>(54 + random() % (made.size() - 54));
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (random() % 8)));
        files.write(QStringLiteral("flipped.bmp"),
                    std::string(flipped.constData(), size_t(flipped.size())));
        apptest::ScratchDir damaged;
        const Search hit = searchWith(files.path(QStringLiteral("flipped.bmp")), kCode, damaged);
        if (!hit.written.isEmpty()) {
            EXPECT_EQ(contents(damaged.path(name)), QByteArray::fromStdString(document));
        }
        EXPECT_TRUE(hit.workFiles.isEmpty());
    }
    EXPECT_GE(successes, 4);
}

// An image that does not give its document back (here one colour value spoilt before the
// read-back, wherever it lies: salt, head or stream) is neither written nor called done, and
// leaves nothing in the work folder.
TEST(StealthRoundTrip, AnImageThatDoesNotReadBackIsNeverWritten) {
    apptest::ScratchDir files;
    files.write(QStringLiteral("note.txt"), std::string("meet at the old mill at nine"));
    bmptest::Bytes pixels(size_t{160} * 120 * 3);
    std::mt19937 random(3);
    std::ranges::generate(pixels, [&] { return uint8_t(random()); });
    files.write(QStringLiteral("carrier.bmp"), bmptest::make24(160, 120, pixels));
    QDir().mkpath(files.folder() + QStringLiteral("out"));
    Session embed(kCode);
    embed.h.model.embedOutputFolder = files.folder() + QStringLiteral("out/");
    ToggleStealth(embed.h.ctx);
    embed.chooseDocument(files.path(QStringLiteral("note.txt")));
    embed.chooseCarrier(files.path(QStringLiteral("carrier.bmp")));
    embed.h.ui.queueCodeAgain(kCode);
    embed.h.ui.clear();
    gStealthSpoilBeforeReadBack = 1;
    EmbedDocument(embed.h.ctx);
    gStealthSpoilBeforeReadBack = 0;
    const QString said = embed.messages().join(u' ');
    EXPECT_TRUE(said.contains(u"does not give the document back with this code, so it was not "
                              u"written"))
        << said.toStdString();
    EXPECT_FALSE(said.contains(u"processed successfully"));
    EXPECT_TRUE(entries(files.folder() + QStringLiteral("out")).isEmpty());
    EXPECT_TRUE(entries(embed.h.temp.folder()).isEmpty())
        << entries(embed.h.temp.folder()).join(u' ').toStdString();
}

} // namespace
