#pragma once

#include "util/Platform.h"

#include <QString>
#include <string>
#include <string_view>

namespace brindmar {

// The 24-character date field for a file's creation and last-write times; all four numbers 0
// when the file cannot be opened.
std::string ReadFileDate(const Platform& platform, const QString& path);

// Gives the file the last-write time of a date field and keeps its access time. A creation time
// cannot be set on Linux, so the field's creation numbers are not applied. A file that cannot be
// opened for writing, or a last-write pair that names no real moment, changes nothing. False
// only when there was a time to set and the file would not take it.
bool WriteFileDate(const Platform& platform, const QString& origPath, std::string_view origDate);

// Gives `to` the last-write time of `from`, whose date field (ReadFileDate) is fromDate: through
// the field where it holds the time, and as the file has it where it cannot (before 1980, after
// 2107), so that a carrier's times asked to be kept are never left unkept in silence. False when
// the time could not be had or set.
bool KeepFileDate(const Platform& platform, const QString& from, std::string_view fromDate,
                  const QString& to);

} // namespace brindmar
