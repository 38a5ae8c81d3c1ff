#include "operations/LibZipService.h"

#include "operations/LibZipSupport.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

// Unpacking: every member name is judged before anything is written, every member is read to
// its end and put in place only once complete.

namespace brindmar {

using namespace libzip;

namespace {

int16_t unzipCodeForErrno(int error) {
    libzipSystemError() = error;
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return kUnzipDiskFull;
    case EROFS:
        return kUnzipDriveReadOnly;
    case ENOMEM:
        return kUnzipNotEnoughMemory;
    case EACCES:
    case EPERM:
    case EEXIST:
    case EISDIR:
    case ENOTDIR:
    case ELOOP:
        return kUnzipChangeNotPermitted;
    default:
        return kUnzipCannotAccessMedia;
    }
}

int16_t unzipCodeFor(LibZipError error) {
    switch (error.zip) {
    case ZIP_ER_NOENT:
        return kUnzipFileNotFound;
    case ZIP_ER_MEMORY:
        return kUnzipNotEnoughMemory;
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        return kUnzipFileLocked;
    case ZIP_ER_NOZIP:
    case ZIP_ER_MULTIDISK:
    case ZIP_ER_COMPNOTSUPP:
        return kUnzipErrorInZipFile;
    case ZIP_ER_OPEN:
        return error.system == ENOENT ? kUnzipFileNotFound : unzipCodeForErrno(error.system);
    case ZIP_ER_INTERNAL:
        return kUnzipInternalError;
    default:
        // CRC, inconsistent headers, bad compressed data, a short file, a read error: whatever
        // stops a member from reading back exactly as stored.
        return kUnzipFileCorrupted;
    }
}

// A member name as the parts of a path below the target folder, or nullopt when the name could
// reach anything outside it: an absolute name, a ".." part, a backslash (a separator where the
// archive was made), or a drive prefix. Empty and "." parts are dropped.
std::optional<std::vector<std::string>> memberParts(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string_view::npos) {
        return std::nullopt;
    }
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return std::nullopt;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        const std::string_view part = name.substr(start, slash - start);
        if (part == "..") {
            return std::nullopt;
        }
        if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        start = slash + 1;
    }
    if (parts.empty()) {
        return std::nullopt;
    }
    return parts;
}

bool matchesMask(const QString& mask, const std::string& fileName) {
    const QString pattern = mask.trimmed();
    if (pattern.isEmpty() || pattern == QStringLiteral("*.*") || pattern == QStringLiteral("*")) {
        return true;
    }
    const QRegularExpression expression(QRegularExpression::wildcardToRegularExpression(pattern),
                                        QRegularExpression::CaseInsensitiveOption);
    return expression.match(QString::fromUtf8(fileName)).hasMatch();
}

struct PlannedMember {
    zip_uint64_t index = 0;
    std::vector<std::string> parts;
    bool isFolder = false;
};

std::string joined(const std::vector<std::string>& parts) {
    std::string path;
    for (const std::string& part : parts) {
        if (!path.empty()) {
            path += '/';
        }
        path += part;
    }
    return path;
}

