#include "FakeZipService.h"

namespace brindmar::testing {

std::vector<FakeZipService::Operation> FakeZipService::operations() const {
    std::vector<Operation> result;
    for (const Call& call : m_calls) {
        result.push_back(call.operation);
    }
    return result;
}

std::optional<ZipStatus> FakeZipService::scripted(Call call) {
    const Operation operation = call.operation;
    m_calls.push_back(std::move(call));
    libzipSystemError() = 0; // a scripted status comes with no reason of the system's
    if (m_missing) {
        return ZipStatus();
    }
    const auto failure = m_failures.find(operation);
    if (failure != m_failures.end()) {
        return ZipStatus(failure->second);
    }
    return std::nullopt;
}

ZipStatus FakeZipService::ZSInitialize() {
    if (auto answer = scripted({Operation::Initialize, {}, {}, 0})) {
        return *answer;
    }
    return m_real.ZSInitialize();
}

ZipStatus FakeZipService::ZSCreateBlankZIPFile(const QString& archivePath) {
    if (auto answer = scripted({Operation::CreateBlank, archivePath, {}, 0})) {
        return *answer;
    }
    return m_real.ZSCreateBlankZIPFile(archivePath);
}

ZipStatus FakeZipService::ZSGetNewZIPName(QString& name) {
    if (auto answer = scripted({Operation::GetNewName, {}, {}, 0})) {
        return *answer;
    }
    return m_real.ZSGetNewZIPName(name);
}

ZipStatus FakeZipService::ZSZipFiles(const QString& archivePath, const QString& documentPath,
                                     const std::string& password) {
    if (auto answer = scripted({Operation::ZipFiles, archivePath, password, 0})) {
        return *answer;
    }
    return m_real.ZSZipFiles(archivePath, documentPath, password);
}

ZipStatus FakeZipService::ZSIsZIPFileQuick(const QString& path) {
    if (auto answer = scripted({Operation::IsZipQuick, path, {}, 0})) {
        return *answer;
    }
    return m_real.ZSIsZIPFileQuick(path);
}

ZipStatus FakeZipService::ZSUnzipFiles(const QString& archivePath, const QString& mask,
                                       const QString& targetFolder, int16_t unzipOption,
                                       const std::string& password) {
    if (auto answer = scripted({Operation::UnzipFiles, archivePath, password, unzipOption})) {
        return *answer;
    }
    return m_real.ZSUnzipFiles(archivePath, mask, targetFolder, unzipOption, password);
}

} // namespace brindmar::testing
