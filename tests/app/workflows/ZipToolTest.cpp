#include "workflows/ZipTool.h"
#include "Unprivileged.h"
#include "WorkflowHarness.h"
#include "payload/CarrierFile.h"
#include "util/ReplacementFile.h"
#include "util/WorkFolders.h"
#include "workflows/ZipUnpacking.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    QStringList absent = {};
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
    CarrierFile::failNthRead(0, 0);

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
    for (const QString& name : c.absent) {
        EXPECT_FALSE(QFileInfo::exists(h.dir.path(name))) << name.toStdString();
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
            {}},
        ToolCase{"an archive that cannot be read is neither packed nor unpacked",
                 [](apptest::Harness& h) {
                     const QString archive = packed(h, QStringLiteral("arch.zip"));
                     CarrierFile::failNthRead(1, EIO);
                     return archive;
                 },
                 std::nullopt,
                 {"sound Error",
                  "message Exclamation|ZIP / UnZIP Error|Error during unzipping of:\n\n"
                  "<folder>arch.zip\n\n<folder>arch.zip - cannot be read: Input/output error"},
                 {},
                 {"arch.zip.zip", "source.txt"}}),
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

// An archive of two members, a.txt and b.txt, beside which the user's folder holds what the row
// puts there. Each member that would replace a name is asked about; the members come out all
// or none, and nothing of the unpacking stays behind.
struct MemberCase {
    const char* name;
    std::function<void(apptest::Harness&)> prepare;
    std::vector<MessageAnswer> answers;
    int questions;
    bool unpacked;
    QString failureNames; // a file the failure message names, or empty
};

class ZipToolMembers : public ::testing::TestWithParam<MemberCase> {};

