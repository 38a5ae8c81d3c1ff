#pragma once

#include "util/UiServices.h"

#include <QString>

namespace brindmar::cli {

// A box a workflow shows on the way, as one line for stderr in the box's own words. A command's
// failures come back as its outcome and are put in the terminal's words from their kind; nothing
// is decided, or reworded, from what a box says.
QString boxLine(const Message& message);

// A question asked on the terminal ("replace /out/a.bmp?"), and the line said when it cannot
// be asked there.
QString questionText(const Message& message);
QString unansweredLine(const Message& message);

// The text with its control characters written out ("\n", "\x1b"), so that a name holding a
// line break or a terminal sequence prints as one harmless line.
QString shownText(const QString& text);

// "brindmar: " and the text, as every line the program writes to stderr begins.
QString programLine(const QString& text);

} // namespace brindmar::cli
