#include "workflows/WindowReset.h"

#include "util/SelectFile.h"
#include "workflows/CodeEntry.h"
#include "workflows/CommandRefresh.h"
#include "workflows/CropChoice.h"

namespace brindmar {

void normalPointer(WorkflowContext& ctx) {
    ctx.model.pointerMarks &= pointer::FrameShown | pointer::Adjusted;
    ctx.ui.setMousePointer(MousePointer::Default);
}

void WindowReset(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    shown.progress = 0;
    m.optionMarks &= option::JustEmbedded;
    m.packingMarks &= packing::EncryptTicked;
    hideCropFrame(ctx);
    m.dragAnchorX = 0;
    m.dragAnchorY = 0;
    if (m.extractMode()) {
        shown.extractLayout = false;
        shown.outputFolder = m.embedOutputFolder;
    }
    shown.stepEnabled.fill(false);
    if (!m.hasOption(option::JustEmbedded)) {
        m.documentPathCopy.clear();
    }
    m.payloadSealed = false;
    // Nothing is chosen after the reset: a carrier chosen next would show this document again.
    m.documentPath.clear();
    shown.documentName.clear();
    m.windowState = 0;
    commandRefresh(m);
    shown.documentBox.clear();
    m.documentLength = 0;
    m.payloadLength = 0;
    m.nameLength = 0;
    m.carrierColourBytes = 0;
    m.carrierCheckResult = 0;

    // The code and the Encrypt box survive the reset, and so must the decision they show: the
    // next document is packed as the box says, not as the cleared marks would.
    m.codeApplyGuard = true;
    settleEncryptMarks(m);
    m.codeApplyGuard = false;

    shown.documentSize.clear();
    shown.embedMax.clear();
    shown.embedMaxStatus.clear();
    shown.embedMaxNote.clear();
    shown.embedRecommended.clear();
    shown.cropPercent.clear();
    shown.bmpPath.clear();
    shown.thumbnail.reset();
    shown.invalidBmpText.clear();
    updateNoGoSign(m);
    m.requestFocus(FocusTarget::Command, static_cast<int>(Command::ChooseDocument));
    ctx.render();
}

bool reportSelectionFailure(WorkflowContext& ctx, uint8_t status, const QString& path) {
    if (status != kSelectNoBaseName && status != kSelectWrongExtension) {
        return false;
    }
    ctx.conclude(Outcome::refused(
        status == kSelectNoBaseName ? Reason::NoBaseName : Reason::WrongExtension, path));
    ctx.model.display.documentBox.clear();
    ctx.render();
    return true;
}

void concludeNotShown(WorkflowContext& ctx, const QString& path, const DrawFailure& why) {
    Outcome failed = Outcome::failed(Reason::NotShown, path);
    failed.task = Task::Open;
    failed.figure = static_cast<int64_t>(why.fault);
    failed.error = why.error;
    ctx.conclude(failed);
}

bool codeCheck(WorkflowContext& ctx) {
    const CodeFault fault = modelCodeFault(ctx.model);
    if (fault == CodeFault::None) {
        return true;
    }
    reportCodeFault(ctx, fault);
    ctx.model.requestFocus(FocusTarget::CodeBox);
    ctx.render();
    return false;
}

} // namespace brindmar
