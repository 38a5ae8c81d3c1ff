#pragma once

#include "workflows/Outcome.h"

#include <QString>

namespace brindmar::cli {

// What went wrong with an embed before or without the engine, and an engine that cannot be
// called by either command, in a terminal's words; empty for any other outcome.
QString embedFailureText(const Outcome& outcome);

// A notice as one line, the file it is about first, without the program's name.
QString noticeText(const Notice& notice);

} // namespace brindmar::cli
