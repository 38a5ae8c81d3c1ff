#include "workflows/CodeEntry.h"

#include "util/TrimBlanks.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CommandRefresh.h"
#include "workflows/CropChoice.h"
#include "workflows/DocumentPacking.h"

#include <algorithm>

namespace brindmar {

CodeFault codeFault(const QString& typed, bool sealing) {
    if (typed.isEmpty()) {
        return CodeFault::None;
    }
    switch (codeTextFault(typed, sealing ? CodeRule::Sealing : CodeRule::Stored)) {
    case CodeTextFault::None:
        return CodeFault::None;
    case CodeTextFault::Empty:
    case CodeTextFault::Length:
        return CodeFault::Length;
    case CodeTextFault::NotLatin1:
    case CodeTextFault::Unusable:
        break;
    }
    return CodeFault::Characters;
}

bool sealingRuleApplies(const WindowModel& m) {
    return m.hasPacking(packing::StrongWanted) || m.payloadSealed ||
           !m.hasState(state::DocumentChosen) || m.code.size() > kCodeMaxLength;
}

CodeFault modelCodeFault(const WindowModel& m) {
    return codeFault(m.code, sealingRuleApplies(m));
}

bool codeLongEnough(const QString& typed) {
    return !typed.isEmpty() && codeFault(typed) == CodeFault::None;
}

void reportCodeFault(WorkflowContext& ctx, CodeFault fault) {
    reportCodeFault(ctx, fault, ctx.model.code);
}

void reportCodeFault(WorkflowContext& ctx, CodeFault fault, const QString& code) {
    if (fault == CodeFault::Characters) {
        const bool unusable = codeTextFault(code, CodeRule::Sealing) == CodeTextFault::Unusable;
        ctx.conclude(Outcome::refused(unusable ? Reason::CodeUnusable : Reason::CodeNotLatin1, {}));
    } else if (fault == CodeFault::Length) {
        ctx.conclude(Outcome::refused(Reason::CodeLength, {}));
    }
}

void settleEncryptMarks(WindowModel& m) {
    WindowDisplay& shown = m.display;
    // Under strong protection a code of any script is long enough; it is never stored.
    // Stealth seals as strong protection does, and holds it on.
    shown.strongBox = shown.strongBox || shown.stealthBox;
    const bool longEnough = codeLongEnough(m.code) || (shown.strongBox && !m.code.isEmpty() &&
                                                       codeFault(m.code, true) == CodeFault::None);
    const bool ticked = shown.encryptBox != kEncryptUnticked;
    m.setPacking(packing::CodeLongEnough, longEnough);
    m.setPacking(packing::EncryptTicked, ticked);
    m.setPacking(packing::EncryptionWanted, longEnough && ticked);
    shown.encryptBox = !ticked ? kEncryptUnticked : longEnough ? kEncryptTicked : kEncryptGrey;
    shown.encryptEnabled = longEnough;
    // The seal is the encryption: Encrypt shows ticked and cannot be taken off under it, and no
    // password protected archive is made beneath it. A ticked box can always be unticked.
    m.setPacking(packing::StrongWanted, shown.strongBox);
    shown.strongEnabled = longEnough || shown.strongBox;
    m.stealthWanted = shown.stealthBox;
    shown.stealthEnabled = longEnough || shown.stealthBox;
    shown.strongEnabled = shown.strongEnabled && !shown.stealthBox;
    shown.cropEnabled = !shown.stealthBox;
    if (shown.strongBox) {
        m.setPacking(packing::EncryptionWanted, false);
        shown.encryptBox = longEnough ? kEncryptTicked : kEncryptGrey;
        shown.encryptEnabled = false;
    }
}

void ApplyCode(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    WindowDisplay& shown = m.display;
    if (m.codeApplyGuard) {
        return;
    }
    shown.codeEnabled = false;
    m.codeApplyGuard = true;
    const bool wantedBefore = m.hasPacking(packing::EncryptionWanted);
    const bool strongBefore = m.hasPacking(packing::StrongWanted);
    settleEncryptMarks(m);

    if (m.hasState(state::DocumentChosen) &&
        (m.hasPacking(packing::EncryptionWanted) != wantedBefore ||
         m.hasPacking(packing::StrongWanted) != strongBefore)) {
        PackDocument(ctx, false);
    }
    m.codeApplyGuard = false;
    shown.codeEnabled = true;
    m.requestFocus(FocusTarget::CodeBox);
    ctx.render();
}

void ChangeCode(WorkflowContext& ctx, const QString& text) {
    WindowModel& m = ctx.model;
    const QString code = text.left(kCodeMaxLength);
    // Refused where it is typed: a character the rule the code will be used under cannot take.
    const bool sealing = m.hasPacking(packing::StrongWanted) || m.payloadSealed;
    if (codeFault(code, sealing) == CodeFault::Characters) {
        // The box keeps the code it had; the render puts it back.
        reportCodeFault(ctx, CodeFault::Characters, code);
        m.requestFocus(FocusTarget::CodeBox);
        ctx.render();
        return;
    }
    SetCode(ctx, code);
}

void SetCode(WorkflowContext& ctx, const QString& code) {
    WindowModel& m = ctx.model;
    m.code = code;
    m.setPacking(packing::PackedEncrypted, false);
    ApplyCode(ctx);
    // A protected payload is tried again with every complete code, so that typing the right
    // code after choosing the image opens it; incomplete codes are not tried, as that would
    // put the code-length message up at every keystroke and tell protected images apart.
    const bool complete = codeFault(m.code) == CodeFault::None;
    if (m.hasOption(option::CodeProtected) && (m.hasState(state::PayloadFound) || complete)) {
        m.display.progress = 0;
        // A rectangle drawn with the mouse outlives a code that leaves the payload closed, as it
        // outlives a code change on any other carrier; the embed says so should it no longer
        // hold the payload.
        const bool drawn = (m.pointerMarks & pointer::Adjusted) != 0;
        const CropRect drawnCrop = m.crop;
        InspectCarrier(ctx, inspect::Evaluate | inspect::Report, m.display.bmpPath);
        constexpr uint8_t ready = state::DocumentChosen | state::BmpChosen | state::BmpUsable;
        if ((m.windowState & ready) == ready) {
            // Extract mode has nothing to crop, though the document would fit.
            if ((m.windowState & (state::PayloadFound | state::EmbedPossible)) ==
                state::EmbedPossible) {
                PlaceCropFrame(m);
                if (drawn) {
                    m.crop = drawnCrop;
                    m.pointerMarks |= pointer::Adjusted;
                }
            }
            updateNoGoSign(m);
        }
        // The refresh of the inspection leads to the Embed or Extract button; the user is still
        // typing, so the keys keep going to the code box.
        m.requestFocus(FocusTarget::CodeBox);
    }
    ctx.valueChanged();
    if (m.stealthCandidate) {
        // Extract searches such an image once the code could have sealed its payload.
        commandRefresh(m);
        m.requestFocus(FocusTarget::CodeBox);
    }
    ctx.render();
}

void ApplyEncryptChoice(WorkflowContext& ctx) {
    ApplyCode(ctx);
}

void ToggleEncrypt(WorkflowContext& ctx) {
    // The item's check mark is the box's; the box follows the click, and applying the code may
    // grey it.
    const bool checked = ctx.model.display.encryptBox == kEncryptUnticked;
    ctx.model.display.encryptBox = checked ? kEncryptTicked : kEncryptUnticked;
    ApplyEncryptChoice(ctx);
}

void ToggleStrong(WorkflowContext& ctx) {
    WindowDisplay& shown = ctx.model.display;
    shown.strongBox = !shown.strongBox;
    if (shown.strongBox) {
        shown.encryptBox = kEncryptTicked;
    }
    ApplyCode(ctx);
}

void ToggleCodeMask(WorkflowContext& ctx) {
    WindowDisplay& shown = ctx.model.display;
    if (shown.maskCodeChecked) {
        // Unmasking never shows what was typed while masked.
        shown.codeMasked = false;
        shown.maskCodeChecked = false;
        if (!ctx.model.code.isEmpty()) {
            ChangeCode(ctx, QString());
        }
    } else {
        shown.codeMasked = true;
        shown.maskCodeChecked = true;
    }
    ctx.render();
}

void ToggleKeepCarrierTimes(WorkflowContext& ctx) {
    ctx.model.display.keepTimesChecked = !ctx.model.display.keepTimesChecked;
    ctx.render();
}

void ToggleSound(WorkflowContext& ctx) {
    WindowModel& m = ctx.model;
    m.display.soundChecked = !m.display.soundChecked;
    m.soundSwitch = m.display.soundChecked;
    m.soundWanted = m.soundSwitch;
    ctx.render();
}

} // namespace brindmar
