#include "util/WorkFolders.h"

#include "util/SwapJournal.h"
#include "util/UniqueFd.h"

#include <QFile>
#include <QRandomGenerator>
#include <array>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brindmar {

namespace {

constexpr int kAttempts = 20;
constexpr char kPartPrefix[] = ".brindmar-";

// Run folders this process holds, with the descriptor that holds each one's lock.
std::map<QString, int>& heldFolders() {
    static std::map<QString, int> held;
    return held;
}

using Fd = UniqueFd;

std::vector<std::string> entriesOf(int folderFd) {
    std::vector<std::string> names;
    const int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (folder == nullptr) {
        if (copy >= 0) {
            ::close(copy);
        }
        return names;
    }
    ::rewinddir(folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(folder);
    return names;
}

bool overwriteWithZeros(int fd, off_t length) {
    static const std::array<char, 64 * 1024> zeros{};
    off_t done = 0;
    while (done < length) {
        const auto chunk = static_cast<size_t>(std::min<off_t>(length - done, zeros.size()));
        const ssize_t written = ::pwrite(fd, zeros.data(), chunk, done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return ::fdatasync(fd) == 0;
}

// An entry no live run holds: opened without following a link, and its lock taken. The
// descriptor keeps the lock until the entry is gone; invalid when the entry is held, is not the
// user's, or is neither a file nor a folder.
Fd takeAbandoned(int folderFd, const char* name) {
    struct stat info {};
    if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_uid != ::geteuid() ||
        !(S_ISDIR(info.st_mode) || S_ISREG(info.st_mode))) {
        return Fd(-1);
    }
    const int flags = S_ISDIR(info.st_mode) ? O_RDONLY | O_DIRECTORY : O_RDONLY | O_NONBLOCK;
    Fd fd(::openat(folderFd, name, flags | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened {};
    if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || opened.st_ino != info.st_ino ||
        opened.st_dev != info.st_dev || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return Fd(-1);
    }
    return fd;
}

// Made and locked in one go as far as the system allows: a sweep that takes a folder between
// its making and its locking removes it, which shows here as a folder no longer linked.
QString makeLockedFolder(const QString& parent) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        QByteArray pattern = QFile::encodeName(parent) + "run-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            return {};
        }
        Fd fd(::open(pattern.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 ||
            ::fstat(fd.get(), &opened) != 0 || opened.st_nlink == 0 ||
            ::lstat(pattern.constData(), &named) != 0 || named.st_ino != opened.st_ino) {
            continue;
        }
        const QString folder = QFile::decodeName(pattern) + u'/';
        heldFolders()[folder] = fd.release();
        return folder;
    }
    return {};
}

} // namespace

bool wipeEntry(int folderFd, const char* name) {
    struct stat info {};
    if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT;
    }
    if (S_ISDIR(info.st_mode)) {
        const Fd inner(::openat(folderFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (inner.valid()) {
            for (const std::string& entry : entriesOf(inner.get())) {
                wipeEntry(inner.get(), entry.c_str());
            }
        }
        return ::unlinkat(folderFd, name, AT_REMOVEDIR) == 0;
    }
    // A second name would see the zeros too; only the program's own name is removed then.
    if (S_ISREG(info.st_mode) && info.st_nlink == 1 && info.st_size > 0) {
        const Fd fd(::openat(folderFd, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.valid()) {
            overwriteWithZeros(fd.get(), info.st_size);
        }
    }
    return ::unlinkat(folderFd, name, 0) == 0;
}

namespace {

// The mark that makes a part name the program's own: a check of its random part, so that a
// user's file that merely looks alike (".brindmar-notes.part", ".brindmar-12345") is never taken
// for one and wiped.
QByteArray partMark(quint64 random) {
    quint64 mixed = random ^ 0x62726e646d617231ULL;
    mixed = (mixed ^ (mixed >> 30)) * 0xbf58476d1ce4e5b9ULL;
    mixed = (mixed ^ (mixed >> 27)) * 0x94d049bb133111ebULL;
    return QByteArray::number((mixed ^ (mixed >> 31)) % 60466176, 36); // five digits at most
}

} // namespace

bool isOwnPartName(const char* name) {
    std::string_view rest(name);
    if (!rest.starts_with(kPartPrefix)) {
        return false;
    }
    rest.remove_prefix(sizeof kPartPrefix - 1);
    for (const std::string_view suffix : {std::string_view(".part"), std::string_view(".unpack")}) {
        if (rest.ends_with(suffix)) {
            rest.remove_suffix(suffix.size());
            const size_t dot = rest.find('.');
            if (dot == std::string_view::npos) {
                return false;
            }
            const QByteArray random = QByteArray(rest.data(), qsizetype(dot));
            bool ok = false;
            const quint64 value = random.toULongLong(&ok, 36);
            return ok && QByteArray::number(value, 36) == random &&
                   partMark(value) ==
                       QByteArray(rest.substr(dot + 1).data(), qsizetype(rest.size() - dot - 1));
        }
    }
    return false;
}

QByteArray partName(const char* suffix) {
    const quint64 random = QRandomGenerator::global()->generate64();
    return kPartPrefix + QByteArray::number(random, 36) + '.' + partMark(random) + suffix;
}

int sweepStaleParts(int folderFd) {
    int removed = 0;
    for (const std::string& name : entriesOf(folderFd)) {
        if (!isOwnPartName(name.c_str())) {
            continue;
        }
        const Fd held = takeAbandoned(folderFd, name.c_str());
        if (!held.valid()) {
            continue;
        }
        // An unpacking killed while it moved its members in is undone before its folder goes.
        struct stat info {};
        if (::fstat(held.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
            undoInterruptedSwap(folderFd, held.get());
        }
        if (wipeEntry(folderFd, name.c_str())) {
            ++removed;
        }
    }
    return removed;
}

namespace {

constexpr char kUnpackingRecord[] = "unpacking-";

// The user's folders a dead run was unpacking into: their staging folders are swept (and any
// interrupted swap undone) now, at the next start, not whenever a run next writes there.
void sweepRecordedUnpackings(int runFolderFd) {
    for (const std::string& name : entriesOf(runFolderFd)) {
        if (!name.starts_with(kUnpackingRecord)) {
            continue;
        }
        const Fd record(::openat(runFolderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        std::array<char, 4096> path{};
        const ssize_t got =
            record.valid() ? ::read(record.get(), path.data(), path.size() - 1) : -1;
        if (got <= 0) {
            continue;
        }
        const Fd folder(::open(path.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.valid()) {
            sweepStaleParts(folder.get());
        }
    }
}

} // namespace

QString recordUnpacking(const QString& runFolder, const QString& folder, const QByteArray& name) {
    if (runFolder.isEmpty()) {
        return {};
    }
    const QString record = runFolder + QLatin1String(kUnpackingRecord) + QFile::decodeName(name);
    QFile file(record);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QFile::encodeName(folder)) < 0 || !file.flush()) {
        return {};
    }
    return record;
}

int sweepStaleRunFolders(const QString& privateFolder) {
    const Fd folder(
        ::open(QFile::encodeName(privateFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return 0;
    }
    int removed = 0;
    for (const std::string& name : entriesOf(folder.get())) {
        const Fd held = takeAbandoned(folder.get(), name.c_str());
        if (!held.valid()) {
            continue;
        }
        struct stat info {};
        if (::fstat(held.get(), &info) == 0 && S_ISDIR(info.st_mode)) {
            sweepRecordedUnpackings(held.get());
        }
        if (wipeEntry(folder.get(), name.c_str())) {
            ++removed;
        }
    }
    return removed;
}

QString claimRunFolder(const QString& privateFolder) {
    if (privateFolder.isEmpty()) {
        return {};
    }
    QString parent = privateFolder;
    if (!parent.endsWith(u'/')) {
        parent += u'/';
    }
    sweepStaleRunFolders(parent);
    return makeLockedFolder(parent);
}

void releaseRunFolder(const QString& runFolder) {
    auto& held = heldFolders();
    const auto found = held.find(runFolder);
    if (found == held.end()) {
        return; // not a folder this run claimed: someone else's to remove
    }
    QByteArray path = QFile::encodeName(runFolder);
    while (path.size() > 1 && path.endsWith('/')) {
        path.chop(1);
    }
    const qsizetype cut = path.lastIndexOf('/');
    const Fd parent(
        ::open(cut <= 0 ? "/" : path.left(cut).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (parent.valid()) {
        wipeEntry(parent.get(), path.mid(cut + 1).constData());
    }
    ::close(found->second);
    held.erase(found);
}

} // namespace brindmar
