#pragma once

#include "operations/ZipService.h"

namespace brindmar {

// The errno behind the last status this thread's ZIP calls turned one into; 0 when none.
int& libzipSystemError();

// The ZIP service over libzip. Archives written here are standard ZIP files, WinZip AES-256
// encrypted when a password is given, so other tools open them. Every archive read is treated as
// hostile: it is opened with libzip's consistency check, every member is read to its end (AES
// damage shows only in the authentication code after the data), a member is written under a
// temporary name and put in place only once it has been read in full, and a member whose name
// would land outside the target folder fails the whole unzip before anything is written.
class LibZipService final : public ZipService {
public:
    ZipStatus ZSInitialize() override;
    ZipStatus ZSCreateBlankZIPFile(const QString& archivePath) override;
    ZipStatus ZSGetNewZIPName(QString& name) override;
    ZipStatus ZSZipFiles(const QString& archivePath, const QString& documentPath,
                         const std::string& password) override;
    ZipStatus ZSIsZIPFileQuick(const QString& path) override;
    ZipStatus ZSUnzipFiles(const QString& archivePath, const QString& mask,
                           const QString& targetFolder, int16_t unzipOption,
                           const std::string& password) override;
    int lastSystemError() const override { return libzipSystemError(); }

private:
    QString m_lastCreated;
};

} // namespace brindmar
