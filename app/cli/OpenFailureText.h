#pragma once

#include "workflows/Outcome.h"

#include <QString>
#include <optional>

namespace brindmar::cli {

// The terminal's line, without the program's name, for a file the user named that could not be
// opened, read or shown; nothing for an outcome of another kind.
std::optional<QString> openFailureLine(const Outcome& outcome);

} // namespace brindmar::cli
