#include "workflows/ZipUnpacking.h"

#include "util/ConfirmReplace.h"
#include "util/ReplacementFile.h"
#include "util/WorkFolders.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace brindmar {

namespace {

constexpr int kNameAttempts = 100;

mode_t usualFileMode() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666 & ~mask;
}

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

} // namespace

UnpackingFolder::UnpackingFolder(const QString& folder) {
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
            m_path = folder + QFile::decodeName(name) + u'/';
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
    if (m_fd >= 0) {
        wipeEntry(m_folderFd, m_name.constData());
        ::close(m_fd);
    }
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
    }
}

QStringList UnpackingFolder::members() const {
    QStringList found;
    QDirIterator walk(m_path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    const QDir root(m_path);
    while (walk.hasNext()) {
        walk.next();
        found << root.relativeFilePath(walk.filePath()) +
                     (walk.fileInfo().isDir() && !walk.fileInfo().isSymLink() ? QStringLiteral("/")
                                                                              : QString());
    }
    // A folder's own name sorts before the names it holds.
    found.sort();
    return found;
}

int UnpackingFolder::moveIn(const QString& folder, const QStringList& members, QString& refused) {
    std::vector<Moved> moved;
    QStringList madeFolders;
    const mode_t mode = usualFileMode();
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
            // The member gets the mode any new file of the user's gets; a replaced file's own
            // mode is set on the move.
            ::chmod(QFile::encodeName(staged).constData(), mode);
            const bool existed = NameTaken(target);
            error = moveIntoPlace(staged, target, true);
            if (error == 0) {
                moved.push_back({staged, target, existed});
            }
        }
        if (error != 0) {
            refused = target;
            undo(moved, madeFolders);
            return error;
        }
    }
    return 0;
}

} // namespace brindmar
