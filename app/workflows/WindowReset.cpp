#include "workflows/WindowReset.h"

#include "util/SelectFile.h"
#include "workflows/CommandRefresh.h"
#include "workflows/CropChoice.h"

namespace brindmar {

namespace {

constexpr int kShortestCode = 10;

} // namespace

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
    m.pointerMarks = 0;
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
    m.windowState = 0;
    commandRefresh(m);
    shown.documentBox.clear();
    m.documentLength = 0;
    m.payloadLength = 0;
    m.nameLength = 0;
    m.carrierColourBytes = 0;
    m.carrierCheckResult = 0;

    m.codeApplyGuard = true;
    shown.encryptEnabled = false;
    m.codeApplyGuard = false;

    shown.documentSize.clear();
    shown.embedMax.clear();
    shown.cropPercent.clear();
    shown.bmpPath.clear();
    shown.thumbnail.reset();
    shown.invalidBmpText.clear();
    shown.cropFrameVisible = false;
    updateNoGoSign(m);
    m.requestFocus(FocusTarget::Command, static_cast<int>(Command::ChooseDocument));
    ctx.render();
}

bool reportSelectionFailure(WorkflowContext& ctx, uint8_t status) {
    if (status != kSelectNoBaseName && status != kSelectWrongExtension) {
        return false;
    }
    ctx.report(Sound::Error, TextId::FileSelectErrorTitle,
               status == kSelectNoBaseName ? TextId::InvalidFilename : TextId::InvalidFileExtension,
               MessageIcon::Critical);
    ctx.model.display.documentBox.clear();
    ctx.render();
    return true;
}

void reportProcessingFailure(WorkflowContext& ctx, const QString& reason) {
    ctx.report(Sound::Error, tr(TextId::OperationalErrorTitle),
               reason.isEmpty() ? tr(TextId::ProcessingFailureUnknown)
                                : tr(TextId::ProcessingFailure) + reason);
}

bool codeCheck(WorkflowContext& ctx) {
    const qsizetype length = ctx.model.code.size();
    if (length < 1 || length >= kShortestCode) {
        return true;
    }
    ctx.report(Sound::Attention, TextId::CodeEntryErrorTitle, TextId::CodeLengthError);
    ctx.model.requestFocus(FocusTarget::CodeBox);
    ctx.render();
    return false;
}

} // namespace brindmar
