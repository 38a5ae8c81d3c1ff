#pragma once

#include "window/OutcomeMessages.h"

namespace brindmar {

// The window's box for the ends the seal, the stealth coders, the picture converter and the
// extraction itself hand over: true when the outcome is one of theirs and shown has it.
bool renderExtractFailure(OutcomeRendering& shown, const Outcome& outcome);

} // namespace brindmar
