#include "util/ReplacementFile.h"
#include "AppTestSupport.h"
#include "util/ConfirmReplace.h"
#include "util/WorkFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brindmar;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes, mode_t mode = 0644) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(bytes);
    file.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
}

// A folder deep enough that the target's path is close to the longest a path may be.
QString deepFolder(const QString& base) {
    QString folder = base;
    while (folder.size() < 3700) {
        folder += QString(200, u'd') + u'/';
        EXPECT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    }
    return folder;
}

constexpr mode_t kLink = S_IFLNK; // a dangling link stands at the target beforehand
constexpr auto kUsual = ReplacementFile::NewMode::Usual;
constexpr auto kPrivate = ReplacementFile::NewMode::Private;

struct Case {
    const char* name;
    mode_t before; // 0: nothing at the target; kLink; otherwise a file "old" of that mode
    bool deep;     // a long legal name in a folder deep enough to near the longest path
    bool agreed;
    ReplacementFile::NewMode newMode;
    // What happens at the target while the new file is written.
    std::function<void(const QString& target)> meanwhile;
    int error; // 0: the commit succeeds
    QByteArray expected;
    mode_t mode;             // of the target afterwards (file type bits included)
    bool namedParts = false; // as on a file system without unnamed files
};

void replaceOnce(const Case& c) {
    apptest::ScratchDir dir;
    const QString folder = c.deep ? deepFolder(dir.folder()) : dir.folder();
    const QString target = folder + (c.deep ? QString(250, u'n') : QStringLiteral("target.bmp"));
    if (c.before == kLink) {
        ASSERT_TRUE(QFile::link(folder + QStringLiteral("missing"), target));
        EXPECT_TRUE(NameTaken(target));
    } else if (c.before != 0) {
        put(target, "old", c.before);
    }
    if (c.agreed) {
        agreeToReplace(target);
    }
    ReplacementFile::seams().namedParts = c.namedParts;
    {
        ReplacementFile file(target, c.newMode);
        ASSERT_TRUE(file.isOpen()) << systemErrorText(file.error()).toStdString();
        ASSERT_TRUE(file.append("new"));
        if (c.meanwhile) {
            c.meanwhile(target);
        }
        EXPECT_EQ(file.commit(), c.error == 0);
        EXPECT_EQ(file.error(), c.error) << systemErrorText(file.error()).toStdString();
    }
    ReplacementFile::seams() = {};
    EXPECT_EQ(contents(target), c.expected);
    EXPECT_EQ(modeOf(target), c.mode);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral(".brindmar-*")},
                                     QDir::AllEntries | QDir::Hidden | QDir::System),
              QStringList());
}

TEST(Replacing, OnlyWhatWasAgreedIsReplacedAndNothingIsLeftBeside) {
    const auto theirs = [](const QString& at) { put(at, "theirs", 0640); };
    const auto swapped = [](const QString& at) {
        QFile::remove(at);
        put(at, "swapped", 0644);
    };
    // Another program's file appears after the target was checked, just before the rename.
    const auto appearing = [theirs](const QString& at) {
        ReplacementFile::seams().beforePlacing = [at, theirs] { theirs(at); };
    };
    const auto unsynced = [](const QString&) { ReplacementFile::seams().folderSyncFault = EIO; };
    const Case cases[] = {
        {"new target gets its name", 0, false, false, kUsual, nullptr, 0, "new", S_IFREG | 0644},
        {"new private target", 0, false, false, kPrivate, nullptr, 0, "new", S_IFREG | 0600},
        {"agreed private file keeps its mode", 0600, false, true, kUsual, nullptr, 0, "new",
         S_IFREG | 0600},
        {"agreed open file keeps its mode over a private new one", 0664, false, true, kPrivate,
         nullptr, 0, "new", S_IFREG | 0664},
        {"existing file not agreed stays", 0644, false, false, kUsual, nullptr, EEXIST, "old",
         S_IFREG | 0644},
        {"a parallel run's fresh output stays", 0, false, false, kUsual, theirs, EEXIST, "theirs",
         S_IFREG | 0640},
        {"a file put in place of the agreed one stays", 0644, false, true, kUsual, swapped, EEXIST,
         "swapped", S_IFREG | 0644},
        {"agreed dangling link is replaced, not followed", kLink, false, true, kUsual, nullptr, 0,
         "new", S_IFREG | 0644},
        {"dangling link not agreed stays", kLink, false, false, kUsual, nullptr, EEXIST, "",
         S_IFLNK | 0777},
        {"long legal name in a deep folder", 0, true, false, kUsual, nullptr, 0, "new",
         S_IFREG | 0644},
        {"agreed long legal name in a deep folder", 0600, true, true, kUsual, nullptr, 0, "new",
         S_IFREG | 0600},
        {"a file appearing before the rename stays", 0, false, false, kUsual, appearing, EEXIST,
         "theirs", S_IFREG | 0640},
        {"a file appearing before the rename of a named part stays", 0, false, false, kUsual,
         appearing, EEXIST, "theirs", S_IFREG | 0640, true},
        {"a folder that does not sync takes a new file back", 0, false, false, kUsual, unsynced,
         EIO, "", 0},
        {"a folder that does not sync fails a replacement", 0640, false, true, kUsual, unsynced,
         EIO, "new", S_IFREG | 0640, true},
    };
    const mode_t savedMask = ::umask(022);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        replaceOnce(c);
    }
    ::umask(savedMask);
}

