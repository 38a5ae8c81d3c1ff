#include "operations/WipeFile.h"

#include "operations/Engine.h"
#include "util/ConfirmReplace.h"
#include "util/PathHelpers.h"
#include "util/StringTable.h"
#include "util/UiServices.h"

#include <QFile>
#include <QFileInfo>
#include <limits>
#include <sys/stat.h>

namespace brindmar {

namespace {

constexpr int32_t kEngineWritten = -1;

int16_t overwriteAndDelete(const QString& path, uint8_t mode, Engine& engine, UiServices& ui,
                           const WipeWindowHooks& hooks) {
    if (!FileExists(path) || wipeRefusal(path)) {
        return kWipeFailed;
    }
    if (hooks.resetWindow) {
        hooks.resetWindow();
    }
    const qint64 length = QFileInfo(path).size();
    if (length > std::numeric_limits<int32_t>::max()) {
        return kWipeFailed;
    }
    if (length > 0) {
        const EngineStatus status = engine.wipefile(static_cast<int32_t>(length), path);
        // Only -1 means the zeros were written and synced. -6 (no write access, or the write
        // failed) and a missing engine leave the old contents where they were.
        if (!status || *status != kEngineWritten) {
            return kWipeFailed;
        }
    }
    switch (ConfirmReplaceFile(path, mode, ui)) {
    case kReplaceCancelled:
        return kWipeKept;
    case kReplaceDeleteFailed:
        return kWipeDeleteFailed;
    default:
        return kWipeDone;
    }
}

} // namespace

WipeRefusal wipeRefusal(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    if (S_ISLNK(st.st_mode)) {
        // The engine opens by path and would write through the link into a file nobody named.
        return {WipeRefusal::Kind::Link, 1};
    }
    if (S_ISREG(st.st_mode) && st.st_nlink > 1) {
        return {WipeRefusal::Kind::OtherNames, uint64_t{st.st_nlink}};
    }
    return {};
}

int16_t WipeAndDeleteFile(const QString& path, uint8_t mode, Engine& engine, UiServices& ui,
                          const WipeWindowHooks& hooks) {
    ui.setMousePointer(MousePointer::Hourglass);
    if (hooks.showProcessCaption) {
        hooks.showProcessCaption(StringTable::builtin().text(TextId::WipeTitle));
    }
    mode = static_cast<uint8_t>(mode | kConfirmSkipOverwriteQuestion | kConfirmDeleteWording);
    const int16_t result = overwriteAndDelete(path, mode, engine, ui, hooks);
    if (hooks.hideProcessCaption) {
        hooks.hideProcessCaption();
    }
    ui.setMousePointer(MousePointer::Default);
    return result;
}

} // namespace brindmar
