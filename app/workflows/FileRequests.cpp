#include "util/PresetFileChoiceUi.h"
#include "workflows/PictureConversion.h"
#include "workflows/Requests.h"
#include "workflows/WipeCommand.h"
#include "workflows/ZipTool.h"

namespace brindmar {

namespace {

// The command's workflow with its file dialog answered by the file the request names, so that
// the file meets the same checks and messages as one picked in the dialog.
template <typename Command>
Outcome onChosenFile(WorkflowContext& ctx, const QString& file, Command command) {
    PresetFileChoiceUi choice(ctx.ui);
    WorkflowContext chosen{ctx.model,    choice,        ctx.zip,           ctx.engine,
                           ctx.platform, ctx.view,      ctx.programFolder, ctx.temporaryFolder,
                           ctx.pictures, ctx.strongCost};
    chosen.outcomes = ctx.outcomes;
    choice.presetFileChoice(file);
    Outcome outcome = command(chosen);
    if (outcome.subject.isEmpty()) {
        outcome.subject = file;
    }
    return outcome;
}

} // namespace

Outcome Convert(WorkflowContext& ctx, const ConvertRequest& request) {
    ctx.outcome = Outcome{};
    const std::optional<QString> bmp =
        ConvertPictureFile(ctx, request.picture, request.outputFolder, request.half);
    if (!bmp && ctx.outcome.reason != Reason::None) {
        return ctx.outcome;
    }
    if (!bmp) {
        Outcome outcome = Outcome::failed(
            ctx.pictures == nullptr ? Reason::NotPicture : Reason::Other, request.picture);
        outcome.told = ctx.pictures != nullptr;
        return outcome;
    }
    Outcome outcome;
    outcome.subject = request.picture;
    outcome.written = QStringList{*bmp};
    return outcome;
}

Outcome Wipe(WorkflowContext& ctx, const FileRequest& request) {
    return onChosenFile(ctx, request.file, [](WorkflowContext& c) { return WipeCommand(c); });
}

Outcome Zip(WorkflowContext& ctx, const FileRequest& request) {
    return onChosenFile(ctx, request.file, [](WorkflowContext& c) { return RunZipTool(c); });
}

} // namespace brindmar
