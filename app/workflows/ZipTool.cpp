#include "workflows/ZipTool.h"

#include "operations/ZipService.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "util/SelectFile.h"
#include "workflows/DocumentPacking.h"
#include "workflows/ExtractDocument.h"
#include "workflows/WindowReset.h"

namespace brindmar {

namespace {

void show(WorkflowContext& ctx, TextId title, const QString& text, MessageIcon icon,
          MessageButtons buttons = MessageButtons::Ok) {
    ctx.render();
    ctx.ui.showMessage(Message{tr(title), text, icon, buttons});
}

void unpack(WorkflowContext& ctx, QString path) {
    const QString folder = ctx.model.zipFolder;
    QString errorText;
    if (UnzipDocument(ctx, path, folder, kUnzipKeepExisting, false, errorText)) {
        if (ctx.ui.soundOn()) {
            ctx.ui.playSound(Sound::Success);
        }
        show(ctx, TextId::ZipToolTitle,
             folder + FileNameOf(path) + QStringLiteral("\n\n") + tr(TextId::EndUnzipFunction),
             MessageIcon::Information);
        return;
    }
    ctx.ui.alert(Sound::Error);
    show(ctx, TextId::ZipErrorTitle,
         tr(TextId::ErrorDuringUnzippingOf) + QStringLiteral("\n\n") + path +
             QStringLiteral("\n\n") + errorText,
         MessageIcon::Exclamation);
}

void pack(WorkflowContext& ctx, QString path) {
    const QString folder = ctx.model.zipFolder;
    const QString archive = zipToolArchivePath(path);
    if (FileExists(archive)) {
        ctx.ui.setMousePointer(MousePointer::Default);
        ctx.ui.alert(Sound::Attention);
        ctx.render();
        const MessageAnswer answer = ctx.ui.showMessage(
            Message{tr(TextId::ConfirmOverwriteTitle),
                    archive + u'\n' + tr(TextId::AlreadyExistsSuffix) + QStringLiteral("\n\n") +
                        tr(TextId::OverwriteExistingFile),
                    MessageIcon::Question, MessageButtons::OkCancel});
        ctx.ui.setMousePointer(MousePointer::Hourglass);
        if (answer != MessageAnswer::Ok) {
            return;
        }
    }
    // Packed beside the archive's place and put there only when complete: a failure leaves an
    // existing file of that name as it was, and a link there is replaced, not written through.
    ReplacementFile packed(archive, true);
    QString errorText;
    bool done = packed.isOpen() && ZipDocument(ctx, path, packed.writePath(), false, errorText);
    if (done && !packed.commit()) {
        done = false;
        errorText = systemErrorText(packed.error());
    }
    if (done) {
        if (ctx.ui.soundOn()) {
            ctx.ui.playSound(Sound::Success);
            ctx.ui.playSound(Sound::Attention);
        } else {
            ctx.ui.beep(1);
        }
        show(ctx, TextId::ZipToolTitle,
             FileNameOf(path) + tr(TextId::ZippedToDirectory) + QStringLiteral("\n\n") + folder,
             MessageIcon::Information);
        return;
    }
    if (!packed.isOpen()) {
        errorText = systemErrorText(packed.error());
    }
    ctx.ui.alert(Sound::Error);
    show(ctx, TextId::ZipErrorTitle,
         tr(TextId::ErrorDuringZippingOf) + QStringLiteral("\n\n") + path + QStringLiteral("\n\n") +
             errorText,
         MessageIcon::Exclamation);
}

} // namespace

QString zipToolArchivePath(const QString& path) {
    QString name = path;
    const QString folder = FolderOf(name);
    QString base = path;
    base = BaseNameOf(base);
    QString whole = path;
    whole = FileNameOf(whole);
    // "z1.txt" gives "z1.zip"; a name that is all extension (".profile") keeps it whole, and a
    // file that already bears the archive's name is never packed over itself.
    QString archive = folder + (base.isEmpty() ? whole : base) + QStringLiteral(".zip");
    if (archive == folder + whole) {
        archive = folder + whole + QStringLiteral(".zip");
    }
    return archive;
}

void RunZipTool(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    uint8_t mode = 0;
    FileDialogRequest request;
    request.title = tr(TextId::SelectZipDialogTitle);
    request.filter = QStringLiteral("All Files|*.*|.zip|*.zip");
    request.initialFolder = m.zipFolder;
    QString noExtension;
    QString path = SelectFile(mode, request, noExtension, ctx.ui);
    if (reportSelectionFailure(ctx, mode) || mode >= kSelectCancelled || path.isEmpty()) {
        return;
    }
    ctx.ui.setMousePointer(MousePointer::Hourglass);
    m.zipFolder = FolderOf(path);
    // A service that cannot be called makes no archive of anything: the file is packed, and
    // the packing says it failed.
    const ZipStatus isZip = ctx.zip.ZSIsZIPFileQuick(path);
    if (isZip && *isZip == 0) {
        unpack(ctx, path);
    } else {
        pack(ctx, path);
    }
    ctx.ui.setMousePointer(MousePointer::Default);
    ctx.render();
}

} // namespace brindmar
