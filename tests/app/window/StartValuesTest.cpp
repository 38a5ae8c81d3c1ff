#include "util/PathHelpers.h"
#include "util/ProgramFolders.h"
#include "window/WindowPlacement.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace brindmar;

namespace {

struct PlacementCase {
    const char* name;
    TwipsPoint stored;
    TwipsPoint expected;
};

// A 1024 x 768 screen at 15 twips per pixel; the window of 8205 x 5115 twips.
constexpr TwipsSize kScreen{15360, 11520};
constexpr TwipsSize kWindow{kMainWindowWidthTwips, kMainWindowHeightTwips};
constexpr TwipsPoint kCentre{(15360 - 8205) / 2, (11520 - 5115) / 2};

class Placement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(Placement, KeepsTheWindowMostlyOnTheScreen) {
    const PlacementCase& c = GetParam();
    const TwipsPoint at = placeWindow(c.stored, kWindow, kScreen);
    EXPECT_EQ(at.x, c.expected.x) << c.name;
    EXPECT_EQ(at.y, c.expected.y) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Placement,
    ::testing::Values(PlacementCase{"first start", {0, 0}, kCentre},
                      PlacementCase{"stored position", {1500, 900}, {1500, 900}},
                      PlacementCase{"half off to the left is kept", {-2000, 900}, {-2000, 900}},
                      PlacementCase{"just within half", {-4102, 900}, {-4102, 900}},
                      PlacementCase{"beyond half to the left", {-5000, 900}, {0, 900}},
                      PlacementCase{"beyond half left, top 0: centred", {-5000, 0}, kCentre},
                      PlacementCase{"beyond the right edge", {15360 - 4102 + 1, 600}, {0, 600}},
                      PlacementCase{"at the right limit", {15360 - 4102, 600}, {15360 - 4102, 600}},
                      PlacementCase{"below the screen", {300, 11520 - 2557 + 1}, {300, 0}},
                      PlacementCase{"above the screen", {300, -2558}, {300, 0}},
                      PlacementCase{"both off: centred", {-90000, 90000}, kCentre}),
    [](const auto& param) { return std::to_string(param.index); });

TEST(Placement, TwipsFollowTheLogicalDpi) {
    EXPECT_DOUBLE_EQ(twipsPerPixel(96), 15);
    EXPECT_DOUBLE_EQ(twipsPerPixel(120), 12);
    EXPECT_DOUBLE_EQ(twipsPerPixel(144), 10);
}

TEST(ProgramFolder, ProperCasedWithTheProductSpelling) {
    const auto always = [](const QString&) { return true; };
    struct Case {
        const char* start;
        const char* folder;
    };
    for (const Case c :
         {Case{"/opt/brindmar", "/Opt/BrindMar/"},
          Case{"  /usr/local/brindmar  ", "/Usr/Local/BrindMar/"},
          Case{"/opt/my apps/brindmar2", "/Opt/My Apps/Brindmar2/"},
          Case{"/OPT/BRINDMAR", "/Opt/BrindMar/"}, Case{"/brindmar", "/Brindmar/"},
          Case{"/x/Brindmarx", "/X/Brindmarx/"}, Case{"/opt/été/bin", "/Opt/été/Bin/"}}) {
        EXPECT_EQ(programFolderFrom(QString::fromUtf8(c.start), always),
                  QString::fromUtf8(c.folder))
            << c.start;
    }
    // Nine characters are not enough for the rule: "/Brindmar/" alone is ten.
    EXPECT_EQ(withProductFolderSpelling("/Brindmar/"), "/Brindmar/");
    EXPECT_EQ(withProductFolderSpelling("x/Brindmar/"), "x/BrindMar/");
}

TEST(ProgramFolder, KeepsTheRealSpellingWhereCaseMatters) {
    QTemporaryDir dir;
    const QString start = dir.path() + QStringLiteral("/brindmar");
    ASSERT_TRUE(QDir().mkpath(start));
    // The proper-cased path names no folder on a case-sensitive file system.
    EXPECT_EQ(programFolderFrom(start), start + u'/');
}

TEST(OutputFolder, OutputUnderTheProgramFolderIsCreated) {
    QTemporaryDir dir;
    const QString program = dir.path() + u'/';
    EXPECT_EQ(defaultEmbedOutputFolder(program, "Output", dir.filePath("data")),
              program + "Output/");
    EXPECT_TRUE(QFileInfo(program + "Output").isDir());
    // An existing one is taken as it is.
    EXPECT_EQ(defaultEmbedOutputFolder(program, "Output", dir.filePath("data")),
              program + "Output/");
}

TEST(OutputFolder, ProgramFolderWhenOutputCannotBeMade) {
    QTemporaryDir dir;
    const QString program = dir.path() + u'/';
    QFile blocker(program + "Output");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder would go
    blocker.close();
    EXPECT_EQ(defaultEmbedOutputFolder(program, "Output", dir.filePath("data")), program);
}

// An installed program never writes beside itself: its default output is the user's, and is made
// only when the first file goes into it.
TEST(OutputFolder, AnInstalledProgramWritesToTheUsersFolders) {
    QTemporaryDir dir;
    const QString data = dir.path() + "/data/BrindMar/";
    const QString pictures = dir.path() + "/Pictures";
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where a folder would have to go
    blocker.close();
    struct Row {
        const char* why;
        QString program;
        QString pictures;
        QString expected;
    };
    const std::vector<Row> rows = {
        {"cannot be written", dir.path() + "/no/such/program/", pictures, pictures + "/BrindMar/"},
        {"under /usr", "/usr/bin/", pictures, pictures + "/BrindMar/"},
        {"under /opt", "/opt/brindmar/", pictures, pictures + "/BrindMar/"},
        {"no pictures folder", "/usr/local/bin/", QString(), data + "Output/"},
        {"pictures folder cannot be made", "/usr/bin/", dir.path() + "/file/Pictures",
         data + "Output/"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(defaultEmbedOutputFolder(row.program, "Output", data, row.pictures), row.expected)
            << row.why;
        EXPECT_FALSE(QFileInfo::exists(row.expected)) << row.why;
        EXPECT_FALSE(QFileInfo(row.program + "Output").exists()) << row.why;
    }
    for (const Row& row : rows) {
        EXPECT_TRUE(makeOutputFolder(row.expected)) << row.why;
        EXPECT_TRUE(QFileInfo(row.expected).isDir()) << row.why;
    }
    EXPECT_FALSE(makeOutputFolder(dir.path() + "/file/Pictures/BrindMar/"));
    EXPECT_TRUE(isSystemFolder("/usr/bin"));
    EXPECT_FALSE(isSystemFolder(dir.path()));
}

// The engine and the data are found beside the program in the build tree, and in the private
// library folder and the shared data folder once installed.
TEST(ProgramFiles, BesideTheProgramElseWhereTheyAreInstalled) {
    QTemporaryDir dir;
    const QString prefix = dir.path() + u'/';
    struct Row {
        const char* why;
        std::vector<const char*> files;
        QString engine;
        QString help;
        QString sound;
    };
    const std::vector<Row> rows = {
        {"build tree",
         {"bin/libvokbfn1.so", "bin/help/index.html", "bin/error.wav"},
         prefix + "bin/",
         prefix + "bin/help",
         prefix + "bin/error.wav"},
        {"installed",
         {"lib/brindmar/engine/libvokbfn1.so", "share/brindmar/help/index.html",
          "share/brindmar/error.wav"},
         prefix + "lib/brindmar/engine/",
         prefix + "share/brindmar/help",
         prefix + "share/brindmar/error.wav"},
        {"each file where it is found",
         {"bin/error.wav", "share/brindmar/help/index.html"},
         prefix + "lib/brindmar/engine/",
         prefix + "share/brindmar/help",
         prefix + "bin/error.wav"},
        {"nothing yet: where it belongs once installed",
         {},
         prefix + "lib/brindmar/engine/",
         prefix + "share/brindmar/help",
         prefix + "share/brindmar/error.wav"},
    };
    for (const Row& row : rows) {
        QDir(prefix).removeRecursively();
        for (const char* file : row.files) {
            const QString path = prefix + QString::fromUtf8(file);
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
            QFile made(path);
            ASSERT_TRUE(made.open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(engineFolder(prefix + "bin/"), row.engine) << row.why;
        EXPECT_EQ(dataEntry(prefix + "bin", "help"), row.help) << row.why;
        EXPECT_EQ(dataEntry(prefix + "bin/", "error.wav"), row.sound) << row.why;
    }
}

TEST(OutputFolder, StoredFoldersAreKeptWhileTheyExist) {
    QTemporaryDir dir;
    EXPECT_EQ(existingFolderOr(dir.path() + u'/', "fallback"), dir.path() + u'/');
    EXPECT_EQ(existingFolderOr(dir.path(), "fallback"), dir.path() + u'/');
    EXPECT_EQ(existingFolderOr(dir.path() + "/deleted/", "fallback"), "fallback");
    EXPECT_EQ(existingFolderOr("", "fallback"), "fallback");
}

TEST(TemporaryFolder, PrivateToTheUser) {
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    // A folder left open to others is closed again before use.
    ASSERT_TRUE(QDir().mkdir(dir.path() + "/brindmar"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path() + "/brindmar").constData(), 0777), 0);

    const QString folder = privateTemporaryFolder();
    EXPECT_EQ(folder, dir.path() + "/brindmar/");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A link planted in its place is not followed: a folder of a random name of the user's own
    // is made instead, as for a folder another user took first.
    ASSERT_TRUE(QDir().rmdir(dir.path() + "/brindmar"));
    ASSERT_TRUE(QFile::link(dir.path(), dir.path() + "/brindmar"));
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    const QString shared = dir.path() + QStringLiteral("/brindmar-%1").arg(::geteuid());
    ASSERT_TRUE(QFile::link(dir.path(), shared)); // not a folder of the user's own either
    const QString fallback = privateTemporaryFolder();
    EXPECT_TRUE(fallback.startsWith(dir.path() + QStringLiteral("/brindmar-%1-").arg(::geteuid())))
        << fallback.toStdString();
    ASSERT_EQ(::lstat(QFile::encodeName(fallback).constData(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // The next run sweeps an empty one its run left.
    EXPECT_NE(privateTemporaryFolder(), fallback);
    EXPECT_FALSE(QFileInfo::exists(fallback));
    if (savedTemp.isNull()) {
        qunsetenv("TMPDIR");
    } else {
        qputenv("TMPDIR", savedTemp);
    }
    if (saved.isNull()) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else {
        qputenv("XDG_RUNTIME_DIR", saved);
    }
}

} // namespace
