#include "util/SelectFile.h"

#include "util/PathHelpers.h"
#include "util/TrimBlanks.h"

#include <QDir>
#include <QFileInfo>

namespace brindmar {

QString SelectFile(uint8_t& mode, FileDialogRequest request, QString& requiredExtension,
                   UiServices& ui) {
    requiredExtension = trimBlanks(requiredExtension).toLower();
    request.title = trimBlanks(request.title);
    const bool folderKind = (mode & kSelectKindMask) == kSelectFolder;
    if (folderKind || (mode & kSelectKeepPresetName) == 0) {
        request.fileName.clear();
    }

    const std::optional<QString> choice =
        folderKind ? ui.chooseFolder(request) : ui.chooseFile(request);
    if (!choice) {
        ui.processPendingEvents();
        mode = kSelectCancelled;
        return {};
    }
    mode = static_cast<uint8_t>(mode & ~kSelectKeepPresetName);

    QString chosen = *choice;
    if (folderKind) {
        // A folder dialog returns the folder itself; the callers want it as FolderOf gives it.
        if (!chosen.endsWith(QDir::separator())) {
            chosen += QDir::separator();
        }
        return FolderOf(chosen);
    }
    if (BaseNameOf(chosen).isEmpty()) {
        mode = kSelectNoBaseName;
        return {};
    }
    // Blanks at the ends of a file's name are part of it here: a file the dialog names exactly
    // is kept exactly, and only a choice that names nothing is trimmed.
    if (*choice != chosen && QFileInfo(*choice).isFile()) {
        chosen = *choice;
    }
    if (requiredExtension.isEmpty()) {
        return chosen;
    }
    QString trimmed = chosen;
    const QString extension = ExtensionOf(trimmed);
    if (extension.isEmpty()) {
        return chosen.endsWith(u'.') ? chosen + requiredExtension
                                     : chosen + u'.' + requiredExtension;
    }
    if (extension != requiredExtension) {
        mode = kSelectWrongExtension;
        return {};
    }
    return chosen;
}

} // namespace brindmar
