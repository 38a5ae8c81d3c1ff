#pragma once

#include "util/Platform.h"
#include "util/UiServices.h"

#include <QString>
#include <cstdint>

namespace brindmar {

// Free bytes on the file system of a folder, capped at 2147483647; -1 when unknown (an empty or
// relative path, or the system cannot tell).
int32_t DriveFreeBytes(const Platform& platform, const QString& folder);

// True when the temporary folder has room for neededBytes; otherwise tells the user and returns
// false. An unknown free space never stops an operation.
bool CheckTempSpace(UiServices& ui, const Platform& platform, const QString& tempFolder,
                    int32_t neededBytes);

// The same for the folder that will receive the output; the message names the folder as given.
bool CheckOutputSpace(UiServices& ui, const Platform& platform, const QString& outputFolder,
                      int32_t neededBytes);

} // namespace brindmar
