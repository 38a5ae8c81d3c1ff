#pragma once

#include "workflows/Requests.h"

#include <QString>
#include <QStringList>

namespace brindmar::cli {

// A command's outcome in a terminal's words. Each is the text of one line (or, for what was
// written, one statement) without the program's name; empty where there is nothing to say.

// Why the command did not end done, for a reason the workflow has not told itself.
QString refusalText(const Outcome& outcome);

// The lines of a command that ended done, for stdout.
QStringList embedDoneText(const EmbedOutcome& outcome);
QStringList extractDoneText(const Outcome& outcome);
QStringList wipeDoneText();
QStringList zipDoneText(const Outcome& outcome);

// What embed says it did to the carrier on the way: converted it first, where it did.
QString conversionText(const EmbedOutcome& outcome, const QString& outputFolder,
                       std::optional<ImageFormat> format, bool stealth);

// info's description of an image.
QStringList infoLines(const InfoOutcome& info);

} // namespace brindmar::cli
