#include "util/ReplacementFile.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

constexpr int kNameAttempts = 100;

QByteArray folderOf(const QByteArray& path) {
    const qsizetype cut = path.lastIndexOf('/');
    if (cut < 0) {
        return QByteArrayLiteral(".");
    }
    return cut == 0 ? QByteArrayLiteral("/") : path.left(cut);
}

QByteArray hiddenName(const QByteArray& folder) {
    return folder + "/.brindmar-" +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
}

QByteArray procPath(int fd) {
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// The folder's entry for the new name reaches the disk too, or a crash could lose the rename.
void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ReplacementFile::ReplacementFile(const QString& target, bool named)
    : m_target(target), m_folder(folderOf(QFile::encodeName(target))) {
    m_fd = named ? -1 : ::open(m_folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (m_fd >= 0) {
        // Writers reach an unnamed file through /proc only; without it, a named file serves.
        struct stat info {};
        if (::stat(procPath(m_fd).constData(), &info) == 0) {
            return;
        }
        ::close(m_fd);
        m_fd = -1;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = hiddenName(m_folder);
        m_fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            m_temporary = name;
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
}

QString ReplacementFile::writePath() const {
    if (m_fd < 0) {
        return {};
    }
    return QFile::decodeName(m_temporary.isEmpty() ? procPath(m_fd) : m_temporary);
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

bool ReplacementFile::linkUnnamed(const QByteArray& name) {
    return ::linkat(AT_FDCWD, procPath(m_fd).constData(), AT_FDCWD, name.constData(),
                    AT_SYMLINK_FOLLOW) == 0;
}

bool ReplacementFile::commit() {
    if (m_fd < 0) {
        return false;
    }
    // By its name where it has one: a writer may have put another file in its place.
    const int syncFd = m_temporary.isEmpty()
                           ? m_fd
                           : ::open(m_temporary.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool synced = syncFd >= 0 && ::fsync(syncFd) == 0;
    const int syncError = errno;
    if (syncFd >= 0 && syncFd != m_fd) {
        ::close(syncFd);
    }
    if (!synced) {
        m_error = syncError;
        return false;
    }
    if (m_temporary.isEmpty()) {
        // A name of its own first: rename cannot take an unnamed file, and linking straight to
        // the target would refuse to replace it.
        for (int attempt = 0; attempt < kNameAttempts && m_temporary.isEmpty(); ++attempt) {
            const QByteArray name = hiddenName(m_folder);
            if (linkUnnamed(name)) {
                m_temporary = name;
            } else if (errno != EEXIST) {
                m_error = errno;
                return false;
            }
        }
        if (m_temporary.isEmpty()) {
            m_error = EEXIST;
            return false;
        }
    }
    const QByteArray target = QFile::encodeName(m_target);
    if (::rename(m_temporary.constData(), target.constData()) != 0) {
        m_error = errno;
        return false;
    }
    m_temporary.clear();
    ::close(m_fd);
    m_fd = -1;
    syncFolder(m_folder);
    return true;
}

void ReplacementFile::discard() {
    if (!m_temporary.isEmpty()) {
        ::unlink(m_temporary.constData());
        m_temporary.clear();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace brindmar
