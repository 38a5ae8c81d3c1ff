#pragma once

#include "util/UiServices.h"

#include <QString>

namespace brindmar::cli {

// The window's messages in a terminal's words. A failure becomes one line for stderr,
// "brindmar: PATH: reason", without the box's title or the window's advice; subject is the
// file the command works on, named when the message itself names none.
QString errorLine(const Message& message, const QString& subject);

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
