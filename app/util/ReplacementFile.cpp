#include "util/ReplacementFile.h"

#include "util/WorkFolders.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <optional>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace brindmar {

namespace {

constexpr int kNameAttempts = 100;

// Which file an entry is. An inode number alone is reused at once by a file made in place of a
// removed one, so the birth time (or, where none is kept, the change time) goes with it.
struct Identity {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
    bool operator==(const Identity&) const = default;
};

std::optional<Identity> identityOf(int folderFd, const char* name) {
    struct statx info {};
    if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_BTIME | STATX_CTIME,
                &info) != 0) {
        return std::nullopt;
    }
    const statx_timestamp& time =
        (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime : info.stx_ctime;
    return Identity{(uint64_t(info.stx_dev_major) << 32) | info.stx_dev_minor, info.stx_ino,
                    time.tv_sec, time.tv_nsec};
}

// Targets the user agreed to replace, with the entry that was there when they agreed.
std::map<QByteArray, Identity>& agreements() {
    static std::map<QByteArray, Identity> agreed;
    return agreed;
}

QByteArray trimmedNative(const QString& path) {
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/')) {
        native.chop(1);
    }
    return native;
}

std::pair<QByteArray, QByteArray> splitPath(const QByteArray& path) {
    const qsizetype cut = path.lastIndexOf('/');
    if (cut < 0) {
        return {QByteArrayLiteral("."), path};
    }
    return {cut == 0 ? QByteArrayLiteral("/") : path.left(cut), path.mid(cut + 1)};
}

// The folder's entries reach the disk, or the new name could vanish in a crash.
int syncFolder(int folderFd) {
    if (const int fault = std::exchange(ReplacementFile::seams().folderSyncFault, 0)) {
        return fault;
    }
    return ::fsync(folderFd) == 0 ? 0 : errno;
}

QByteArray procPath(int fd) {
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// What is at the target decides the commit: nothing there is taken without asking anyone; a
// file there is replaced only when it is the one the user agreed to. The replaced file's mode
// and owner pass to the new one. 0 with replace set, or the errno that refuses the commit.
int judgeTarget(const QByteArray& key, int folderFd, const char* name, int newFd, bool& replace) {
    struct stat info {};
    if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        replace = false;
        return errno == ENOENT ? 0 : errno;
    }
    if (S_ISDIR(info.st_mode)) {
        return EISDIR;
    }
    const auto found = agreements().find(key);
    if (found == agreements().end() || identityOf(folderFd, name) != found->second) {
        return EEXIST;
    }
    replace = true;
    if (S_ISREG(info.st_mode)) {
        // The owner first: a change of owner clears the set-id bits the mode then restores.
        struct stat own {};
        if (::fstat(newFd, &own) == 0 && (own.st_uid != info.st_uid || own.st_gid != info.st_gid)) {
            [[maybe_unused]] const int ignored = ::fchown(newFd, info.st_uid, info.st_gid);
        }
        if (::fchmod(newFd, info.st_mode & 07777) != 0) {
            return errno;
        }
    }
    return 0;
}

// Renames without replacing anything; where the file system has no such rename, a hard link
// refuses an existing name just as well.
int renameNew(int fromFolder, const char* from, int toFolder, const char* to) {
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0) {
        return errno;
    }
    ::unlinkat(fromFolder, from, 0);
    return 0;
}

} // namespace

void agreeToReplace(const QString& target) {
    const QByteArray key = trimmedNative(target);
    if (const std::optional<Identity> identity = identityOf(AT_FDCWD, key.constData())) {
        agreements()[key] = *identity;
    } else {
        agreements().erase(key);
    }
}

ReplacementFile::ReplacementFile(const QString& target, NewMode mode) : m_target(target) {
    const auto [folder, name] = splitPath(trimmedNative(target));
    m_name = name;
    // Everything below is relative to the folder: a part name beside a long target never
    // makes a path longer than the target's own.
    m_folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) {
        m_error = errno;
        return;
    }
    sweepStaleParts(m_folderFd);
    m_newMode = mode == NewMode::Private ? 0600 : 0666;
    m_fd = seams().namedParts
               ? -1
               : ::openat(m_folderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, m_newMode);
    if (m_fd >= 0) {
        // Writers reach an unnamed file through /proc only; without it, a named file serves.
        struct stat info {};
        if (::stat(procPath(m_fd).constData(), &info) == 0) {
            ::flock(m_fd, LOCK_EX);
            return;
        }
        ::close(m_fd);
        m_fd = -1;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray part = partName(".part");
        m_fd = ::openat(m_folderFd, part.constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, m_newMode);
        if (m_fd >= 0) {
            // Held for the writer's life, so that no sweep takes the file from under it.
            ::flock(m_fd, LOCK_EX);
            m_temporary = part;
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    m_error = errno;
}

ReplacementFile::~ReplacementFile() {
    discard();
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
    }
}

