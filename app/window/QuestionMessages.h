#pragma once

#include "util/UiServices.h"
#include "workflows/Outcome.h"

namespace brindmar {

// The window's box for a question a command asks as it goes on.
Message questionMessage(const Question& question);

// The window's words for a Stealth notice (a rate above the recommended one, a GPS position
// kept), with its title; an empty text for any other kind.
Message stealthNoticeMessage(const Notice& notice);

} // namespace brindmar
