#pragma once

#include "workflows/Outcome.h"

#include <QString>
#include <optional>

namespace brindmar::cli {

// The terminal's line, without the program's name, for the ends the seal, the stealth coders,
// the picture converter and the extraction hand over; nothing for an outcome not theirs.
std::optional<QString> extractFailureLine(const Outcome& outcome);

// A strong seal's cost in a terminal's words: whole mebibytes where it is some.
QString costText(int64_t memoryKiB, int64_t passes);

} // namespace brindmar::cli
