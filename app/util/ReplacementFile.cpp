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

// Flushes the file by its name, never through a link; 0 or the errno of the failed step.
int syncByName(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
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
    const int syncError =
        m_temporary.isEmpty() ? (::fsync(m_fd) == 0 ? 0 : errno) : syncByName(m_temporary);
    if (syncError != 0) {
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

int moveIntoPlace(const QString& complete, const QString& target) {
    const QByteArray from = QFile::encodeName(complete);
    const QByteArray to = QFile::encodeName(target);
    if (const int error = syncByName(from); error != 0) {
        return error;
    }
    if (::rename(from.constData(), to.constData()) != 0) {
        return errno;
    }
    syncFolder(folderOf(to));
    return 0;
}

QString systemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace brindmar
