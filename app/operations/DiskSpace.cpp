#include "operations/DiskSpace.h"

#include "util/TrimBlanks.h"

#include <algorithm>
#include <limits>

namespace brindmar {

namespace {

constexpr uint64_t kLargestReported = std::numeric_limits<int32_t>::max();

bool checkSpace(UiServices& ui, const Platform& platform, const QString& folder,
                int32_t neededBytes, const QString& problem) {
    const int32_t freeBytes = DriveFreeBytes(platform, folder);
    if (freeBytes < 0 || neededBytes <= freeBytes) {
        return true;
    }
    ui.setMousePointer(MousePointer::Default);
    ui.alert(Sound::Error);
    Message message;
    message.title = QStringLiteral("Disk Space Problem");
    message.text = problem + u'\n' + QStringLiteral("Space available on drive ") + folder +
                   QStringLiteral(" = ") + QString::number(freeBytes) + QStringLiteral(" bytes.") +
                   u'\n' + QStringLiteral("Please re-run after freeing-up disk space.");
    message.icon = MessageIcon::Critical;
    ui.showMessage(message);
    return false;
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

bool CheckTempSpace(UiServices& ui, const Platform& platform, const QString& tempFolder,
                    int32_t neededBytes) {
    // The "\n" inside the first sentence is a backslash and a letter n, as the text was written.
    return checkSpace(ui, platform, tempFolder, neededBytes,
                      QStringLiteral("The Hard Disk used for temporary files has insufficient "
                                     "space for  \\nBrindMar to run."));
}

bool CheckOutputSpace(UiServices& ui, const Platform& platform, const QString& outputFolder,
                      int32_t neededBytes) {
    return checkSpace(ui, platform, outputFolder, neededBytes,
                      QStringLiteral("The disk for the output file has insufficient space."));
}

} // namespace brindmar
