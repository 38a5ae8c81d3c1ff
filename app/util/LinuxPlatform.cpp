#include "util/LinuxPlatform.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <utility>

namespace brindmar {

namespace {

// Closes a descriptor on every path out.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// O_NONBLOCK keeps a FIFO or device node from stalling the open; only ordinary files are then
// worked on.
FileDescriptor openRegular(const QString& path, int access) {
    if (path.isEmpty()) {
        return FileDescriptor(-1);
    }
    const QByteArray name = QFile::encodeName(path);
    FileDescriptor fd(::open(name.constData(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        return fd;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return FileDescriptor(-1);
    }
    return fd;
}

} // namespace

std::optional<FileTimes> LinuxPlatform::readFileTimes(const QString& path) const {
    const FileDescriptor fd = openRegular(path, O_RDONLY);
    if (!fd.valid()) {
        return std::nullopt;
    }
    struct statx info {};
    if (::statx(fd.get(), "", AT_EMPTY_PATH, STATX_BTIME | STATX_ATIME | STATX_MTIME, &info) != 0) {
        return std::nullopt;
    }
    FileTimes times;
    times.lastAccess = info.stx_atime.tv_sec;
    times.lastWrite = info.stx_mtime.tv_sec;
    times.creation = (info.stx_mask & STATX_BTIME) != 0 ? info.stx_btime.tv_sec : times.lastWrite;
    return times;
}

bool LinuxPlatform::writeLastWriteTime(const QString& path, int64_t seconds) const {
    const FileDescriptor fd = openRegular(path, O_RDWR);
    if (!fd.valid()) {
        return false;
    }
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(seconds);
    return ::futimens(fd.get(), times) == 0;
}

std::optional<uint64_t> LinuxPlatform::freeBytes(const QString& folder) const {
    QString probe = folder;
    if (!probe.startsWith(u'/')) {
        return std::nullopt;
    }
    for (;;) {
        struct statvfs info {};
        const QByteArray name = QFile::encodeName(probe);
        if (::statvfs(name.constData(), &info) == 0) {
            return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
        }
        if ((errno != ENOENT && errno != ENOTDIR) || probe == u"/") {
            return std::nullopt;
        }
        // A folder that does not exist yet will be created on its parent's file system.
        while (probe.size() > 1 && probe.endsWith(u'/')) {
            probe.chop(1);
        }
        probe = probe.left(qMax<qsizetype>(1, probe.lastIndexOf(u'/')));
    }
}

} // namespace brindmar
