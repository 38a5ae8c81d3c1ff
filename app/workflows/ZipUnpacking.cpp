#include "workflows/ZipUnpacking.h"

#include "util/ConfirmReplace.h"
#include "util/ReplacementFile.h"
#include "util/SwapJournal.h"
#include "util/UniqueFd.h"
#include "util/WorkFolders.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <string>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brindmar {

namespace {

constexpr int kNameAttempts = 100;

struct Moved {
    QString staged;
    QString target;
    bool replaced = false;
};

// Puts back what moved, last first: a replaced file swaps back into its place, a new one leaves.
void undo(const std::vector<Moved>& moved, const QStringList& madeFolders) {
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
        const QByteArray staged = QFile::encodeName(it->staged);
        const QByteArray target = QFile::encodeName(it->target);
        if (it->replaced) {
            ::renameat2(AT_FDCWD, staged.constData(), AT_FDCWD, target.constData(),
                        RENAME_EXCHANGE);
        } else {
            ::rename(target.constData(), staged.constData());
        }
    }
    for (auto it = madeFolders.rbegin(); it != madeFolders.rend(); ++it) {
        ::rmdir(QFile::encodeName(*it).constData());
    }
}

// Lists what the folder holds, depth first, into found; 0 or the errno of a folder that could
// not be read, with unread naming it.
int walk(int folderFd, const QString& prefix, QStringList& found, QString& unread) {
    const int copy = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (folder == nullptr) {
        const int error = errno;
        if (copy >= 0) {
            ::close(copy);
        }
        unread = prefix;
        return error;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    const int listed = errno;
    ::closedir(folder);
    if (listed != 0) {
        unread = prefix;
        return listed;
    }
    for (const std::string& name : names) {
        const QString path = prefix + QFile::decodeName(QByteArray::fromStdString(name));
        struct stat info {};
        if (::fstatat(folderFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            unread = path;
            return errno;
        }
        if (!S_ISDIR(info.st_mode)) {
            found << path;
            continue;
        }
        found << path + u'/';
        const UniqueFd inner(
            ::openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        const int error = inner.valid() ? walk(inner.get(), path + u'/', found, unread) : errno;
        if (error != 0) {
            if (!inner.valid()) {
                unread = path + u'/';
            }
            return error;
        }
    }
    return 0;
}

} // namespace

UnpackingFolder::UnpackingFolder(const QString& folder, const QString& runFolder) {
    m_folderFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0) {
        m_error = errno;
        return;
    }
    sweepStaleParts(m_folderFd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = partName(".unpack");
        if (::mkdirat(m_folderFd, name.constData(), 0700) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            break;
        }
        m_fd =
            ::openat(m_folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat info {};
        // A sweep that took the folder before the lock has removed it: another name then.
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(m_fd, &info) == 0 &&
            info.st_nlink > 0) {
            m_name = name;
            if (::mkdirat(m_fd, kStagedMembers, 0700) != 0) {
                m_error = errno;
                release();
                return;
            }
            m_path = folder + QFile::decodeName(name) + u'/' + QLatin1String(kStagedMembers) + u'/';
            m_record = recordUnpacking(runFolder, folder, name);
            return;
        }
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    m_error = errno != 0 ? errno : EEXIST;
}

UnpackingFolder::~UnpackingFolder() {
    release();
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
    }
}

bool UnpackingFolder::release() {
    if (m_fd < 0) {
        return true;
    }
    const bool gone = wipeEntry(m_folderFd, m_name.constData());
    ::close(m_fd);
    m_fd = -1;
    if (!m_record.isEmpty()) {
        QFile::remove(m_record);
    }
    return gone;
}

int UnpackingFolder::members(QStringList& found, QString& unread) const {
    found.clear();
    const UniqueFd root(
        ::openat(m_fd, kStagedMembers, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int error = root.valid() ? walk(root.get(), QString(), found, unread) : errno;
    unread = m_path + unread;
    // A folder's own name sorts before the names it holds.
    found.sort();
    return error;
}

int UnpackingFolder::moveIn(const QString& folder, const QStringList& members, QString& refused) {
    // What each move will do, on disk before the first one.
    std::vector<SwapStep> steps;
    for (const QString& member : members) {
        SwapStep step;
        step.folder = member.endsWith(u'/');
        step.path = QFile::encodeName(step.folder ? member.chopped(1) : member);
        struct stat info {};
        if (step.folder) {
            if (::lstat(QFile::encodeName(folder + member.chopped(1)).constData(), &info) == 0) {
                continue; // there already: not this run's to remove
            }
        } else {
            if (::lstat(QFile::encodeName(m_path + member).constData(), &info) != 0) {
                refused = m_path + member;
                return errno;
            }
            step.inode = info.st_ino;
            step.replaced = NameTaken(folder + member);
        }
        steps.push_back(step);
    }
    if (!writeSwapJournal(m_fd, steps)) {
        refused = m_path;
        return errno != 0 ? errno : EIO;
    }
    std::vector<Moved> moved;
    QStringList madeFolders;
    for (const QString& member : members) {
        const QString target = folder + member;
        const QString staged = m_path + member;
        int error = 0;
        if (member.endsWith(u'/')) {
            const QByteArray native = QFile::encodeName(target.chopped(1));
            if (::mkdir(native.constData(), 0777) == 0) {
                madeFolders << target.chopped(1);
            } else if (errno != EEXIST) {
                error = errno;
            } else {
                struct stat info {};
                // Never through a link: the member would land outside the folder.
                if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
                    error = ENOTDIR;
                }
            }
        } else {
            // The member keeps the mode the archive gave it; a replaced file's own mode is set
            // on the move.
            const bool existed = NameTaken(target);
            error = moveIntoPlace(staged, target, true);
            if (error == 0) {
                moved.push_back({staged, target, existed});
            }
        }
        if (error != 0) {
            refused = target;
            undo(moved, madeFolders);
            dropSwapJournal(m_fd);
            return error;
        }
    }
    dropSwapJournal(m_fd);
    return 0;
}

} // namespace brindmar