// A move into place follows the same rules as a commit.
TEST(MoveIntoPlace, ReplacesOnlyWhatWasAgreedAndKeepsItsMode) {
    apptest::ScratchDir dir;
    const QString target = dir.path(QStringLiteral("doc.txt"));
    const QString staged = dir.path(QStringLiteral("staged"));
    put(staged, "new", 0600);
    put(target, "old", 0640);
    EXPECT_EQ(moveIntoPlace(staged, target), EEXIST);
    EXPECT_EQ(contents(target), "old");
    agreeToReplace(target);
    EXPECT_EQ(moveIntoPlace(staged, target, true), 0);
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(modeOf(target), S_IFREG | 0640u);
    EXPECT_EQ(contents(staged), "old"); // kept to undo the move
    // The agreement was for that one replacement.
    put(dir.path(QStringLiteral("again")), "again", 0600);
    EXPECT_EQ(moveIntoPlace(dir.path(QStringLiteral("again")), target), EEXIST);
}

// A run killed while it wrote leaves its part files behind; the next run in that folder removes
// those of the program's own names whose writer is gone, and nothing else.
TEST(StaleParts, TheNextRunInTheFolderRemovesOnlyAbandonedOwnParts) {
    const struct {
        QByteArray name;
        bool folder;
        bool held; // a live run holds its lock
        bool removed;
    } table[] = {
        {partName(".part"), false, false, true},
        {partName(".part"), false, true, false},
        {partName(".unpack"), true, false, true},
        {partName(".unpack"), true, true, false},
        // The user's own, however alike: only a name the program made carries its mark.
        {".brindmar-notes.part", false, false, false},
        {".brindmar-12345", false, false, false},
        {".brindmar-q1.unpack", true, false, false},
        {".brindmar-abc.part.Xy12Zq", false, false, false},
        {partName(".part").replace(".part", "x.part"), false, false, false},
        {".brindmar-notes.txt", false, false, false},
        {"mine.part", false, false, false},
    };
    apptest::ScratchDir dir;
    std::vector<int> locks;
    int watched = -1;
    for (const auto& row : table) {
        const QString path = dir.path(QString::fromLatin1(row.name));
        ASSERT_EQ(isOwnPartName(row.name.constData()),
                  row.name.startsWith(".brindmar-") && (row.removed || row.held))
            << row.name.constData();
        if (row.folder) {
            ASSERT_TRUE(QDir().mkdir(path));
            put(path + QStringLiteral("/member.txt"), "secret");
        } else {
            put(path, "secret document");
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        if (row.held) {
            ASSERT_EQ(::flock(fd, LOCK_EX), 0);
            locks.push_back(fd);
        } else if (watched < 0 && row.removed) {
            watched = fd; // the file's bytes, seen after its name is gone
        } else {
            ::close(fd);
        }
    }
    ReplacementFile next(dir.path(QStringLiteral("out.bmp")));
    ASSERT_TRUE(next.isOpen());
    for (const auto& row : table) {
        EXPECT_EQ(QFileInfo::exists(dir.path(QString::fromLatin1(row.name))), !row.removed)
            << row.name.constData();
    }
    // Overwritten before it went, not just unlinked.
    char bytes[15] = {};
    ASSERT_EQ(::pread(watched, bytes, sizeof bytes, 0), ssize_t(sizeof bytes));
    EXPECT_EQ(std::string(bytes, sizeof bytes), std::string(sizeof bytes, '\0'));
    ::close(watched);
    for (const int fd : locks) {
        ::close(fd);
    }
}

// Work folders of runs that are gone are wiped at the next start; a live run's folder stays.
TEST(RunFolders, ClaimSweepsTheDeadAndKeepsTheLiving) {
    apptest::ScratchDir dir;
    const QString shared = dir.folder();
    ASSERT_TRUE(QDir().mkdir(shared + QStringLiteral("run-dead")));
    put(shared + QStringLiteral("run-dead/vokbdat1.tmp"), "clear document");
    ASSERT_TRUE(QDir().mkdir(shared + QStringLiteral("cli-4242")));
    put(shared + QStringLiteral("cli-4242/unpacked"), "clear document");
    put(shared + QStringLiteral("vokbdat4.tmp"), "sealed");

    const QString mine = claimRunFolder(shared);
    ASSERT_FALSE(mine.isEmpty());
    EXPECT_TRUE(mine.startsWith(shared + QStringLiteral("run-")));
    EXPECT_EQ(modeOf(mine) & 0777, 0700u);
    put(mine + QStringLiteral("vokbdat1.tmp"), "in use");
    const QString other = claimRunFolder(shared);
    ASSERT_FALSE(other.isEmpty());
    EXPECT_NE(other, mine);
    // Only the two live folders remain, each with what its run put there.
    QStringList live = {QFileInfo(mine.chopped(1)).fileName(),
                        QFileInfo(other.chopped(1)).fileName()};
    live.sort();
    QStringList left = QDir(shared).entryList(QDir::AllEntries | QDir::Hidden |
                                              QDir::NoDotAndDotDot | QDir::System);
    left.sort();
    EXPECT_EQ(left, live);
    EXPECT_EQ(contents(mine + QStringLiteral("vokbdat1.tmp")), "in use");

    releaseRunFolder(mine);
    releaseRunFolder(other);
    EXPECT_TRUE(QDir(shared).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    // A folder this run never claimed is not its to remove.
    releaseRunFolder(shared);
    EXPECT_TRUE(QFileInfo(shared).isDir());
}

} // namespace
