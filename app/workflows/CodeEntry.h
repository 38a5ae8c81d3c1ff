#pragma once

#include "payload/CodeText.h"
#include "workflows/WorkflowContext.h"

namespace brindmar {

// What keeps a typed code from being used. A code is used prepared (composed, its spaces
// unified, trimmed), so only what is left counts towards its length, in characters; blanks alone
// are no code, and no short code either. The payload header and the archive password hold 8-bit
// text, so a stored code outside Latin-1 would collapse into one that other codes share; a
// sealing code may be of any script. Characters refused under every rule (controls, invisible
// ones) are Characters too. An empty text is no fault: it is no code at all.
enum class CodeFault { None, Length, Characters };
CodeFault codeFault(const QString& typed, bool sealing = false);
// The fault of the model's code by the rule it will be used under: the stored rule where an
// embed without strong protection stores it, the sealing rule where it can only open or seal
// (strong protection ticked, a sealed image chosen, no document chosen, or a code longer than
// the box takes, which only the command line gives).
CodeFault modelCodeFault(const WindowModel& m);
bool sealingRuleApplies(const WindowModel& m);
// Whether the code, as it will be used, is long enough to encrypt with.
bool codeLongEnough(const QString& typed);
// The message for a code of that fault, with its sound, title and icon; the code tells which
// characters were refused (the model's code when none is given).
void reportCodeFault(WorkflowContext& ctx, CodeFault fault);
void reportCodeFault(WorkflowContext& ctx, CodeFault fault, const QString& code);

// The Encrypt marks, the box and its enabled state from the code and the box as they stand,
// so that packing always follows the decision the window shows.
void settleEncryptMarks(WindowModel& m);

// Derives the Encrypt state from the code and the Encrypt box, and repacks the document when
// the decision to encrypt changed.
void ApplyCode(WorkflowContext& ctx);

// After every edit of the code box.
void ChangeCode(WorkflowContext& ctx, const QString& text);
// The same for a code given whole, which may be longer than the box takes.
void SetCode(WorkflowContext& ctx, const QString& code);

// The Encrypt box was clicked; the model already holds its new value.
void ApplyEncryptChoice(WorkflowContext& ctx);

void ToggleEncrypt(WorkflowContext& ctx);
// The Strong protection box or its menu item; implies encryption, and repacks the document so
// that its archive carries its name for sealing.
void ToggleStrong(WorkflowContext& ctx);
void ToggleCodeMask(WorkflowContext& ctx);
void ToggleKeepCarrierTimes(WorkflowContext& ctx);
void ToggleSound(WorkflowContext& ctx);

} // namespace brindmar
