#pragma once

#include "window/OutcomeMessages.h"

namespace brindmar {

// The window's box for the ends the seal, the stealth coders, the picture converter and the
// extraction itself hand over: true when the outcome is one of theirs and shown has it.
bool renderExtractFailure(OutcomeRendering& shown, const Outcome& outcome);

// A strong seal's cost as the window words it: whole mebibytes where it is some.
QString costText(int64_t memoryKiB, int64_t passes);

} // namespace brindmar
