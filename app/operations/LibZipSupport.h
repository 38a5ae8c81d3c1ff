#pragma once

// What the packing and the unpacking halves of the libzip service share: owners for file
// descriptors and archives, libzip's error pair, and careful file access.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace brindmar::libzip {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports the close's own failure, which a network file system may use to
    // report a failed write.
    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    void reset() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    int m_fd;
};

class ArchiveHandle {
public:
    explicit ArchiveHandle(zip_t* archive) : m_archive(archive) {}
    ~ArchiveHandle() {
        if (m_archive != nullptr) {
            zip_discard(m_archive);
        }
    }
    ArchiveHandle(const ArchiveHandle&) = delete;
    ArchiveHandle& operator=(const ArchiveHandle&) = delete;

    zip_t* get() const { return m_archive; }
    // zip_close frees the archive only when it succeeds.
    int close() {
        const int result = zip_close(m_archive);
        if (result == 0) {
            m_archive = nullptr;
        }
        return result;
    }

private:
    zip_t* m_archive;
};

struct LibZipError {
    int zip = ZIP_ER_OK;
    int system = 0;
};

inline LibZipError errorOf(zip_error_t* error) {
    return {zip_error_code_zip(error), zip_error_code_system(error)};
}

inline LibZipError errorOfOpen(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const LibZipError result = errorOf(&error);
    zip_error_fini(&error);
    return result;
}

inline QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// Sizes in the program are signed 32-bit, so no document it packs can be larger; a member that
// claims more is refused before it can fill the disk.
constexpr zip_uint64_t kLargestMember = std::numeric_limits<int32_t>::max();

// Something other than a regular file where an archive should be: a named pipe would block the
// window for ever on open, a device would be read or written without end.
inline bool existsAsSpecialFile(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

inline bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace brindmar::libzip
