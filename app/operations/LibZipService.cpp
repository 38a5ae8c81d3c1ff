#include "operations/LibZipService.h"

#include "operations/LibZipSupport.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace brindmar {

using namespace libzip;

namespace {

int16_t zipCodeForErrno(int error) {
    libzipSystemError() = error;
    switch (error) {
    case EACCES:
    case EPERM:
        return kZipAccessDenied;
    case EROFS:
        return kZipDriveReadOnly;
    case ENOSPC:
    case EDQUOT:
        return kZipDiskFull;
    case ENOMEM:
        return kZipNotEnoughMemory;
    default:
        return kZipDestinationError;
    }
}

int16_t zipCodeForOpen(LibZipError error) {
    switch (error.zip) {
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_MULTIDISK:
        return kZipNotAZipFile;
    case ZIP_ER_MEMORY:
        return kZipNotEnoughMemory;
    default:
        return zipCodeForErrno(error.system);
    }
}

int16_t zipCodeForClose(LibZipError error) {
    switch (error.zip) {
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
        // At close libzip reads the document; the archive itself was opened earlier.
        return kZipCouldNotProcess;
    case ZIP_ER_MEMORY:
        return kZipNotEnoughMemory;
    case ZIP_ER_ENCRNOTSUPP:
        return kZipCannotEncrypt;
    case ZIP_ER_TMPOPEN:
    case ZIP_ER_WRITE:
    case ZIP_ER_RENAME:
    case ZIP_ER_CLOSE:
    case ZIP_ER_REMOVE:
    case ZIP_ER_SEEK:
    case ZIP_ER_TELL:
        return zipCodeForErrno(error.system);
    default:
        return kZipInternalError;
    }
}

// O_NONBLOCK: opening a named pipe would otherwise wait for a writer and hang the window.
bool isReadableRegularFile(const QByteArray& path) {
    const UniqueFd fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    return fd.valid() && ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

int& libzipSystemError() {
    thread_local int error = 0;
    return error;
}

ZipStatus LibZipService::ZSInitialize() {
    // Nothing to set up: libzip is linked in. An installation without AES support still packs
    // and unpacks plain archives; only the encrypted calls fail, each with its own text.
    return 0;
}

ZipStatus LibZipService::ZSCreateBlankZIPFile(const QString& archivePath) {
    // libzip writes no file for an archive without members, so the empty archive is its bare
    // end-of-central-directory record.
    static constexpr std::array<char, 22> kEmptyArchive = {'P', 'K', 5, 6};
    // O_NONBLOCK and no O_TRUNC until the file is known to be a regular one: a named pipe would
    // wait for a reader, and a device is no place for an archive.
    // O_NOFOLLOW: a link where the archive goes must not truncate the file it points to.
    UniqueFd fd(::open(nativePath(archivePath).constData(),
                       O_WRONLY | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        ::ftruncate(fd.get(), 0) != 0 ||
        !writeAll(fd.get(), kEmptyArchive.data(), kEmptyArchive.size()) || fd.close() != 0) {
        return 0;
    }
    m_lastCreated = archivePath;
    return kZipTrue;
}

ZipStatus LibZipService::ZSGetNewZIPName(QString& name) {
    name = m_lastCreated;
    return 0;
}

ZipStatus LibZipService::ZSZipFiles(const QString& archivePath, const QString& documentPath,
                                    const std::string& password) {
    libzipSystemError() = 0;
    const QByteArray document = nativePath(documentPath);
    if (!isReadableRegularFile(document)) {
        return kZipCouldNotProcess;
    }
    const QByteArray native = nativePath(archivePath);
    if (existsAsSpecialFile(native)) {
        return kZipDestinationError;
    }
    int openError = ZIP_ER_OK;
    ArchiveHandle archive(zip_open(native.constData(), ZIP_CREATE | ZIP_CHECKCONS, &openError));
    if (archive.get() == nullptr) {
        return zipCodeForOpen(errorOfOpen(openError));
    }
    zip_error_t sourceError;
    zip_error_init(&sourceError);
    zip_source_t* source = zip_source_file_create(document.constData(), 0, 0, &sourceError);
    zip_error_fini(&sourceError);
    if (source == nullptr) {
        return kZipCouldNotProcess;
    }
    // The file's name exactly as it is, blanks at its ends included: the member's name is how a
    // name the payload header cannot hold comes back.
    const QByteArray memberName = documentPath.mid(documentPath.lastIndexOf(u'/') + 1).toUtf8();
    const zip_int64_t index = zip_file_add(archive.get(), memberName.constData(), source,
                                           ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return kZipInternalError;
    }
    if (!password.empty() &&
        zip_file_set_encryption(archive.get(), static_cast<zip_uint64_t>(index), ZIP_EM_AES_256,
                                password.c_str()) != 0) {
        return kZipCannotEncrypt;
    }
    if (archive.close() != 0) {
        return zipCodeForClose(errorOf(zip_get_error(archive.get())));
    }
    return 0;
}

ZipStatus LibZipService::ZSIsZIPFileQuick(const QString& path) {
    constexpr int16_t kNotZip = 1;
    const QByteArray native = nativePath(path);
    if (!isReadableRegularFile(native)) {
        return kNotZip;
    }
    int openError = ZIP_ER_OK;
    zip_t* archive = zip_open(native.constData(), ZIP_RDONLY, &openError);
    if (archive == nullptr) {
        // A file that could not be read may be an archive all the same.
        const bool unread =
            openError == ZIP_ER_READ || openError == ZIP_ER_SEEK || openError == ZIP_ER_OPEN;
        return unread ? kZipCheckUnreadable : kNotZip;
    }
    zip_discard(archive);
    return 0;
}

} // namespace brindmar