TEST_P(ZipToolMembers, AskedForEachAndUnpackedAllOrNone) {
    const MemberCase& c = GetParam();
    apptest::Harness h;
    const QString archive = h.dir.path(QStringLiteral("pair.zip"));
    {
        apptest::ScratchDir source;
        source.write(QStringLiteral("a.txt"), std::string("member a"));
        source.write(QStringLiteral("b.txt"), std::string("member b"));
        LibZipService zip;
        ASSERT_EQ(zip.ZSCreateBlankZIPFile(archive), kZipTrue);
        ASSERT_EQ(zip.ZSZipFiles(archive, source.path(QStringLiteral("a.txt")), {}), 0);
        ASSERT_EQ(zip.ZSZipFiles(archive, source.path(QStringLiteral("b.txt")), {}), 0);
    }
    c.prepare(h);
    const QStringList before =
        QDir(h.dir.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    h.ui.queueFileChoice(archive);
    for (const MessageAnswer answer : c.answers) {
        h.ui.queueAnswer(answer);
    }
    RunZipTool(h.ctx);

    int questions = 0;
    QString failure;
    for (const Message& m : h.ui.messages()) {
        questions += m.title == QStringLiteral("Confirm file overwrite") ? 1 : 0;
        if (m.title == QStringLiteral("ZIP / UnZIP Error")) {
            failure = m.text;
        }
    }
    EXPECT_EQ(questions, c.questions);
    if (c.unpacked) {
        EXPECT_EQ(contents(h.dir.path(QStringLiteral("a.txt"))), "member a");
        EXPECT_EQ(contents(h.dir.path(QStringLiteral("b.txt"))), "member b");
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    } else {
        // What was there before is all there is, as it was.
        EXPECT_EQ(
            QDir(h.dir.folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            before);
        EXPECT_NE(contents(h.dir.path(QStringLiteral("a.txt"))), "member a");
    }
    if (!c.failureNames.isEmpty()) {
        EXPECT_TRUE(failure.contains(h.dir.path(c.failureNames))) << failure.toStdString();
    }
    EXPECT_EQ(QDir(h.dir.folder())
                  .entryList({QStringLiteral(".brindmar-*")}, QDir::AllEntries | QDir::Hidden),
              QStringList());
}

void mine(apptest::Harness& h, const char* name) {
    h.dir.write(QString::fromLatin1(name), std::string("mine"));
}

INSTANTIATE_TEST_SUITE_P(
    Members, ZipToolMembers,
    ::testing::Values(MemberCase{"no member exists", [](apptest::Harness&) {}, {}, 0, true, {}},
                      MemberCase{"both replaced when agreed",
                                 [](apptest::Harness& h) {
                                     mine(h, "a.txt");
                                     mine(h, "b.txt");
                                 },
                                 {MessageAnswer::Ok, MessageAnswer::Ok},
                                 2,
                                 true,
                                 {}},
                      MemberCase{"one kept keeps all",
                                 [](apptest::Harness& h) {
                                     mine(h, "a.txt");
                                     mine(h, "b.txt");
                                 },
                                 {MessageAnswer::Ok, MessageAnswer::Cancel},
                                 2,
                                 false,
                                 {}},
                      MemberCase{"a dangling link is asked about",
                                 [](apptest::Harness& h) {
                                     ASSERT_TRUE(QFile::link(h.dir.path(QStringLiteral("gone")),
                                                             h.dir.path(QStringLiteral("b.txt"))));
                                 },
                                 {MessageAnswer::Cancel},
                                 1,
                                 false,
                                 {}},
                      MemberCase{"a later member that cannot go in takes the earlier ones back",
                                 [](apptest::Harness& h) {
                                     ASSERT_TRUE(
                                         QDir().mkpath(h.dir.path(QStringLiteral("b.txt/inside"))));
                                 },
                                 {},
                                 0,
                                 false,
                                 QStringLiteral("b.txt")},
                      MemberCase{"a replaced member comes back when a later one fails",
                                 [](apptest::Harness& h) {
                                     mine(h, "a.txt");
                                     ASSERT_TRUE(
                                         QDir().mkpath(h.dir.path(QStringLiteral("b.txt/inside"))));
                                 },
                                 {MessageAnswer::Ok},
                                 1,
                                 false,
                                 QStringLiteral("b.txt")}),
    apptest::RowName());

// A replaced archive keeps its mode, and a new archive of a private file is private.
TEST(ZipToolArchive, KeepsPrivacy) {
    for (const bool existed : {false, true}) {
        apptest::Harness h;
        h.dir.write(QStringLiteral("notes.txt"), kText);
        const QString document = h.dir.path(QStringLiteral("notes.txt"));
        const QString archive = h.dir.path(QStringLiteral("notes.zip"));
        QFile::setPermissions(document, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (existed) {
            h.dir.write(QStringLiteral("notes.zip"), std::string("old"));
            QFile::setPermissions(archive, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup);
            h.ui.queueAnswer(MessageAnswer::Ok);
        }
        h.ui.queueFileChoice(document);
        RunZipTool(h.ctx);
        EXPECT_TRUE(contents(archive).startsWith("PK")) << existed;
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(archive).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, existed ? 0640u : 0600u) << existed;
    }
}

// A private document packed and unpacked again is as private as it was.
TEST(ZipToolArchive, ARoundTripKeepsTheDocumentsMode) {
    apptest::Harness h;
    h.dir.write(QStringLiteral("notes.txt"), kText);
    const QString document = h.dir.path(QStringLiteral("notes.txt"));
    QFile::setPermissions(document, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    h.ui.queueFileChoice(document);
    RunZipTool(h.ctx);
    ASSERT_TRUE(QFile::remove(document));
    h.ui.queueFileChoice(h.dir.path(QStringLiteral("notes.zip")));
    RunZipTool(h.ctx);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(document).constData(), &info), 0)
        << h.ui.transcript().join(u'\n').toStdString();
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

} // namespace

namespace {

QStringList everything(const QString& folder) {
    QStringList found;
    QDirIterator walk(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        found << QDir(folder).relativeFilePath(path) + u'=' + QString::fromLatin1(contents(path));
    }
    found.sort();
    return found;
}

// An unpacking killed before its k-th move into the user's folder. The next run in that folder,
// or the next start if no run writes there, puts everything back as it was: the user's files as
// they were, none of the archive's, and no staging folder with its plaintext.
TEST(ZipUnpacking, AKilledSwapIsUndoneByTheNextRun) {
    for (const bool nextStart : {false, true}) {
        for (int k = 1; k <= 3; ++k) {
            apptest::ScratchDir user;
            apptest::ScratchDir shared;
            user.write(QStringLiteral("a.txt"), std::string("the user's a"));
            const QStringList before = everything(user.folder());
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                UnpackingFolder staging(user.folder(), claimRunFolder(shared.folder()));
                QDir().mkpath(staging.path() + QStringLiteral("sub"));
                for (const char* name : {"a.txt", "b.txt", "sub/c.txt"}) {
                    QFile member(staging.path() + QLatin1String(name));
                    member.open(QIODevice::WriteOnly);
                    member.write(QByteArray("archive's ") + name);
                }
                agreeToReplace(user.path(QStringLiteral("a.txt")));
                int moves = 0;
                ReplacementFile::seams().beforePlacing = [&moves, k] {
                    if (++moves == k) {
                        ::_exit(0); // killed, its locks dropped with it
                    }
                };
                QStringList members;
                QString unread;
                staging.members(members, unread);
                QString refused;
                staging.moveIn(user.folder(), members, refused);
                ::_exit(moves < k ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            if (nextStart) {
                releaseRunFolder(claimRunFolder(shared.folder())); // as the next start does
            } else {
                ReplacementFile next(user.path(QStringLiteral("other.bmp")));
            }
            EXPECT_EQ(everything(user.folder()), before) << "killed before move " << k;
        }
    }
}

// A folder of what was unpacked that cannot be read fails the unpacking: it is not one folder
// less. Unprivileged, since permissions do not stop root.
TEST(ZipUnpacking, AFolderThatCannotBeReadIsNoFolderToSkip) {
    testsupport::runUnprivileged([] {
        apptest::ScratchDir user;
        UnpackingFolder staging(user.folder(), {});
        ASSERT_TRUE(QDir().mkpath(staging.path() + QStringLiteral("sub")));
        ::chmod(QFile::encodeName(staging.path() + QStringLiteral("sub")).constData(), 0);
        QStringList members;
        QString unread;
        EXPECT_EQ(staging.members(members, unread), EACCES);
        EXPECT_EQ(unread, staging.path() + QStringLiteral("sub/"));
        ::chmod(QFile::encodeName(staging.path() + QStringLiteral("sub")).constData(), 0700);
    });
}

} // namespace
