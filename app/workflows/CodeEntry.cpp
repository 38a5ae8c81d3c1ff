#include "workflows/CodeEntry.h"

#include "util/TrimBlanks.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropChoice.h"
#include "workflows/DocumentPacking.h"

#include <algorithm>

namespace brindmar {

namespace {

bool charactersFit(const QString& code) {
    return std::all_of(code.begin(), code.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return (u >= 0x20 && u < 0x7F) || (u >= 0xA0 && u <= 0xFF);
    });
}

} // namespace

CodeFault codeFault(const QString& typed, bool sealing) {
    if (typed.isEmpty()) {
        return CodeFault::None;
    }
    const bool fits =
        sealing ? std::none_of(typed.begin(), typed.end(),
                               [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7F; })
                : charactersFit(typed);
    if (!fits) {
        return CodeFault::Characters;
    }
    const qsizetype length = trimBlanks(typed).size();
    const qsizetype longest = sealing ? kSealingCodeMaxLength : kCodeMaxLength;
    return length >= kCodeMinLength && length <= longest ? CodeFault::None : CodeFault::Length;
}

CodeFault modelCodeFault(const WindowModel& m) {
    return codeFault(m.code,
                     m.hasPacking(packing::StrongWanted) || m.code.size() > kCodeMaxLength);
}

bool codeLongEnough(const QString& typed) {
    return !typed.isEmpty() && codeFault(typed) == CodeFault::None;
}

void reportCodeFault(WorkflowContext& ctx, CodeFault fault) {
    if (fault == CodeFault::Characters) {
        ctx.report(Sound::Attention, tr(TextId::CodeEntryErrorTitle),
                   QStringLiteral("The code can hold only letters, digits and signs of the Latin-1 "
                                  "set (English and Western European letters); other "
                                  "characters cannot be kept with the image."));
    } else if (fault == CodeFault::Length) {
        ctx.report(Sound::Attention, TextId::CodeEntryErrorTitle, TextId::CodeLengthError);
    }
}

void settleEncryptMarks(WindowModel& m) {
    WindowDisplay& shown = m.display;
    const bool longEnough = codeLongEnough(m.code);
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
    SetCode(ctx, text.left(kCodeMaxLength));
}

void SetCode(WorkflowContext& ctx, const QString& code) {
    WindowModel& m = ctx.model;
    if (codeFault(code, code.size() > kCodeMaxLength) == CodeFault::Characters) {
        // The box keeps the code it had; the render puts it back.
        reportCodeFault(ctx, CodeFault::Characters);
        m.requestFocus(FocusTarget::CodeBox);
        ctx.render();
        return;
    }
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
