#pragma once

#include "workflows/Outcome.h"

#include <QString>

namespace brindmar::cli {

// A question as one line to ask on the terminal, without the program's name.
QString questionLine(const Question& question);

// A Stealth notice (a rate above the recommended one, a GPS position kept) as one line, without
// the program's name; empty for any other kind.
QString stealthNoticeText(const Notice& notice);

} // namespace brindmar::cli
