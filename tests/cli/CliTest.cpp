// The brindmar program itself, run as a process: round trips, the exit statuses and messages of
// its failures, and images that pass between it and the window's workflows.
#include "CliFiles.h"
#include "WorkflowHarness.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace brindmar;
using clitest::contents;
using clitest::Files;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome brindmarRun(const QStringList& args, const QStringList& environment = {},
                    const std::function<void()>& inChild = {}) {
    QProcess process;
    if (inChild) {
        process.setChildProcessModifier(inChild);
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.remove(QStringLiteral("BRINDMAR_CODE"));
    for (const QString& setting : environment) {
        variables.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    }
    process.setProcessEnvironment(variables);
    process.setProgram(QStringLiteral(BRINDMAR_CLI));
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice()); // no terminal to ask
    process.start();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

struct TripCase {
    const char* name;
    QStringList embedOptions;
    QString code;
    bool compressible;
};

class CliRoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(CliRoundTrip, EmbedThenExtract) {
    const TripCase& c = GetParam();
    Files f(c.compressible);
    QStringList embed{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out};
    embed << c.embedOptions;
    QStringList extract{"extract", f.out + "carrier.bmp", "--out", f.found, "--quiet"};
    if (!c.code.isEmpty()) {
        embed << "--code" << c.code;
        extract << "--code" << c.code;
    }
    const Outcome made = brindmarRun(embed);
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    EXPECT_TRUE(made.out.startsWith("File Embedding processed successfully"));
    if (c.embedOptions.isEmpty()) { // no crop unless asked: the image keeps the carrier's size
        EXPECT_EQ(contents(f.out + "carrier.bmp").size(), contents(f.path("carrier.bmp")).size());
    }
    const Outcome back = brindmarRun(extract);
    ASSERT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_TRUE(back.out.isEmpty()); // quiet
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliRoundTrip,
    ::testing::Values(TripCase{"default keeps the size", {}, {}, true},
                      TripCase{"centre crop stored", {"--crop", "centre"}, {}, false},
                      TripCase{"strip by number with code", {"--crop", "12"}, "0123456789", true},
                      TripCase{"encrypted corner",
                               {"--crop", "right-bottom", "--encrypt"},
                               "abcdefghij0123456789",
                               true}),
    apptest::RowName());

// A command line with its exit status, a piece of what it says on stdout, and exactly what it
// says on stderr.
struct Row {
    QStringList args;
    QStringList environment;
    int status;
    QString inOut;
    QString err;
};

// A line that succeeds, saying inOut among other things and nothing on stderr.
Row ok(const QStringList& args, const QString& inOut = {}, const QStringList& environment = {}) {
    return {args, environment, 0, inOut, {}};
}

// A line that fails with status and says exactly one line of why; a usage error (2) adds the hint.
Row fails(int status, const QStringList& args, const QString& why,
          const QStringList& environment = {}) {
    const QString end = status == 2 ? "\nTry 'brindmar --help'.\n" : "\n";
    return {args, environment, status, {}, "brindmar: " + why + end};
}

const QString kCodeLength = QStringLiteral(
    "the code must be 10 to 20 characters long, blanks at its ends not counted; with --strong up "
    "to 256");
const QString kLatin1Only = QStringLiteral(
    "the code can hold only Latin-1 characters (English and Western European letters, digits and "
    "signs); with --strong it may be of any script");
const QString kReplacesCarrier =
    QStringLiteral(": the new image would replace the carrier itself; choose another --out folder");

// Runs the rows in order: a row may rely on what the rows before it made.
template <size_t N>
void expectRows(const Row (&rows)[N], const std::function<void()>& inChild = {}) {
    for (const Row& row : rows) {
        const Outcome r = brindmarRun(row.args, row.environment, inChild);
        const std::string line = row.args.join(' ').toStdString();
        EXPECT_EQ(r.status, row.status) << line;
        EXPECT_TRUE(r.out.contains(row.inOut)) << line << "\n" << r.out.toStdString();
        EXPECT_EQ(r.err, row.err) << line;
    }
}

// Each command line with its exit status, a piece of what it says on stdout, and exactly what it
// says on stderr ("<dir>" stands for the scratch folder).
TEST(CliLines, StatusStdoutAndStderr) {
    Files f;
    ASSERT_EQ(brindmarRun({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out,
                           "--code", "0123456789"})
                  .status,
              0);
    QFile::copy(f.path("carrier.bmp"), f.path("picture.png"));
    QFile::link(f.path("notes.txt"), f.path("link.txt"));
    f.dir.write(QStringLiteral("code.txt"), std::string("  0123456789  \nsecond line\n"));
    f.dir.write(QStringLiteral("-dash.bmp"), contents(f.path("carrier.bmp")).toStdString());
    const QString image = f.out + "carrier.bmp";
    const QStringList embed{"embed", f.path("carrier.bmp"), f.path("notes.txt")};
    const Row rows[] = {
        fails(1, {"extract", image, "-o", f.found, "-c", "9876543210"},
              image + ": this code does not open the document"),
        fails(1, embed + QStringList{"--out=" + f.out},
              "replace " + image +
                  ": not done; there is no terminal to ask, and --yes answers yes"),
        ok({"info", image, "--code-file", f.path("code.txt")}, "Payload: notes.txt"),
        ok({"info", image},
           "Code: stored in the image (not a protection against someone with this program)",
           {"BRINDMAR_CODE=0123456789"}),
        ok({"info", f.path("carrier.bmp")}, "Embed max.: 17898 bytes"),
        ok({"info", f.path("picture.png")}, "its name does not end in .bmp"),
        fails(1, {"extract", f.path("picture.png"), "-o", f.found},
              f.path("picture.png") +
                  ": is a BMP file, but its name does not end in .bmp; rename it to use it"),
        fails(1, {"info", f.path("notes.txt")}, f.path("notes.txt") + ": cannot be read"),
        fails(1, {"info", f.path("gone.bmp")}, f.path("gone.bmp") + ": No such file or directory"),
        fails(1, {"wipe", f.dir.folder()}, f.dir.folder() + ": Is a directory"),
        fails(1, {"wipe", "-y", f.path("link.txt")},
              f.path("link.txt") +
                  ": is a symbolic link; wipe the file it points to by its own path"),
        ok({"info", "--", f.path("-dash.bmp")}, "Carrier: usable"),
        fails(2, {"extract", f.path("carrier.bmp")}, "--out DIR is needed"),
        fails(2, {"embed", f.path("carrier.bmp"), "--crop", "diagonal"},
              "no crop is named 'diagonal'"),
        fails(2, {"frobnicate"}, "unknown command 'frobnicate'"),
        fails(2, {"info", image, "--bogus"}, "'--bogus' is not an option of info"),
        fails(2, {"info", image, "-c", "0123456789", "--code-file", "-"},
              "give the code one way only: --code, --code-file or --ask-code"),
        ok({"info", "--version", "x"}, "brindmar "),
        ok({"wipe", "x", "--help"}, "copy-on-write"),
        // A code is used as the header keeps it: never cut, collapsed or trimmed to too short.
        fails(2, embed + QStringList{"-o", f.out, "-c", "0123456789abcdefghijK"}, kCodeLength),
        fails(2, embed + QStringList{"-o", f.out, "-c", "         1"}, kCodeLength),
        fails(2, embed + QStringList{"-o", f.found}, kLatin1Only,
              {QStringLiteral("BRINDMAR_CODE=\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8"
                              "\u03b9\u03ba")}),
        fails(2, embed + QStringList{"-o", f.found, "--encrypt"},
              "--encrypt needs a code: without one nothing is encrypted"),
    };
    expectRows(rows);
    // The refused overwrite left the first image as it was: it still opens with its code.
    EXPECT_EQ(brindmarRun({"info", image, "--code", "0123456789"}).out.count("Payload: notes.txt"),
              1);
}

// Strong protection on the command line: codes longer than the window takes and in any script
// from the hidden sources, a sealed image that says nothing of itself, and wrong codes refused.
TEST(CliLines, StrongProtection) {
    Files f;
    const QString greek = QStringLiteral("BRINDMAR_CODE=\u03c0\u03bf\u03bb\u03cd \u03bc\u03b1"
                                         "\u03ba\u03c1\u03cd\u03c2 \u03ba\u03c9\u03b4\u03b9"
                                         "\u03ba\u03cc\u03c2 \u03b3\u03b9\u03b1 \u03c4\u03bf "
                                         "\u03b1\u03c1\u03c7\u03b5\u03af\u03bf");
    const QString image = f.out + "carrier.bmp";
    const QStringList embed{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out};
    const QStringList extract{"extract", image, "-o", f.found};
    // One code in the forms it arrives in: composed or not, with a no-break space, from a file
    // with a byte-order mark and CRLF; and the code files and arguments that give no code.
    const QString composed = QStringLiteral("été à Sète");
    f.dir.write(QStringLiteral("crlf"),
                std::string("\xEF\xBB\xBF") + composed.toUtf8().toStdString() + "\r\n");
    f.dir.write(QStringLiteral("decomposed"),
                composed.normalized(QString::NormalizationForm_D).toUtf8().toStdString() + "\n");
    f.dir.write(QStringLiteral("empty"), std::string("\nsecond line is no code\n"));
    f.dir.write(QStringLiteral("latin1"), std::string("\xe9t\xe9 \xe0 S\xe8te\n"));
    const QString kurz = QStringLiteral("κωδικός 12");
    const QString done = QStringLiteral("processed successfully");
    const QString empty = QStringLiteral("the code is empty; give a code, or none at all");
    const Row rows[] = {
        fails(2, embed + QStringList{"--strong"},
              "--strong needs a code: it is the only key to the document"),
        fails(2, embed + QStringList{"-c", "a code of twenty-one!"}, kCodeLength),
        ok(embed + QStringList{"--strong"}, "File Embedding " + done, {greek}),
        ok({"info", image}, "Payload: sealed with strong protection"),
        fails(1, extract,
              image + ": its document is sealed with strong protection; give its code with "
                      "--ask-code, --code-file or BRINDMAR_CODE"),
        fails(1, extract, image + ": this code does not open the document",
              {QStringLiteral("BRINDMAR_CODE=0123456789")}),
        ok(extract, done, {greek}),
    };
    expectRows(rows);
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
    const Row forms[] = {
        ok(embed + QStringList{"-y", "--strong", "--code-file", f.path("crlf")}, done),
        ok(extract + QStringList{"-y", "--code-file", f.path("decomposed")}, done),
        ok(extract + QStringList{"-y", "-c", composed + QChar(0x00A0)}, done),
        fails(2, extract + QStringList{"--code-file", f.path("latin1")},
              f.path("latin1") + ": the code is not UTF-8 text; save it as UTF-8"),
        fails(2, embed + QStringList{"-y", "-c", ""}, empty),
        fails(2, embed + QStringList{"-y", "--code-file", f.path("empty")}, empty),
        fails(2, embed + QStringList{"-y", "--encrypt", "-c", kurz}, kLatin1Only),
        ok(embed + QStringList{"-y", "--strong", "-c", kurz}, done),
        ok(extract + QStringList{"-y", "-c", kurz}, done),
    };
    expectRows(forms);
    const QString info = brindmarRun({"info", image}).out;
    EXPECT_FALSE(info.contains(u"notes")) << info.toStdString();
}

// A picture of another kind is a carrier too: converted alone, or on the way into an embed.
TEST(CliLines, PicturesOfOtherKindsBecomeCarriers) {
    Files f;
    QImage photo(64, 48, QImage::Format_ARGB32);
    photo.fill(QColor(30, 120, 200, 128));
    ASSERT_TRUE(photo.save(f.path("photo.png")));
    const Outcome converted = brindmarRun({"convert", f.path("photo.png"), "-o", f.found});
    EXPECT_EQ(converted.status, 0) << converted.err.toStdString();
    EXPECT_EQ(converted.out, f.path("photo.png") + " -> " + f.found + "photo.bmp\n");
    const Outcome made =
        brindmarRun({"embed", f.path("photo.png"), f.path("notes.txt"), "-o", f.out});
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(made.err, "brindmar: " + f.path("photo.png") +
                            ": converted into a BMP carrier in a private work folder; the new "
                            "image is " +
                            f.out + "photo.png\n");
    const Outcome back = brindmarRun({"extract", f.out + "photo.png", "-o", f.found, "-q"});
    EXPECT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
    // A BMP of a kind the engine cannot take (32 bits a pixel here) goes the same way.
    bmptest::Bytes deep(54 + 200 * 120 * 4, 0x80);
    std::copy_n("BM", 2, deep.begin());
    apptest::put32(deep, 2, uint32_t(deep.size()));
    apptest::put32(deep, 10, 54);
    apptest::put32(deep, 14, 40);
    apptest::put32(deep, 18, 200);
    apptest::put32(deep, 22, 120);
    apptest::put16(deep, 26, 1);
    apptest::put16(deep, 28, 32);
    apptest::put32(deep, 30, 0);
    apptest::put32(deep, 34, 200 * 120 * 4);
    bmptest::writeFile(f.path("deep.bmp").toStdString(), deep);
    EXPECT_TRUE(brindmarRun({"info", f.path("deep.bmp")})
                    .out.contains(
                        "Carrier: not usable as it is; converted when it is chosen as a carrier"));
    const Outcome deepMade =
        brindmarRun({"embed", f.path("deep.bmp"), f.path("notes.txt"), "-o", f.out});
    EXPECT_EQ(deepMade.status, 0) << deepMade.err.toStdString();
    EXPECT_EQ(brindmarRun({"convert", f.path("notes.txt"), "-o", f.found}).err,
              "brindmar: " + f.path("notes.txt") + ": is not a picture this program can read\n");
}

// A BMP the engine cannot take as it is (32 bits a pixel), which embed converts first.
bmptest::Bytes deepBmp(int32_t width, int32_t height) {
    bmptest::Bytes deep(54 + size_t(width * height) * 4, 0x80);
    std::copy_n("BM", 2, deep.begin());
    apptest::put32(deep, 2, uint32_t(deep.size()));
    apptest::put32(deep, 10, 54);
    apptest::put32(deep, 14, 40);
    apptest::put32(deep, 18, uint32_t(width));
    apptest::put32(deep, 22, uint32_t(height));
    apptest::put16(deep, 26, 1);
    apptest::put16(deep, 28, 32);
    apptest::put32(deep, 34, uint32_t(width * height * 4));
    return deep;
}

// A newcomer's lines: the output folder made, every file checked before a code is asked for,
// options as Unix users write them, success lines naming the file written, the three reasons an
// extraction finds nothing, and a converted carrier never replaced by its own image.
TEST(CliLines, NewcomersFirstHour) {
    Files f;
    const QString made = f.dir.folder() + "made/";
    const QString back = f.dir.folder() + "back/";
    const QString image = made + "carrier.bmp";
    QImage photo(64, 48, QImage::Format_RGB32);
    photo.fill(QColor(30, 120, 200));
    ASSERT_TRUE(photo.save(f.path("disguised.bmp"), "PNG"));
    bmptest::writeFile(f.path("deep.bmp").toStdString(), deepBmp(200, 120));
    const QByteArray deepBefore = contents(f.path("deep.bmp"));
    const QString carrier = f.path("carrier.bmp");
    const QString notes = f.path("notes.txt");
    const Row rows[] = {
        ok({"-q", "embed", carrier, notes, "-o", made}),
        ok({"embed", carrier, notes, "-o", made, "-yq", "--crop", "Center"}),
        ok({"-y", "embed", carrier, notes, "-o", made, "-c", "0123456789"},
           "File Embedding processed successfully: " + image + "\n"),
        fails(1, {"extract", image, "-o", back},
              image + ": its document needs a code; give it with --ask-code, --code-file, "
                      "BRINDMAR_CODE or --code"),
        ok({"extract", image, "-qo", back, "-c", "0123456789"}),
        ok({"extract", image, "-yo" + back, "-c0123456789"},
           "File Extraction processed successfully: " + back + "notes.txt\n"),
        fails(1, {"extract", carrier, "-o", back},
              carrier + ": no payload found; an image made with Stealth can be found only with "
                        "its code"),
        // Refused before the code would be asked for: no terminal question comes first.
        fails(1,
              {"embed", carrier, notes, "-o", f.dir.folder() + "missing/deeper", "--ask-code",
               "--encrypt"},
              f.dir.folder() + "missing/deeper: No such file or directory"),
        fails(1, {"extract", f.path("gone.bmp"), "-o", back, "--ask-code"},
              f.path("gone.bmp") + ": No such file or directory"),
        fails(2, {"info", image, "-qz"}, "unknown option '-z'"),
        fails(1, {"embed", f.path("deep.bmp"), notes, "-o", f.dir.folder(), "-y"},
              f.path("deep.bmp") + kReplacesCarrier),
        fails(1,
              {"embed", f.path("disguised.bmp"), notes, "-o", f.dir.folder(), "-y", "--format",
               "bmp"},
              f.path("disguised.bmp") + kReplacesCarrier),
    };
    expectRows(rows);
    EXPECT_EQ(contents(back + "notes.txt"), contents(notes));
    EXPECT_EQ(contents(f.path("deep.bmp")), deepBefore);
}

// --keep-times gives the new image the carrier's times to the nanosecond, odd seconds too.
TEST(CliLines, KeepTimesKeepsThemExactly) {
    Files f;
    const struct timespec times[2] = {{1700000001, 123456789}, {1600000003, 987654321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(f.path("carrier.bmp")).constData(), times, 0),
              0);
    const Outcome made = brindmarRun(
        {"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.out, "--keep-times"});
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    struct stat image {};
    ASSERT_EQ(::stat(QFile::encodeName(f.out + "carrier.bmp").constData(), &image), 0);
    EXPECT_EQ(image.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(image.st_mtim.tv_nsec, times[1].tv_nsec);
}

// A write the disk cuts short gives the system's reason, and a carrier converted on the way into
// an embed is named as the user's picture, not as its private work copy. A file size limit
// stands in for a full disk.
TEST(CliLines, CutShortWritesSayWhy) {
    Files f;
    QImage photo(200, 200, QImage::Format_RGB32);
    photo.fill(QColor(200, 20, 20));
    const QString big = f.path("big.png");
    ASSERT_TRUE(photo.save(big));
    const QString tooLarge = QStringLiteral(": could not be written: File too large");
    const Row rows[] = {
        fails(1, {"convert", big, "-o", f.found}, f.found + "big.bmp" + tooLarge),
        fails(1, {"embed", big, f.path("notes.txt"), "-o", f.out},
              big + " (its copy in a private work folder)" + tooLarge),
    };
    expectRows(rows, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { 20000, 20000 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
}

// A name that is not UTF-8 is refused in words by every command, never taken as its repaired
// look-alike; a name holding a line break cannot forge a line of its own.
TEST(CliLines, NamesAreNeitherReplacedNorForged) {
    Files f;
    const QByteArray folder = QFile::encodeName(f.dir.folder());
    const QByteArray names[] = {"caf\xe9.bmp", "caf\xef\xbf\xbd.bmp"}; // as given, as repaired
    for (const QByteArray& name : names) {
        const int fd = ::open((folder + name).constData(), O_CREAT | O_WRONLY, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::write(fd, "text", 4), 4);
        ::close(fd);
    }
    const QString refused = QStringLiteral(
        "brindmar: caf\\xe9.bmp: the name is not valid UTF-8 text, so it cannot be used as it "
        "is; rename it\n");
    for (const char* command :
         {"wipe -y", "info", "zip -y", "convert -o out", "embed -o out", "extract -o out"}) {
        // The shell hands the bytes over as they are, which a QString argument cannot.
        const QString line = QStringLiteral("cd \"$1\" && exec \"$0\" %1 \"$(printf "
                                            "'caf\\351.bmp')\" notes.txt")
                                 .arg(QLatin1String(command));
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {"-c", line, QStringLiteral(BRINDMAR_CLI), f.dir.folder()});
        shell.waitForFinished(60000);
        EXPECT_EQ(shell.exitCode(), 1) << command;
        EXPECT_EQ(QString::fromLocal8Bit(shell.readAllStandardError()), refused) << command;
    }
    for (const QByteArray& name : names) {
        struct stat info {};
        EXPECT_EQ(::stat((folder + name).constData(), &info), 0) << name.toStdString();
    }

    f.dir.write(QStringLiteral("a\nbrindmar: done.txt"), std::string("forged"));
    const Row rows[] = {
        fails(1, {"wipe", f.path("a\nbrindmar: done.txt")},
              "overwrite and delete " + f.dir.folder() +
                  "a\\nbrindmar: done.txt: not done; there is no terminal to ask, and --yes "
                  "answers yes"),
        ok({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "-o", f.dir.folder() + "out\n"},
           "File Embedding processed successfully: " + f.dir.folder() + "out\\n/carrier.bmp\n"),
    };
    expectRows(rows);
}

// A picture gives a PNG that extracts as it is and re-saved with the same pixels, the same
// inputs give the same bytes, --format chooses, and a PNG whose pixels changed says so.
TEST(CliLines, PngImagesOutAndIn) {
    Files f;
    QImage photo(160, 100, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            photo.setPixel(x, y, qRgb(x * 3 + y, (x * y) % 256, 255 - y * 2));
        }
    }
    ASSERT_TRUE(photo.save(f.path("photo.jpg"), "jpeg", 95));
    const QStringList code = {QStringLiteral("BRINDMAR_CODE=abcdefghij12")};
    const QStringList embed{"embed", f.path("photo.jpg"), f.path("notes.txt"), "-o", f.out, "-y",
                            "-q"};
    ASSERT_EQ(brindmarRun(embed, code).status, 0);
    const QByteArray png = contents(f.out + "photo.png");
    ASSERT_TRUE(png.startsWith("\x89PNG"));
    ASSERT_EQ(brindmarRun(embed, code).status, 0);
    EXPECT_EQ(contents(f.out + "photo.png"), png);
    ASSERT_EQ(brindmarRun(embed + QStringList{"--format", "bmp"}, code).status, 0);
    EXPECT_TRUE(contents(f.out + "photo.bmp").startsWith("BM"));
    EXPECT_EQ(QImage(f.out + "photo.bmp"), QImage(f.out + "photo.png"));

    QImage resaved(f.out + "photo.png");
    QImageWriter writer(f.path("resaved.png"), "png");
    writer.setQuality(0);
    writer.setText(QStringLiteral("Comment"), QStringLiteral("re-saved"));
    ASSERT_TRUE(writer.write(resaved));
    for (int y = 0; y < resaved.height(); ++y) {
        for (int x = 0; x < resaved.width(); ++x) {
            resaved.setPixel(x, y, resaved.pixel(x, y) & 0xFFF0F0F0);
        }
    }
    ASSERT_TRUE(resaved.save(f.path("changed.png")));
    const QString changed = f.path("changed.png");
    for (const QString& image : {f.out + "photo.png", f.path("resaved.png"), changed}) {
        SCOPED_TRACE(image.toStdString());
        QFile::remove(f.found + "notes.txt");
        const Outcome back = brindmarRun({"extract", image, "-o", f.found, "-q"}, code);
        const bool opens = image != changed;
        EXPECT_EQ(back.status, opens ? 0 : 1);
        EXPECT_EQ(back.err,
                  opens ? QString()
                        : "brindmar: " + changed +
                              ": no document opens with this code: the picture carries none, or "
                              "one made with another code; a picture changed since (re-saved, "
                              "resized or edited) is one possibility too\n");
        EXPECT_EQ(contents(f.found + "notes.txt"),
                  opens ? contents(f.path("notes.txt")) : QByteArray());
    }
    const Outcome info = brindmarRun({"info", f.out + "photo.png"}, code);
    EXPECT_EQ(info.status, 0);
    EXPECT_TRUE(info.out.startsWith("Image: a PNG, described by the BMP of its pixels\n"));
    EXPECT_TRUE(info.out.contains("\nPayload: notes.txt, ")) << info.out.toStdString();
    // The picture's own folder would give its own name back: refused, not replaced.
    ASSERT_TRUE(QFile::copy(f.out + "photo.png", f.path("again.png")));
    const Row rows[] = {
        fails(2, embed + QStringList{"--format", "gif"},
              "no image format is named 'gif' (bmp or png)"),
        fails(1, {"embed", f.path("again.png"), f.path("notes.txt"), "-o", f.dir.folder(), "-y"},
              f.path("again.png") + kReplacesCarrier, code),
    };
    expectRows(rows);
}

// One system, two front ends: what one makes, the other reads.
TEST(CliAndWindow, ImagesPassBetweenThem) {
    Files f;
    ASSERT_EQ(brindmarRun({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out,
                           "--code", "0123456789", "--encrypt"})
                  .status,
              0);
    apptest::Harness window;
    window.model.extractOutputFolder = f.found;
    ChangeCode(window.ctx, QStringLiteral("0123456789"));
    window.ui.queueFileChoice(f.out + "carrier.bmp");
    ChooseBmp(window.ctx);
    ExtractDocument(window.ctx);
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));

    apptest::Harness maker;
    const QString again = f.dir.folder() + QStringLiteral("again/");
    QDir().mkpath(again);
    maker.model.embedOutputFolder = again;
    maker.ui.queueFileChoice(f.path("notes.txt"));
    ChooseDocument(maker.ctx);
    maker.ui.queueFileChoice(f.path("carrier.bmp"));
    ChooseBmp(maker.ctx);
    EmbedDocument(maker.ctx);
    QFile::remove(f.found + "notes.txt");
    const Outcome back = brindmarRun({"extract", again + "carrier.bmp", "--out", f.found});
    EXPECT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
}

} // namespace
