#include "workflows/ZipTool.h"
#include "WorkflowHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <functional>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ToolCase {
    const char* name;
    // Prepares the folder and returns the file the user picks.
    std::function<QString(apptest::Harness&)> prepare;
    std::optional<MessageAnswer> answer;
    QStringList transcript; // "<folder>" stands for the scratch folder
    QStringList present;    // files in the folder afterwards, with their contents checked below
};

const std::string kText(4000, 't');

QString packed(apptest::Harness& h, const QString& name, const std::string& password = {}) {
    h.dir.write(QStringLiteral("source.txt"), kText);
    LibZipService zip;
    const QString archive = h.dir.path(name);
    zip.ZSCreateBlankZIPFile(archive);
    zip.ZSZipFiles(archive, h.dir.path(QStringLiteral("source.txt")), password);
    QFile::remove(h.dir.path(QStringLiteral("source.txt")));
    return archive;
}

class ZipTool : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ZipTool, PacksOrUnpacksBesideTheFile) {
    const ToolCase& c = GetParam();
    apptest::Harness h;
    h.ui.setSoundOn(true);
    const QString chosen = c.prepare(h);
    const QByteArray before = contents(chosen);
    h.ui.queueFileChoice(chosen);
    if (c.answer) {
        h.ui.queueAnswer(*c.answer);
    }
    RunZipTool(h.ctx);

    QStringList expected;
    for (const QString& line : c.transcript) {
        expected << QString(line).replace(QStringLiteral("<folder>"), h.dir.folder());
    }
    EXPECT_EQ(h.ui.transcript(), expected);
    EXPECT_EQ(h.model.zipFolder, h.dir.folder());
    EXPECT_EQ(contents(chosen), before); // the chosen file is never replaced
    for (const QString& name : c.present) {
        EXPECT_TRUE(QFileInfo::exists(h.dir.path(name))) << name.toStdString();
    }
    if (c.present.contains(QStringLiteral("source.txt"))) {
        EXPECT_EQ(contents(h.dir.path(QStringLiteral("source.txt"))),
                  QByteArray::fromStdString(kText));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ZipTool,
    ::testing::Values(
        ToolCase{"pack",
                 [](apptest::Harness& h) {
                     h.dir.write(QStringLiteral("notes.txt"), kText);
                     return h.dir.path(QStringLiteral("notes.txt"));
                 },
                 std::nullopt,
                 {"sound Success", "sound Attention",
                  "message Information|File ZIP / UnZIP|notes.txt zipped to directory:\n\n"
                  "<folder>"},
                 {"notes.zip"}},
        ToolCase{"no extension gets its own archive name",
                 [](apptest::Harness& h) {
                     h.dir.write(QStringLiteral("README"), kText);
                     return h.dir.path(QStringLiteral("README"));
                 },
                 std::nullopt,
                 {"sound Success", "sound Attention",
                  "message Information|File ZIP / UnZIP|README zipped to directory:\n\n"
                  "<folder>"},
                 {"README.zip"}},
        ToolCase{"existing archive kept on cancel",
                 [](apptest::Harness& h) {
                     h.dir.write(QStringLiteral("notes.txt"), kText);
                     h.dir.write(QStringLiteral("notes.zip"), std::string("mine"));
                     return h.dir.path(QStringLiteral("notes.txt"));
                 },
                 MessageAnswer::Cancel,
                 {"sound Attention",
                  "message Question|Confirm file overwrite|<folder>notes.zip\n - already exists,"
                  "\n\nOverwrite existing file ?"},
                 {"notes.zip", "notes.txt"}},
        ToolCase{"unpack",
                 [](apptest::Harness& h) { return packed(h, QStringLiteral("bundle.zip")); },
                 std::nullopt,
                 {"sound Success",
                  "message Information|File ZIP / UnZIP|<folder>bundle.zip\n\nEnd Unzip function"},
                 {"source.txt"}},
        ToolCase{
            "encrypted archive refused",
            [](apptest::Harness& h) { return packed(h, QStringLiteral("locked.zip"), "secret"); },
            std::nullopt,
            {"sound Error", "message Exclamation|ZIP / UnZIP Error|Error during unzipping of:\n\n"
                            "<folder>locked.zip\n\nFile omitted as locked (11)"},
            {}}),
    apptest::RowName());

TEST(ZipToolArchive, NamedAfterTheBaseNameOrTheWholeName) {
    EXPECT_EQ(zipToolArchivePath("/d/notes.txt"), "/d/notes.zip");
    EXPECT_EQ(zipToolArchivePath("/d/archive.tar.gz"), "/d/archive.tar.zip");
    EXPECT_EQ(zipToolArchivePath("/d/README"), "/d/README.zip");
    EXPECT_EQ(zipToolArchivePath("/d/.profile"), "/d/.profile.zip");
    EXPECT_EQ(zipToolArchivePath("/d/plain.zip"), "/d/plain.zip.zip"); // never over itself
}

// The old file of the archive's name stays until the new archive is complete, and a link there
// is replaced rather than written through.
TEST(ZipToolArchive, AFailedPackOrALinkLeavesTheUsersFilesAlone) {
    for (const bool viaLink : {false, true}) {
        apptest::Harness h;
        h.dir.write(QStringLiteral("notes.txt"), kText);
        h.dir.write(QStringLiteral("victim"), std::string("mine"));
        const QString archive = h.dir.path(QStringLiteral("notes.zip"));
        if (viaLink) {
            ASSERT_TRUE(QFile::link(h.dir.path(QStringLiteral("victim")), archive));
        } else {
            QFile::copy(h.dir.path(QStringLiteral("victim")), archive);
            h.zip.failWith(brindmar::testing::FakeZipService::Operation::ZipFiles, kZipDiskFull);
        }
        h.ui.queueFileChoice(h.dir.path(QStringLiteral("notes.txt")));
        h.ui.queueAnswer(MessageAnswer::Ok);
        RunZipTool(h.ctx);
        EXPECT_EQ(contents(h.dir.path(QStringLiteral("victim"))), "mine");
        EXPECT_EQ(QFileInfo(archive).isSymLink(), false) << viaLink;
        EXPECT_EQ(contents(archive).startsWith("PK"), viaLink);
        EXPECT_EQ(QDir(h.dir.folder()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }
}

} // namespace
