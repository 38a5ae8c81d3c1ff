// brindmar embed --stealth and the extraction's search for a stealth payload, run as a process:
// each line's exit status, what it says on stdout, and exactly what it says on stderr.
#include "AppTestSupport.h"
#include "BmpBuilder.h"
#include "CliFiles.h"
#include "protection/StealthImage.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

struct Row {
    QStringList args;
    QString code; // BRINDMAR_CODE, none when empty
    int status;
    QString inOut;
    QString err;
};

TEST(CliStealth, EmbedAndSearch) {
    apptest::ScratchDir dir;
    const QString out = dir.folder() + QStringLiteral("out/");
    const QString found = dir.folder() + QStringLiteral("found/");
    const QString plain = dir.folder() + QStringLiteral("plain/");
    ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(found));
    std::mt19937 random(7);
    std::string largeDocument(1500, ' ');
    for (char& c : largeDocument) {
        c = static_cast<char>(random());
    }
    dir.write(QStringLiteral("large.bin"), largeDocument);
    dir.write(QStringLiteral("note.txt"), std::string("meet at the old mill at nine"));
    bmptest::Bytes pixels(400 * 300 * 3);
    for (uint8_t& b : pixels) {
        b = static_cast<uint8_t>(random());
    }
    dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(400, 300, pixels));

    const QString carrier = dir.path(QStringLiteral("carrier.bmp"));
    const QString image = out + QStringLiteral("carrier.bmp");
    const QString png = out + QStringLiteral("carrier.png");
    const QString code = QStringLiteral("Correct Horse 12");
    const QString other = QStringLiteral("Correct Horse 13");
    const QString done = QStringLiteral("processed successfully");
    const QStringList note{"embed", carrier, dir.path(QStringLiteral("note.txt")), "-o", out};
    const QStringList largeEmbed{"embed", carrier, dir.path(QStringLiteral("large.bin")),
                                 "-o",    out,     "-y"};
    const QStringList extract{"extract", image, "-o", found, "-y"};
    const QString usage = QStringLiteral("\nTry 'brindmar --help'.\n");
    const QString warning =
        QStringLiteral("brindmar: The document takes more of this image than Stealth recommends "
                       "(%1 bytes here: one hidden bit in %2 colour bytes), so detection gets "
                       "likelier. A larger image, or a smaller document, keeps below it.\n")
            .arg(brindmar::stealthRecommendedCapacity(400, 300))
            .arg(std::lround(1.0 / brindmar::kStealthRecommendedRate));
    const Row rows[] = {
        {note + QStringList{"--stealth"},
         {},
         2,
         {},
         "brindmar: --stealth needs a code: it is the only key to the document" + usage},
        {note + QStringList{"--stealth", "--crop", "centre"},
         code,
         2,
         {},
         "brindmar: --stealth keeps the carrier's size, so it takes no --crop" + usage},
        {note + QStringList{"--stealth"}, code, 0, "File Embedding " + done, {}},
        // Nothing in the image says that it carries anything, to info or to extract.
        {{"info", image}, {}, 0, "Payload: no hidden document was found in it", {}},
        {extract,
         {},
         1,
         {},
         "brindmar: " + image +
             ": no payload found; an image made with Stealth can be found only with its code\n"},
        {extract,
         other,
         1,
         {},
         "brindmar: " + image +
             ": no document opens with this code: the picture carries none, or one made with "
             "another code; a picture changed since (re-saved, resized or edited) is one "
             "possibility too\n"},
        {extract, code, 0, "File Extraction " + done, {}},
        // Above the recommended rate a warning, and the embed goes on; a PNG is searched too.
        {largeEmbed + QStringList{"--stealth", "--format", "png"}, code, 0, done, warning},
        {{"extract", png, "-o", found, "-y"}, code, 0, done, {}},
        // A carrier with a plain payload under another code would give a stealth image away.
        {{"embed", carrier, dir.path(QStringLiteral("note.txt")), "-o", plain, "--encrypt"},
         code,
         0,
         done,
         {}},
        {{"embed", plain + "carrier.bmp", dir.path(QStringLiteral("note.txt")), "-o", out, "-y",
          "--stealth"},
         other,
         1,
         {},
         "brindmar: " + plain +
             "carrier.bmp: the image already carries a payload, which would give a Stealth image "
             "away: choose a carrier without one\n"},
    };
    for (const Row& row : rows) {
        const auto [status, said, err] = clitest::brindmarWithCode(row.args, row.code);
        const std::string line = row.args.join(u' ').toStdString();
        EXPECT_EQ(status, row.status) << line;
        EXPECT_TRUE(said.contains(row.inOut)) << line;
        EXPECT_EQ(err, row.err) << line;
    }
    QFile back(found + QStringLiteral("note.txt"));
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), QByteArray("meet at the old mill at nine"));
    QFile large(found + QStringLiteral("large.bin"));
    ASSERT_TRUE(large.open(QIODevice::ReadOnly));
    EXPECT_EQ(large.readAll(), QByteArray::fromStdString(largeDocument));
}

} // namespace
