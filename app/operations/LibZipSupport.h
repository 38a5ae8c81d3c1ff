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

#include "util/UniqueFd.h"

namespace brindmar::libzip {

using UniqueFd = brindmar::UniqueFd;

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
