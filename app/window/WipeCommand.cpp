#include "window/WipeCommand.h"

#include "util/PathHelpers.h"
#include "util/SelectFile.h"
#include "util/StringTable.h"
#include "util/TrimBlanks.h"
#include "util/UiServices.h"

namespace brindmar {

namespace {

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

void report(UiServices& ui, Sound sound, TextId message, TextId title, MessageIcon icon) {
    ui.alert(sound);
    ui.showMessage(Message{text(title), text(message), icon});
}

// Runs the dialog; empty when no usable file was chosen (the user has been told why).
QString chooseFileToWipe(WindowModel& model, UiServices& ui, const WipeCommandHooks& hooks) {
    uint8_t mode = 0;
    FileDialogRequest request;
    request.title = text(TextId::SelectWipeDialogTitle);
    request.filter = QStringLiteral("All Files|*.*");
    if (!model.documentFolder.isEmpty()) {
        request.initialFolder = model.documentFolder;
    }
    if (model.hasOption(option::JustEmbedded) && !model.documentPathCopy.isEmpty() &&
        FileExists(model.documentPathCopy)) {
        request.fileName = model.documentPathCopy;
        mode |= kSelectKeepPresetName;
    }
    QString noExtension;
    const QString chosen = SelectFile(mode, request, noExtension, ui);
    if (mode == kSelectNoBaseName || mode == kSelectWrongExtension) {
        report(ui, Sound::Error,
               mode == kSelectNoBaseName ? TextId::InvalidFilename : TextId::InvalidFileExtension,
               TextId::FileSelectErrorTitle, MessageIcon::Critical);
        if (hooks.clearDocumentPathBox) {
            hooks.clearDocumentPathBox();
        }
        return {};
    }
    if (mode >= kSelectCancelled) {
        return {};
    }
    return trimBlanks(chosen);
}

void wipeConfirmed(WindowModel& model, const QString& path, Engine& engine, UiServices& ui,
                   const WipeCommandHooks& hooks) {
    switch (WipeAndDeleteFile(path, 1, engine, ui, hooks.wipe)) {
    case kWipeFailed:
        report(ui, Sound::Error, TextId::WipeFailed, TextId::WipeTitle, MessageIcon::Exclamation);
        break;
    case kWipeDeleteFailed:
        report(ui, Sound::Error, TextId::WipeDeleteFailed, TextId::WipeTitle,
               MessageIcon::Exclamation);
        break;
    case kWipeDone: {
        QString wiped = path;
        model.documentFolder = FolderOf(wiped);
        report(ui, Sound::Success, TextId::WipeSucceeded, TextId::CompletionTitle,
               MessageIcon::None);
        break;
    }
    default: // the user kept the emptied file; nothing to add
        break;
    }
}

} // namespace

void WipeCommand(WindowModel& model, Engine& engine, UiServices& ui,
                 const WipeCommandHooks& hooks) {
    if ((model.pointerMarks & pointer::CropShape) != 0 && hooks.normalPointer) {
        hooks.normalPointer();
    }
    if (hooks.resetProgressBar) {
        hooks.resetProgressBar();
    }
    model.helpContext = topic::Wipe;

    const QString path = chooseFileToWipe(model, ui, hooks);
    if (!path.isEmpty()) {
        ui.setMousePointer(MousePointer::Hourglass);
        ui.alert(Sound::Attention);
        const MessageAnswer answer =
            ui.showMessage(Message{text(TextId::WipeTitle), text(TextId::ConfirmDeleteOf) + path,
                                   MessageIcon::Exclamation, MessageButtons::OkCancel});
        if (answer == MessageAnswer::Ok) {
            wipeConfirmed(model, path, engine, ui, hooks);
        }
        ui.setMousePointer(MousePointer::Default);
    }
    model.optionMarks &= static_cast<uint8_t>(~option::JustEmbedded);
}

} // namespace brindmar
