// What brindmar says of what it did, run as a process: each row's exit status and the words it
// must (and must not) say, on the stream it must say them on.
#include "AppTestSupport.h"
#include "BmpBuilder.h"
#include "CliFiles.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>
#include <random>

namespace {

struct Row {
    QStringList args;
    QString code; // BRINDMAR_CODE, none when empty
    int status;
    QString out; // contained in stdout
    QString err; // contained in stderr; stderr empty when this is
};

// A 24-bit BMP with the 124-byte header image editors write: the pixels a usual one would hold.
std::string v5Bmp(int32_t width, int32_t height, std::mt19937& random) {
    std::string usual;
    {
        bmptest::Bytes pixels(size_t(width * height * 3));
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        const bmptest::Bytes bytes = bmptest::make24(width, height, pixels);
        usual.assign(bytes.begin(), bytes.end());
    }
    std::string v5 = usual.substr(0, 54) + std::string(124 - 40, '\0') + usual.substr(54);
    const auto put = [&v5](size_t at, uint32_t value) {
        for (size_t i = 0; i < 4; ++i) {
            v5[at + i] = static_cast<char>((value >> (8 * i)) & 0xff);
        }
    };
    put(2, static_cast<uint32_t>(v5.size()));
    put(10, 14 + 124);
    put(14, 124);
    return v5;
}

TEST(CliWords, SayWhatHappened) {
    apptest::ScratchDir dir;
    const QString out = dir.folder() + QStringLiteral("out/");
    const QString found = dir.folder() + QStringLiteral("found/");
    ASSERT_TRUE(QDir().mkpath(out) && QDir().mkpath(found) && QDir().mkpath(dir.path("z")));
    std::mt19937 random(36);
    bmptest::Bytes pixels(400 * 300 * 3);
    for (uint8_t& b : pixels) {
        b = static_cast<uint8_t>(random());
    }
    dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(400, 300, pixels));
    dir.write(QStringLiteral("v5.bmp"), v5Bmp(120, 90, random));
    const std::string note = "meet at the old mill at nine";
    dir.write(QStringLiteral("note.txt"), note);
    dir.write(QStringLiteral("z/list.txt"), std::string("one\ntwo\n"));

    const QString carrier = dir.path(QStringLiteral("carrier.bmp"));
    const QString document = dir.path(QStringLiteral("note.txt"));
    const QString strong = out + QStringLiteral("carrier.bmp");
    const QString stealth = out + QStringLiteral("carrier.png");
    const QString v5 = dir.path(QStringLiteral("v5.bmp"));
    const QString list = dir.path(QStringLiteral("z/list.txt"));
    const QString code = QStringLiteral("Correct Horse 12");
    const QString usage = QStringLiteral("give the code one way only: BRINDMAR_CODE is set");
    const QString size = QString::number(note.size()) + QStringLiteral(" bytes, ");
    const QString jpeg = QStringLiteral(BRINDMAR_TEST_DATA "/holiday.jpg");
    const QString stealthJpeg = out + QStringLiteral("holiday.jpg");
    const QStringList embed{"embed", carrier, document, "-o", out, "-y"};
    const Row rows[] = {
        // The code given two ways is refused, whichever option is the second.
        {{"info", carrier, "-c", code}, code, 2, {}, usage},
        {{"info", carrier, "--ask-code"}, code, 2, {}, usage},
        {{"info", carrier, "--code-file", document}, code, 2, {}, usage},
        // With its code, info names the document that extract would give back.
        {embed + QStringList{"--strong"}, code, 0, "processed successfully", {}},
        {{"info", strong},
         code,
         0,
         "Payload: note.txt, " + size + "sealed with strong protection",
         {}},
        {{"info", strong}, {}, 0, "Payload: sealed with strong protection", {}},
        {embed + QStringList{"--stealth", "--format", "png"}, code, 0, "processed", {}},
        {{"info", stealth}, code, 0, "Payload: note.txt, " + size + "carried with Stealth", {}},
        {{"info", stealth}, "Correct Horse 13", 0, "Payload: no document opens with this code", {}},
        // A changed picture is one possibility, never a verdict.
        {{"extract", stealth, "-o", found},
         "Correct Horse 13",
         1,
         {},
         "no document opens with this code: the picture carries none, or one made with another "
         "code; a picture changed since (re-saved, resized or edited) is one possibility too"},
        // Under Stealth a JPEG stays a JPEG, its rate told in its own unit.
        {{"embed", jpeg, document, "-o", out, "-y", "--stealth", "--strip-metadata"},
         code,
         0,
         "processed successfully: " + stealthJpeg,
         "bits per non-zero AC coefficient of the JPEG"},
        {{"info", stealthJpeg}, code, 0, "Stealth in the JPEG: Embed max. ", {}},
        {{"info", stealthJpeg}, code, 0, "Payload: note.txt, " + size + "carried with Stealth", {}},
        {{"extract", stealthJpeg, "-o", found},
         "Correct Horse 13",
         1,
         {},
         "no document opens with this code"},
        {{"info", jpeg}, {}, 0, "Image: a JPEG, described by the BMP of its pixels\n", {}},
        {{"info", jpeg}, {}, 0, "Carrier: usable\n", {}},
        // The archive and every file written are named.
        {{"zip", list}, {}, 0, "Zipped " + list + " into " + dir.path("z/list.zip"), {}},
        // Asked again with no terminal to answer, the question still names what it would replace.
        {{"zip", list},
         {},
         1,
         {},
         "replace " + dir.path("z/list.zip") +
             ": not done; there is no terminal to ask, and --yes answers yes"},
        {{"zip", dir.path("z/list.zip"), "-y"},
         {},
         0,
         "Unzipped " + dir.path("z/list.zip") + ": " + list,
         {}},
        {{"info", carrier, strong}, {}, 2, {}, "one file is needed, 2 were given"},
        {{"embed", carrier, document, v5, "-o", out},
         {},
         2,
         {},
         "two files are needed, 3 were given"},
        {{"convert", "-o", out}, {}, 2, {}, "at least one file is needed\n"},
        // A BMP embed converts is a note on stdout that says which kind and why, not an error.
        {{"embed", v5, document, "-o", out, "-y"},
         {},
         0,
         "Note: " + v5 +
             " is a 24-bit BMP with a V5 header (124 bytes); embedding reads the usual 40-byte "
             "header only",
         {}},
    };
    for (const Row& row : rows) {
        const auto [status, said, err] = clitest::brindmarWithCode(row.args, row.code);
        const std::string line = row.args.join(u' ').toStdString();
        EXPECT_EQ(status, row.status) << line << "\n" << err.toStdString();
        EXPECT_TRUE(said.contains(row.out)) << line << "\n" << said.toStdString();
        EXPECT_TRUE(row.err.isEmpty() ? err.isEmpty() : err.contains(row.err)) << line << "\n"
                                                                               << err.toStdString();
        EXPECT_FALSE((said + err).contains(QStringLiteral("is lost"))) << line;
    }
}

} // namespace
