#include "operations/DiskSpace.h"

#include "util/TrimBlanks.h"

#include <algorithm>
#include <limits>

namespace brindmar {

namespace {

constexpr uint64_t kLargestReported = std::numeric_limits<int32_t>::max();

std::optional<SpaceShortage> shortage(const Platform& platform, const QString& folder,
                                      int32_t neededBytes, bool workFolder) {
    const int32_t freeBytes = DriveFreeBytes(platform, folder);
    if (freeBytes < 0 || neededBytes <= freeBytes) {
        return std::nullopt;
    }
    return SpaceShortage{folder, freeBytes, workFolder};
}

} // namespace

int32_t DriveFreeBytes(const Platform& platform, const QString& folder) {
    const QString trimmed = trimBlanks(folder);
    if (trimmed.isEmpty()) {
        return -1;
    }
    const std::optional<uint64_t> bytes = platform.freeBytes(trimmed);
    if (!bytes) {
        return -1;
    }
    return static_cast<int32_t>(std::min(*bytes, kLargestReported));
}

std::optional<SpaceShortage> TempSpaceShortage(const Platform& platform, const QString& tempFolder,
                                               int32_t neededBytes) {
    return shortage(platform, tempFolder, neededBytes, true);
}

std::optional<SpaceShortage> OutputSpaceShortage(const Platform& platform,
                                                 const QString& outputFolder, int32_t neededBytes) {
    return shortage(platform, outputFolder, neededBytes, false);
}

} // namespace brindmar
