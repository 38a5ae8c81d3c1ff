#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

inline constexpr int kCodeMaxLength = 20;
inline constexpr int kCodeMinLength = 10;

// Derives the Encrypt state from the code and the Encrypt box, and repacks the document when
// the decision to encrypt changed.
void ApplyCode(WorkflowContext& ctx);

// After every edit of the code box.
void CodeTxt_Change(WorkflowContext& ctx, const QString& text);

// The Encrypt box was clicked; the model already holds its new value.
void EncCkB_Click(WorkflowContext& ctx);

void EncMIt_Click(WorkflowContext& ctx);
void MaskCodeMIt_Click(WorkflowContext& ctx);
void OrigTmMIt_Click(WorkflowContext& ctx);
void SoundMIt_Click(WorkflowContext& ctx);

} // namespace brindmar