QString ReplacementFile::writePath() const {
    if (m_fd < 0) {
        return {};
    }
    struct stat info {};
    if (!m_temporary.isEmpty() && ::stat(procPath(m_fd).constData(), &info) != 0) {
        return QFile::decodeName(splitPath(trimmedNative(m_target)).first + '/' + m_temporary);
    }
    return QFile::decodeName(procPath(m_fd));
}

bool ReplacementFile::appendFile(const QString& source) {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (;;) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty()) {
            return in.error() == QFileDevice::NoError;
        }
        if (!append(chunk)) {
            return false;
        }
    }
}

bool ReplacementFile::append(const QByteArray& bytes) {
    const char* data = bytes.constData();
    auto left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = ::write(m_fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_error = errno;
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

bool ReplacementFile::placeUnnamed(const QByteArray& name, bool replace) {
    const QByteArray source = procPath(m_fd);
    if (!replace) {
        // Straight to its name: a new file never has a hidden complete copy.
        return ::linkat(AT_FDCWD, source.constData(), m_folderFd, name.constData(),
                        AT_SYMLINK_FOLLOW) == 0;
    }
    // rename cannot take an unnamed file, and a link cannot replace; a hidden name bridges the
    // two for as long as a link and a rename take.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray part = partName(".part");
        if (::linkat(AT_FDCWD, source.constData(), m_folderFd, part.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            if (::renameat(m_folderFd, part.constData(), m_folderFd, name.constData()) == 0) {
                return true;
            }
            const int error = errno;
            ::unlinkat(m_folderFd, part.constData(), 0);
            errno = error;
            return false;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    errno = EEXIST;
    return false;
}

bool ReplacementFile::flush() {
    if (m_fd < 0) {
        return false;
    }
    if (::fsync(m_fd) != 0) {
        m_error = errno;
        return false;
    }
    return true;
}

bool ReplacementFile::commit() {
    if (!flush()) {
        return false;
    }
    const QByteArray key = trimmedNative(m_target);
    bool replace = false;
    if (const int refused = judgeTarget(key, m_folderFd, m_name.constData(), m_fd, replace)) {
        m_error = refused;
        return false;
    }
    if (seams().beforePlacing) {
        seams().beforePlacing();
    }
    if (m_temporary.isEmpty()) {
        if (!placeUnnamed(m_name, replace)) {
            m_error = errno;
            return false;
        }
    } else {
        const int error = replace ? (::renameat(m_folderFd, m_temporary.constData(), m_folderFd,
                                                m_name.constData()) == 0
                                         ? 0
                                         : errno)
                                  : renameNew(m_folderFd, m_temporary.constData(), m_folderFd,
                                              m_name.constData());
        if (error != 0) {
            m_error = error;
            return false;
        }
        m_temporary.clear();
    }
    agreements().erase(key);
    ::close(m_fd);
    m_fd = -1;
    // A name the disk may lose is no file written: a new one is taken back; a replaced one's old
    // file is gone already, so the new one stays, and the run still fails.
    if (const int error = syncFolder(m_folderFd)) {
        m_error = error;
        if (!replace) {
            ::unlinkat(m_folderFd, m_name.constData(), 0);
        }
        return false;
    }
    return true;
}

ReplacementFile::Seams& ReplacementFile::seams() {
    static Seams seams;
    return seams;
}

void ReplacementFile::discard() {
    if (!m_temporary.isEmpty()) {
        ::unlinkat(m_folderFd, m_temporary.constData(), 0);
        m_temporary.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

int moveIntoPlace(const QString& complete, const QString& target, bool keepReplaced) {
    const QByteArray from = trimmedNative(complete);
    const QByteArray key = trimmedNative(target);
    const int fd = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const auto [folder, name] = splitPath(key);
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int error = folderFd < 0 ? errno : (::fsync(fd) == 0 ? 0 : errno);
    bool replace = false;
    if (error == 0) {
        error = judgeTarget(key, folderFd, name.constData(), fd, replace);
    }
    bool exchanged = false;
    if (error == 0 && ReplacementFile::seams().beforePlacing) {
        ReplacementFile::seams().beforePlacing();
    }
    if (error == 0) {
        if (!replace) {
            error = renameNew(AT_FDCWD, from.constData(), folderFd, name.constData());
        } else if (keepReplaced && ::renameat2(AT_FDCWD, from.constData(), folderFd,
                                               name.constData(), RENAME_EXCHANGE) == 0) {
            exchanged = true;
        } else {
            error =
                ::renameat(AT_FDCWD, from.constData(), folderFd, name.constData()) == 0 ? 0 : errno;
        }
    }
    if (error == 0) {
        agreements().erase(key);
        error = syncFolder(folderFd);
        // Taken back where it can be, so that the caller's undo finds things as they were.
        if (error != 0 && (!replace || exchanged)) {
            ::renameat2(folderFd, name.constData(), AT_FDCWD, from.constData(),
                        exchanged ? RENAME_EXCHANGE : 0);
        }
    }
    if (folderFd >= 0) {
        ::close(folderFd);
    }
    ::close(fd);
    return error;
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString systemReason(int error) {
    return error != 0 ? QStringLiteral(": ") + systemErrorText(error) : QString();
}

} // namespace brindmar
