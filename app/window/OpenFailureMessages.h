#pragma once

#include "window/OutcomeMessages.h"

namespace brindmar {

// The window's box for a file the user chose that could not be opened, read or shown, at the
// moment the choice meets it: true when the outcome is one of these and shown has it.
bool renderOpenFailure(OutcomeRendering& shown, const Outcome& outcome);

} // namespace brindmar
