#include "workflows/CodeEntry.h"

#include "workflows/CarrierInspection.h"
#include "workflows/CropChoice.h"
#include "workflows/DocumentPacking.h"

namespace brindmar {

void ApplyCode(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    if (m.codeApplyGuard) {
        return;
    }
    shown.codeEnabled = false;
    m.codeApplyGuard = true;
    const bool wantedBefore = m.hasPacking(packing::EncryptionWanted);

    const bool longEnough = m.code.size() >= kCodeMinLength;
    const bool ticked = shown.encryptBox != kEncryptUnticked;
    m.setPacking(packing::CodeLongEnough, longEnough);
    m.setPacking(packing::EncryptTicked, ticked);
    m.setPacking(packing::EncryptionWanted, longEnough && ticked);
    shown.encryptBox = !ticked ? kEncryptUnticked : longEnough ? kEncryptTicked : kEncryptGrey;
    shown.encryptEnabled = longEnough;

    if (m.hasState(state::DocumentChosen) &&
        m.hasPacking(packing::EncryptionWanted) != wantedBefore) {
        PackDocument(ctx, false);
    }
    m.codeApplyGuard = false;
    shown.codeEnabled = true;
    m.requestFocus(FocusTarget::CodeBox);
    ctx.render();
}

void CodeTxt_Change(WorkflowContext& ctx, const QString& text) {
    WindowModel& m = ctx.model;
    m.code = text.left(kCodeMaxLength);
    m.setPacking(packing::PackedEncrypted, false);
    ApplyCode(ctx);
    // A protected payload is tried again with every complete code, so that typing the right
    // code after choosing the image opens it; incomplete codes are not tried, as that would
    // put the code-length message up at every keystroke and tell protected images apart.
    const qsizetype length = m.code.size();
    const bool complete = length == 0 || length >= kCodeMinLength;
    if (m.hasOption(option::CodeProtected) && (m.hasState(state::PayloadFound) || complete)) {
        m.display.progress = 0;
        InspectCarrier(ctx, inspect::Evaluate | inspect::Report, m.display.bmpPath);
        constexpr uint8_t ready = state::DocumentChosen | state::BmpChosen | state::BmpUsable;
        if ((m.windowState & ready) == ready) {
            if (m.hasState(state::EmbedPossible)) {
                PlaceCropFrame(m);
            }
            updateNoGoSign(m);
        }
        // The refresh of the inspection leads to the Embed or Extract button; the user is still
        // typing, so the keys keep going to the code box.
        m.requestFocus(FocusTarget::CodeBox);
    }
    ctx.valueChanged();
    ctx.render();
}

void EncCkB_Click(WorkflowContext& ctx) {
    ApplyCode(ctx);
}

void EncMIt_Click(WorkflowContext& ctx) {
    // The item's check mark is the box's; the box follows the click, and applying the code may
    // grey it.
    const bool checked = ctx.model.display.encryptBox == kEncryptUnticked;
    ctx.model.display.encryptBox = checked ? kEncryptTicked : kEncryptUnticked;
    EncCkB_Click(ctx);
}

void MaskCodeMIt_Click(WorkflowContext& ctx) {
    WindowDisplay& shown = ctx.model.display;
    if (shown.maskCodeChecked) {
        // Unmasking never shows what was typed while masked.
        shown.codeMasked = false;
        shown.maskCodeChecked = false;
        if (!ctx.model.code.isEmpty()) {
            CodeTxt_Change(ctx, QString());
        }
    } else {
        shown.codeMasked = true;
        shown.maskCodeChecked = true;
    }
    ctx.render();
}

void OrigTmMIt_Click(WorkflowContext& ctx) {
    ctx.model.display.keepTimesChecked = !ctx.model.display.keepTimesChecked;
    ctx.render();
}

void SoundMIt_Click(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    m.display.soundChecked = !m.display.soundChecked;
    m.soundSwitch = m.display.soundChecked;
    m.soundWanted = m.soundSwitch;
    ctx.render();
}

} // namespace brindmar
