#pragma once

#include "util/Platform.h"

namespace brindmar {

class LinuxPlatform final : public Platform {
public:
    std::optional<FileTimes> readFileTimes(const QString& path) const override;
    bool writeLastWriteTime(const QString& path, int64_t seconds) const override;
    std::optional<uint64_t> freeBytes(const QString& folder) const override;
};

} // namespace brindmar