// Walks down from the target folder, creating missing folders. O_NOFOLLOW on every step is what
// stops a symbolic link, whether it was there before or an earlier member tried to plant one,
// from carrying a member out of the target folder.
int16_t openFolderChain(int rootFd, const std::vector<std::string>& parts, std::size_t count,
                        UniqueFd& folder) {
    folder = UniqueFd(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
    if (!folder.valid()) {
        return unzipCodeForErrno(errno);
    }
    for (std::size_t i = 0; i < count; ++i) {
        const char* part = parts[i].c_str();
        if (::mkdirat(folder.get(), part, 0700) != 0 && errno != EEXIST) {
            return unzipCodeForErrno(errno);
        }
        UniqueFd next(
            ::openat(folder.get(), part, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.valid()) {
            return unzipCodeForErrno(errno);
        }
        folder = std::move(next);
    }
    return 0;
}

UniqueFd createTemporary(int folderFd, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = ".brindmar-" + std::to_string(QRandomGenerator::global()->generate64());
        UniqueFd fd(::openat(folderFd, name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.valid() || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return UniqueFd();
}

// Puts the finished member in place. Replacing swaps the directory entry, so an existing file is
// replaced whole or not at all; keeping refuses any existing entry, atomically where the file
// system supports it and through a hard link (which also refuses) where it does not.
int16_t placeMember(int folderFd, const std::string& temporary, const std::string& name,
                    bool replace) {
    if (replace) {
        if (::renameat(folderFd, temporary.c_str(), folderFd, name.c_str()) == 0) {
            return 0;
        }
        return unzipCodeForErrno(errno);
    }
    if (::renameat2(folderFd, temporary.c_str(), folderFd, name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return unzipCodeForErrno(errno);
    }
    if (::linkat(folderFd, temporary.c_str(), folderFd, name.c_str(), 0) != 0) {
        return unzipCodeForErrno(errno);
    }
    ::unlinkat(folderFd, temporary.c_str(), 0);
    return 0;
}

bool isAes(const zip_stat_t& stat) {
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0) {
        return false;
    }
    return stat.encryption_method == ZIP_EM_AES_128 || stat.encryption_method == ZIP_EM_AES_192 ||
           stat.encryption_method == ZIP_EM_AES_256;
}

// Reads one opening of a member to its end; out receives the data when given. Data beyond limit
// (the size the directory declares) is an inconsistency, and stopping there keeps a member that
// inflates without end from filling the disk before libzip would notice at the end.
int16_t readMember(zip_t* archive, zip_uint64_t index, zip_flags_t flags, int outFd,
                   bool crcIsBlank, zip_uint64_t limit, zip_uint64_t& total) {
    zip_file_t* member = zip_fopen_index(archive, index, flags);
    if (member == nullptr) {
        return unzipCodeFor(errorOf(zip_get_error(archive)));
    }
    // AE-2 archives (7-Zip, WinZip) store a CRC of 0 and rely on the authentication code; this
    // libzip checks the CRC anyway, so that one complaint is set aside once the authentication
    // code has been verified and the length matches.
    const auto failed = [crcIsBlank](int zipError) {
        return zipError != ZIP_ER_OK && !(crcIsBlank && zipError == ZIP_ER_CRC);
    };
    int16_t code = 0;
    total = 0;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const zip_int64_t got = zip_fread(member, buffer.data(), buffer.size());
        if (got < 0) {
            const LibZipError error = errorOf(zip_file_get_error(member));
            if (failed(error.zip)) {
                code = unzipCodeFor(error);
            }
            break;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<zip_uint64_t>(got);
        if (total > limit) {
            code = kUnzipFileCorrupted;
            break;
        }
        if (outFd >= 0 && !writeAll(outFd, buffer.data(), static_cast<std::size_t>(got))) {
            code = unzipCodeForErrno(errno);
            break;
        }
    }
    const int closeError = zip_fclose(member);
    if (code == 0 && failed(closeError)) {
        code = unzipCodeFor(errorOfOpen(closeError));
    }
    return code;
}

int16_t copyMember(zip_t* archive, zip_uint64_t index, int outFd) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0) {
        return unzipCodeFor(errorOf(zip_get_error(archive)));
    }
    if ((stat.valid & ZIP_STAT_SIZE) == 0) {
        return kUnzipErrorInZipFile;
    }
    // Asked to open a member whose encryption it cannot undo (PKWARE strong encryption, an
    // unknown method) while a password is set, libzip refuses but leaks the reader it had begun
    // to build; refused here, the outcome is the same without the leak.
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE &&
        zip_encryption_method_supported(stat.encryption_method, 0) == 0) {
        return kUnzipFileLocked;
    }
    zip_uint64_t total = 0;
    const bool aes = isAes(stat);
    if (aes) {
        // The authentication code follows the data, and the decompressing reader stops at the
        // end of the compressed stream without looking at it; reading the decrypted but still
        // compressed data to its end is what makes libzip check it.
        if (const int16_t code = readMember(archive, index, ZIP_FL_COMPRESSED, -1, false,
                                            std::numeric_limits<zip_uint64_t>::max(), total)) {
            return code;
        }
    }
    const bool crcIsBlank = aes && (stat.valid & ZIP_STAT_CRC) != 0 && stat.crc == 0;
    if (const int16_t code = readMember(archive, index, 0, outFd, crcIsBlank, stat.size, total)) {
        return code;
    }
    if (total != stat.size) {
        return kUnzipFileCorrupted;
    }
    return 0;
}

void keepModificationTime(zip_t* archive, zip_uint64_t index, int fd) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_MTIME) == 0) {
        return;
    }
    const std::array<timespec, 2> times = {timespec{0, UTIME_OMIT}, timespec{stat.mtime, 0}};
    ::futimens(fd, times.data());
}

// The permissions the archive records for a member made on a Unix system, else the usual ones of
// a new file; either as the umask allows.
mode_t recordedMode(zip_t* archive, zip_uint64_t index) {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    const bool recorded =
        zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX && ((attributes >> 16) & 0777) != 0;
    return (recorded ? (attributes >> 16) & 0777 : 0666) & ~mask;
}

