// The brindmar program itself, run as a process: round trips, the exit statuses and messages of
// its failures, and images that pass between it and the window's workflows.
#include "WorkflowHarness.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

Outcome brindmarRun(const QStringList& args) {
    QProcess process;
    process.setProgram(QStringLiteral(BRINDMAR_CLI));
    process.setArguments(args);
    process.setStandardInputFile(QProcess::nullDevice()); // no terminal to ask
    process.start();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Files {
    apptest::ScratchDir dir;
    QString out = dir.folder() + QStringLiteral("out/");
    QString found = dir.folder() + QStringLiteral("found/");

    explicit Files(bool compressible = true) {
        QDir().mkpath(out);
        QDir().mkpath(found);
        std::mt19937 random(3);
        std::string document(4000, 'a');
        for (char& c : document) {
            c = compressible ? "abcd "[random() % 5] : static_cast<char>(random());
        }
        dir.write(QStringLiteral("notes.txt"), document);
        bmptest::Bytes pixels(200 * 120 * 3);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(200, 120, pixels));
    }
    QString path(const char* name) const { return dir.path(QString::fromLatin1(name)); }
};

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
    EXPECT_TRUE(made.out.contains("File Embedding processed successfully"));
    const Outcome back = brindmarRun(extract);
    ASSERT_EQ(back.status, 0) << back.err.toStdString();
    EXPECT_TRUE(back.out.isEmpty()); // quiet
    EXPECT_EQ(contents(f.found + "notes.txt"), contents(f.path("notes.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliRoundTrip,
    ::testing::Values(TripCase{"default crop compressed", {}, {}, true},
                      TripCase{"whole image stored", {"--crop", "none"}, {}, false},
                      TripCase{"strip by number with code", {"--crop", "12"}, "0123456789", true},
                      TripCase{"encrypted corner", {"--crop", "right-bottom", "--encrypt"},
                               "abcdefghij0123456789", true}),
    apptest::RowName());

TEST(CliFailures, StatusesAndMessages) {
    Files f;
    ASSERT_EQ(brindmarRun({"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out,
                           "--code", "0123456789"})
                  .status,
              0);
    struct Row {
        QStringList args;
        int status;
        QString inError;
    };
    const Row rows[] = {
        {{"extract", f.out + "carrier.bmp", "--out", f.found, "--code", "9876543210"}, 1,
         "no payload opens with this code"},
        {{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out}, 1,
         "Answered no: there is no terminal to ask"},
        {{"info", f.path("notes.txt")}, 1, " - cannot be read"},
        {{"extract", f.path("carrier.bmp")}, 2, "--out DIR is needed"},
        {{"embed", f.path("carrier.bmp"), "--crop", "diagonal"}, 2, "no crop is named"},
        {{"frobnicate"}, 2, "unknown command"},
        {{"wipe", f.dir.folder()}, 1, " - cannot be opened"},
        // A code is used as the header keeps it: never cut, collapsed or trimmed to too short.
        {{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out, "--code",
          "0123456789abcdefghijK"},
         2, "10 to 20 characters"},
        {{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out, "--code",
          "         1"},
         2, "10 to 20 characters"},
        {{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.out, "--code",
          QStringLiteral("\u03b1\u03b2\u03b3\u03b4\u03b5\u03b6\u03b7\u03b8\u03b9\u03ba")},
         2, "Latin-1"},
        {{"embed", f.path("carrier.bmp"), f.path("notes.txt"), "--out", f.found, "--encrypt"}, 2,
         "--encrypt needs --code"},
    };
    for (const Row& row : rows) {
        const Outcome r = brindmarRun(row.args);
        EXPECT_EQ(r.status, row.status) << row.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(row.inError)) << r.err.toStdString();
    }
    // The refused overwrite left the first image as it was: it still opens with its code.
    EXPECT_EQ(brindmarRun({"info", f.out + "carrier.bmp", "--code", "0123456789"}).out.count(
                  "Payload: notes.txt"),
              1);
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
    CodeTxt_Change(window.ctx, QStringLiteral("0123456789"));
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
