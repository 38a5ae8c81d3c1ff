#pragma once

// A ZIP service for failure paths: it passes calls on to the real service unless told to fail an
// operation with a given code, or to play a service that cannot be called at all ("missing").
// Every call is logged, so that a test can check which operations a workflow asked for and in
// what order.

#include "operations/LibZipService.h"

#include <QString>
#include <map>
#include <vector>

namespace brindmar::testing {

class FakeZipService final : public ZipService {
public:
    enum class Operation { Initialize, CreateBlank, GetNewName, ZipFiles, IsZipQuick, UnzipFiles };

    struct Call {
        Operation operation = Operation::Initialize;
        QString path; // the archive, or the file checked
        std::string password;
        int16_t unzipOption = 0;
    };

    // Every later call of the operation returns code without doing anything.
    void failWith(Operation operation, int16_t code) { m_failures[operation] = code; }
    void clearFailures() { m_failures.clear(); }
    // Missing: every call returns nullopt, as when the service cannot be loaded.
    void setMissing(bool missing) { m_missing = missing; }

    const std::vector<Call>& calls() const { return m_calls; }
    std::vector<Operation> operations() const;

    ZipStatus ZSInitialize() override;
    ZipStatus ZSCreateBlankZIPFile(const QString& archivePath) override;
    ZipStatus ZSGetNewZIPName(QString& name) override;
    ZipStatus ZSZipFiles(const QString& archivePath, const QString& documentPath,
                         const std::string& password) override;
    ZipStatus ZSIsZIPFileQuick(const QString& path) override;
    int lastSystemError() const override { return m_real.lastSystemError(); }
    ZipStatus ZSUnzipFiles(const QString& archivePath, const QString& mask,
                           const QString& targetFolder, int16_t unzipOption,
                           const std::string& password) override;

private:
    // The scripted answer for the call, or nullopt to let the real service answer.
    std::optional<ZipStatus> scripted(Call call);

    LibZipService m_real;
    std::map<Operation, int16_t> m_failures;
    bool m_missing = false;
    std::vector<Call> m_calls;
};

} // namespace brindmar::testing
