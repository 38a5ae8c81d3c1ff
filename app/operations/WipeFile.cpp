#include "operations/WipeFile.h"

#include "operations/Engine.h"
#include "util/ConfirmReplace.h"
#include "util/PathHelpers.h"
#include "util/StringTable.h"
#include "util/UiServices.h"

#include <QFileInfo>
#include <limits>

namespace brindmar {

namespace {

constexpr int32_t kEngineWritten = -1;

int16_t overwriteAndDelete(const QString& path, uint8_t mode, Engine& engine, UiServices& ui,
                           const WipeWindowHooks& hooks) {
    // The engine opens by path and would write through a link into a file nobody named.
    if (!FileExists(path) || QFileInfo(path).isSymLink()) {
        return kWipeFailed;
    }
    if (hooks.resetWindow) {
        hooks.resetWindow();
    }
    const qint64 length = QFileInfo(path).size();
    if (length > std::numeric_limits<int32_t>::max()) {
        return kWipeFailed;
    }
    const EngineStatus status = engine.wipefile(static_cast<int32_t>(length), path);
    // Only -1 means the zeros were written. 0 (an empty file: nothing to overwrite), -6 (no
    // write access) and a missing engine all leave the old contents where they were.
    if (!status || *status != kEngineWritten) {
        return kWipeFailed;
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
