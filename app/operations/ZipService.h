#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace brindmar {

// A status of the ZIP service, or nullopt when the service could not be called at all. The
// workflows decide what an unreachable service means to them; no status stands in for it, so a
// missing service can never read as the status 0 that means success.
using ZipStatus = std::optional<int16_t>;

// The service's Boolean true, returned by a create that succeeded.
inline constexpr int16_t kZipTrue = -1;

// Unzip options: 1 lets a member replace a file of the same name in the target folder; any other
// value keeps an existing file and fails the unzip instead (the ZIP tool unpacks into a folder of
// the user's own files).
inline constexpr int16_t kUnzipReplaceExisting = 1;
inline constexpr int16_t kUnzipKeepExisting = 2;
// Added to an unzip option: each member gets the permissions the archive records for it, as the
// user's umask allows, or those of any new file of the user's where it records none, rather than
// the private 0600 of a document that comes out of an image.
inline constexpr int16_t kUnzipRecordedModes = 4;

// ZSIsZIPFileQuick: the file could not be read, so whether it is an archive is not known.
inline constexpr int16_t kZipCheckUnreadable = 2;

// Unzip failure codes, each with a text of the string table.
inline constexpr int16_t kUnzipInternalError = 1;
inline constexpr int16_t kUnzipFileNotFound = 2;
inline constexpr int16_t kUnzipFileCorrupted = 3;
inline constexpr int16_t kUnzipFileEmpty = 4;
inline constexpr int16_t kUnzipErrorInZipFile = 5;
inline constexpr int16_t kUnzipNotEnoughMemory = 6;
inline constexpr int16_t kUnzipDiskFull = 8;
inline constexpr int16_t kUnzipFileLocked = 11; // no password or the wrong one
inline constexpr int16_t kUnzipCannotAccessMedia = 12;
inline constexpr int16_t kUnzipDriveReadOnly = 14;
inline constexpr int16_t kUnzipChangeNotPermitted = 17; // refused member, kept file, EACCES

// Zip failure codes, each with a text of the string table.
inline constexpr int16_t kZipDestinationError = 2;
inline constexpr int16_t kZipInternalError = 3;
inline constexpr int16_t kZipNotAZipFile = 4;
inline constexpr int16_t kZipNotEnoughMemory = 5;
inline constexpr int16_t kZipCouldNotProcess = 6; // the document cannot be read
inline constexpr int16_t kZipCannotEncrypt = 10;
inline constexpr int16_t kZipAccessDenied = 13;
inline constexpr int16_t kZipDriveReadOnly = 15;
inline constexpr int16_t kZipDiskFull = 16;

// Compression and password encryption of documents. Paths are the program's own text; the
// password is the 8-bit text derived from the code, empty for none.
class ZipService {
public:
    virtual ~ZipService() = default;

    // Above 1: the service cannot work and the program must not start.
    virtual ZipStatus ZSInitialize() = 0;

    // 0: failed; otherwise an empty archive now exists at the path, replacing any file there.
    virtual ZipStatus ZSCreateBlankZIPFile(const QString& archivePath) = 0;

    // Fills name with the archive the last create made. Callers ignore the status.
    virtual ZipStatus ZSGetNewZIPName(QString& name) = 0;

    // 0: the archive holds the document under its file name, AES-256 encrypted when a password
    // is given. Failures are 2 to 17.
    virtual ZipStatus ZSZipFiles(const QString& archivePath, const QString& documentPath,
                                 const std::string& password) = 0;

    // 0: the file is a ZIP archive.
    virtual ZipStatus ZSIsZIPFileQuick(const QString& path) = 0;

    // 0: every member matching mask ("*.*" for all) is written into targetFolder under its
    // stored name. Failures are 1 to 17.
    virtual ZipStatus ZSUnzipFiles(const QString& archivePath, const QString& mask,
                                   const QString& targetFolder, int16_t unzipOption,
                                   const std::string& password) = 0;

    // The system's reason (an errno) behind the last zip or unzip that failed on this thread,
    // 0 when it gave none: a status such as "Disk full" says what, not why.
    virtual int lastSystemError() const { return 0; }
};

// The text for a failure of ZSUnzipFiles (codes 1 to 17) or ZSZipFiles (codes 2 to 17), followed
// by " (", the code and ")"; empty for any other code.
QString unzipFailureText(int code);
QString zipFailureText(int code);

// The text for a ZSCreateBlankZIPFile that failed (status 0), or a service that cannot be called.
QString createFailureText();

// What the zip service said of a step that failed, in words: its text and status, then the
// system's reason where there is one; empty where it could not say.
enum class ZipStep { Create, NotZip, Zip, Unzip };
QString zipStepFailureText(ZipStep step, int status, int error);

} // namespace brindmar
