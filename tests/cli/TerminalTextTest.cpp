// What the command line prints for the window's failure boxes.
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

namespace {

using brindmar::Message;
using brindmar::cli::errorLine;

TEST(TerminalText, FailureLinesSayWhatHappened) {
    const struct {
        const char* title;
        const char* text;
        const char* line;
    } rows[] = {
        // A failed write or sync partway through the wipe has zeroed some of the file already.
        {"File 'Wipe'", "Error during 'Wipe' function",
         "brindmar: /d/notes.txt: was not overwritten in full, so it is not deleted; some of it "
         "may be zeros already"},
        {"File 'Wipe'", "'Wipe' completed, error during delete function",
         "brindmar: /d/notes.txt: overwritten, but it cannot be deleted"},
    };
    for (const auto& row : rows) {
        const Message message{QString::fromUtf8(row.title), QString::fromUtf8(row.text)};
        EXPECT_EQ(errorLine(message, QStringLiteral("/d/notes.txt")).toStdString(), row.line);
    }
}

} // namespace
