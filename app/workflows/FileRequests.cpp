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
    // A question on the way (replace the archive?) is worded by the front end as any other.
    chosen.notices = ctx.notices;
    choice.presetFileChoice(file);
    Outcome outcome = command(chosen);
    if (outcome.subject.isEmpty()) {
        outcome.subject = file;
    }
    return outcome;
}

} // namespace

Outcome givenUp(const WorkflowContext& ctx, const QString& file) {
    if (ctx.outcome.reason != Reason::None) {
        return ctx.outcome;
    }
    Outcome outcome = Outcome::refused(Reason::Declined, file);
    if (ctx.model.stopRequest) {
        outcome.ending = Ending::Stopped;
        outcome.reason = Reason::None;
    }
    return outcome;
}

Outcome Convert(WorkflowContext& ctx, const ConvertRequest& request) {
    ctx.outcome = Outcome{};
    const std::optional<QString> bmp =
        ConvertPictureFile(ctx, request.picture, request.outputFolder, request.half);
    if (!bmp && ctx.pictures == nullptr) {
        Outcome outcome = Outcome::failed(Reason::NotPicture, request.picture);
        outcome.task = Task::Convert;
        return outcome;
    }
    if (!bmp) {
        return givenUp(ctx, request.picture);
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
