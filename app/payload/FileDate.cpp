#include "payload/FileDate.h"

#include "payload/DosDateTime.h"

namespace brindmar {

std::string ReadFileDate(const Platform& platform, const QString& path) {
    const std::optional<FileTimes> times = platform.readFileTimes(path);
    if (!times) {
        return formatDateField({}, {});
    }
    return formatDateField(toDosDateTime(times->creation), toDosDateTime(times->lastWrite));
}

bool WriteFileDate(const Platform& platform, const QString& origPath, std::string_view origDate) {
    const std::array<uint16_t, 4> words = parseDateField(origDate);
    const std::optional<int64_t> lastWrite = fromDosDateTime({words[2], words[3]});
    if (!lastWrite) {
        return true;
    }
    return platform.writeLastWriteTime(origPath, *lastWrite);
}

bool KeepFileDate(const Platform& platform, const QString& from, std::string_view fromDate,
                  const QString& to) {
    const std::array<uint16_t, 4> words = parseDateField(fromDate);
    if (fromDosDateTime({words[2], words[3]})) {
        return WriteFileDate(platform, to, fromDate);
    }
    const std::optional<FileTimes> times = platform.readFileTimes(from);
    return times && platform.writeLastWriteTime(to, times->lastWrite);
}

} // namespace brindmar
