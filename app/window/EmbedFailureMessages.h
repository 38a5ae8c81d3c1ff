#pragma once

#include "window/OutcomeMessages.h"

namespace brindmar {

// The window's boxes for how an embed went wrong before the engine ran or without it (and for an
// engine that cannot be called, by either command): true where the outcome is one of these.
bool renderEmbedFailure(OutcomeRendering& shown, const Outcome& outcome);

// The window's box for a notice: the packing that failed, and what the embed does instead.
OutcomeRendering renderNotice(const Notice& notice);

} // namespace brindmar
