#include "workflows/WipeCommand.h"

#include "operations/WipeFile.h"
#include "util/PathHelpers.h"
#include "util/SelectFile.h"
#include "util/TrimBlanks.h"
#include "workflows/DocumentPacking.h"
#include "workflows/ExtractDocument.h"
#include "workflows/StrongProtection.h"
#include "workflows/WindowReset.h"

#include <QFile>
#include <QFileInfo>

namespace brindmar {

namespace {

// Runs the dialog; empty when no usable file was chosen (the user has been told why).
QString chooseFileToWipe(WorkflowContext& ctx) {
    const WindowModel& model = ctx.model;
    uint8_t mode = 0;
    FileDialogRequest request;
    request.title = tr(TextId::SelectWipeDialogTitle);
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
    const QString chosen = SelectFile(mode, request, noExtension, ctx.ui);
    if (mode >= kSelectCancelled) {
        reportSelectionFailure(ctx, mode, chosen);
        return {};
    }
    return trimBlanks(chosen);
}

void wipeConfirmed(WorkflowContext& ctx, const QString& path) {
    switch (WipeAndDeleteFile(ctx, path, 1)) {
    case kWipeFailed:
        ctx.conclude(Task::Wipe, Ending::Failed, Reason::CannotWrite, path);
        break;
    case kWipeDeleteFailed:
        ctx.conclude(Task::Wipe, Ending::Failed, Reason::NotDeleted, path);
        break;
    case kWipeDone: {
        QString wiped = path;
        ctx.model.documentFolder = FolderOf(wiped);
        ctx.conclude(Task::Wipe, Ending::Done, Reason::None, path);
        break;
    }
    default: // the user kept the emptied file; nothing to add
        break;
    }
}

} // namespace

int16_t WipeAndDeleteFile(WorkflowContext& ctx, const QString& path, uint8_t mode) {
    WindowDisplay& shown = ctx.model.display;
    const WipeWindowHooks hooks{[&ctx] { WindowReset(ctx); },
                                [&ctx, &shown](const QString& caption) {
                                    shown.processCaption = caption;
                                    ctx.render();
                                },
                                [&ctx, &shown] {
                                    shown.processCaption.clear();
                                    ctx.render();
                                }};
    return brindmar::WipeAndDeleteFile(path, mode, ctx.engine, ctx.ui, hooks);
}

void WipeWorkFiles(WorkflowContext& ctx) {
    if (ctx.temporaryFolder.isEmpty()) {
        return;
    }
    for (const QString& name :
         {kWorkArchiveName, kWorkCopyName, kWorkCarrierName, kSealedWorkName}) {
        if (QFileInfo::exists(ctx.temporaryFolder + name)) {
            WipeAndDeleteFile(ctx, ctx.temporaryFolder + name, kWipeQuietly);
        }
    }
    DiscardUnpacked(ctx);
}

void DiscardWorkFile(WorkflowContext& ctx, const QString& path) {
    brindmar::WipeAndDeleteFile(path, kWipeQuietly, ctx.engine, ctx.ui, {});
    QFile::remove(path);
}

Outcome WipeCommand(WorkflowContext& ctx) {
    WindowModel& model = ctx.model;
    // Until the file is wiped, the user has kept it: cancelled, refused, or answered no.
    ctx.outcome = Outcome{};
    if ((model.pointerMarks & pointer::CropShape) != 0) {
        normalPointer(ctx);
    }
    model.display.progress = 0;
    model.helpContext = topic::Wipe;

    const QString path = chooseFileToWipe(ctx);
    const WipeRefusal refusal = path.isEmpty() ? WipeRefusal{} : wipeRefusal(path);
    // A choice refused by its name has concluded already.
    if (!path.isEmpty() || ctx.outcome.reason == Reason::None) {
        ctx.outcome = Outcome::refused(Reason::Declined, path);
        ctx.outcome.task = Task::Wipe;
    }
    if (refusal) {
        // Overwriting would destroy a file under a name the user never chose here.
        Outcome refused = Outcome::refused(
            refusal.kind == WipeRefusal::Kind::Link ? Reason::IsLink : Reason::OtherNames, path);
        refused.task = Task::Wipe;
        refused.figure = static_cast<int64_t>(refusal.names);
        ctx.conclude(refused);
    } else if (!path.isEmpty()) {
        ctx.ui.setMousePointer(MousePointer::Hourglass);
        Message question{tr(TextId::WipeTitle), tr(TextId::ConfirmDeleteOf) + path,
                         MessageIcon::Exclamation, MessageButtons::OkCancel};
        question.asked = {Asked::Kind::Delete, path};
        if (ctx.ask(Sound::Attention, question) == MessageAnswer::Ok) {
            wipeConfirmed(ctx, path);
        }
        ctx.ui.setMousePointer(MousePointer::Default);
    }
    model.optionMarks &= static_cast<uint8_t>(~option::JustEmbedded);
    ctx.render();
    return ctx.outcome;
}

} // namespace brindmar