int16_t extractMember(zip_t* archive, int rootFd, const PlannedMember& member, bool replace,
                      bool recordedModes) {
    const std::size_t folderParts = member.isFolder ? member.parts.size() : member.parts.size() - 1;
    UniqueFd folder;
    if (const int16_t code = openFolderChain(rootFd, member.parts, folderParts, folder)) {
        return code;
    }
    if (member.isFolder) {
        return 0;
    }
    std::string temporary;
    UniqueFd out = createTemporary(folder.get(), temporary);
    if (!out.valid()) {
        return unzipCodeForErrno(errno);
    }
    int16_t code = copyMember(archive, member.index, out.get());
    if (code == 0) {
        keepModificationTime(archive, member.index, out.get());
        if (recordedModes && ::fchmod(out.get(), recordedMode(archive, member.index)) != 0) {
            code = unzipCodeForErrno(errno);
        }
    }
    if (out.close() != 0 && code == 0) {
        code = unzipCodeForErrno(errno);
    }
    if (code == 0) {
        code = placeMember(folder.get(), temporary, member.parts.back(), replace);
    }
    if (code != 0) {
        ::unlinkat(folder.get(), temporary.c_str(), 0);
    }
    return code;
}

} // namespace

ZipStatus LibZipService::ZSUnzipFiles(const QString& archivePath, const QString& mask,
                                      const QString& targetFolder, int16_t unzipOption,
                                      const std::string& password) {
    libzipSystemError() = 0;
    const QByteArray native = nativePath(archivePath);
    if (existsAsSpecialFile(native)) {
        return kUnzipErrorInZipFile;
    }
    int openError = ZIP_ER_OK;
    const ArchiveHandle archive(
        zip_open(native.constData(), ZIP_RDONLY | ZIP_CHECKCONS, &openError));
    if (archive.get() == nullptr) {
        return unzipCodeFor(errorOfOpen(openError));
    }
    if (!password.empty() && zip_set_default_password(archive.get(), password.c_str()) != 0) {
        return kUnzipNotEnoughMemory;
    }

    // Every name is judged before anything is written, so a hostile member cannot leave part of
    // the archive behind.
    std::vector<PlannedMember> plan;
    bool anyFile = false;
    zip_uint64_t declaredTotal = 0;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* name = zip_get_name(archive.get(), index, ZIP_FL_ENC_GUESS);
        if (name == nullptr) {
            return kUnzipFileCorrupted;
        }
        const std::string_view nameView(name);
        auto parts = memberParts(nameView);
        if (!parts) {
            return kUnzipChangeNotPermitted;
        }
        const bool isFolder = nameView.back() == '/';
        if (!isFolder && !matchesMask(mask, parts->back())) {
            continue;
        }
        if (!isFolder) {
            zip_stat_t stat;
            zip_stat_init(&stat);
            if (zip_stat_index(archive.get(), index, 0, &stat) != 0 ||
                (stat.valid & ZIP_STAT_SIZE) == 0 || stat.size > kLargestMember) {
                return kUnzipErrorInZipFile;
            }
            declaredTotal += stat.size;
            anyFile = true;
        }
        plan.push_back({index, std::move(*parts), isFolder});
    }
    if (!anyFile) {
        return kUnzipFileEmpty;
    }

    const UniqueFd root(
        ::open(nativePath(targetFolder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.valid()) {
        return errno == ENOENT ? kUnzipCannotAccessMedia : unzipCodeForErrno(errno);
    }
    // The sizes are the archive's claims, but reading stops where a member outgrows its claim,
    // so what fits here is all that can be written.
    struct statvfs space {};
    if (::fstatvfs(root.get(), &space) == 0 &&
        declaredTotal > static_cast<zip_uint64_t>(space.f_bavail) * space.f_frsize) {
        return kUnzipDiskFull;
    }
    const bool replace = (unzipOption & ~kUnzipRecordedModes) == kUnzipReplaceExisting;
    const bool recordedModes = (unzipOption & kUnzipRecordedModes) != 0;
    if (!replace) {
        for (const PlannedMember& member : plan) {
            struct stat info {};
            if (!member.isFolder && ::fstatat(root.get(), joined(member.parts).c_str(), &info,
                                              AT_SYMLINK_NOFOLLOW) == 0) {
                return kUnzipChangeNotPermitted;
            }
        }
    }
    for (const PlannedMember& member : plan) {
        if (const int16_t code =
                extractMember(archive.get(), root.get(), member, replace, recordedModes)) {
            return code;
        }
    }
    return 0;
}

} // namespace brindmar
