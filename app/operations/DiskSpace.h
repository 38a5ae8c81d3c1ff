#pragma once

#include "util/Platform.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace brindmar {

// Free bytes on the file system of a folder, capped at 2147483647; -1 when unknown (an empty or
// relative path, or the system cannot tell).
int32_t DriveFreeBytes(const Platform& platform, const QString& folder);

// A folder without room for what an operation will write there.
struct SpaceShortage {
    QString folder; // as it was given
    int32_t freeBytes = 0;
    // The private folder of the work files, not one the user chose.
    bool workFolder = false;
};

// The shortage of the temporary folder for neededBytes, if it has not the room. An unknown free
// space never stops an operation.
std::optional<SpaceShortage> TempSpaceShortage(const Platform& platform, const QString& tempFolder,
                                               int32_t neededBytes);

// The same for the folder that will receive the output.
std::optional<SpaceShortage> OutputSpaceShortage(const Platform& platform,
                                                 const QString& outputFolder, int32_t neededBytes);

} // namespace brindmar
