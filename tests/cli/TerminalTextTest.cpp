// What the command line prints for a command that did not end done, from the outcome's reason
// and never from the words of a window's box.
#include "cli/OutcomeText.h"

#include <gtest/gtest.h>

namespace {

using namespace brindmar;

TEST(TerminalText, FailureLinesSayWhatHappened) {
    const struct {
        Task task;
        Reason reason;
        const char* subject;
        const char* line;
    } rows[] = {
        // A failed write or sync partway through the wipe has zeroed some of the file already.
        {Task::Wipe, Reason::CannotWrite, "/d/notes.txt",
         "/d/notes.txt: was not overwritten in full, so it is not deleted; some of it may be "
         "zeros already"},
        {Task::Wipe, Reason::NotDeleted, "/d/notes.txt",
         "/d/notes.txt: overwritten, but it cannot be deleted"},
        {Task::Embed, Reason::WouldReplaceCarrier, "/d/holiday.bmp",
         "/d/holiday.bmp: the new image would replace the carrier itself; choose another --out "
         "folder"},
        {Task::Extract, Reason::WouldReplaceCarrier, "/d/holiday.bmp",
         "/d/holiday.bmp: the document would replace the image itself; choose another --out "
         "folder"},
    };
    for (const auto& row : rows) {
        Outcome outcome = Outcome::failed(row.reason, QString::fromUtf8(row.subject));
        outcome.task = row.task;
        EXPECT_EQ(cli::refusalText(outcome).toStdString(), row.line);
    }
}

// A reason about another file or folder than the command's subject names that one.
TEST(TerminalText, LinesNameWhatTheReasonConcerns) {
    const struct {
        Task task;
        Reason reason;
        const char* about;
        int64_t figure;
        int error;
        const char* line;
        Fault fault = Fault::None;
    } rows[] = {
        {Task::Embed, Reason::DiskFull, "/run/user/1000/w/", 100, 0,
         "/run/user/1000/w/: not enough free space (100 bytes free)"},
        {Task::Convert, Reason::CannotWrite, "/out/photo.bmp", 0, 27,
         "/out/photo.bmp: could not be written: File too large"},
        {Task::Convert, Reason::NotPicture, "", 0, 0,
         "/d/notes.txt: is not a picture this program can read"},
        {Task::None, Reason::NoBaseName, "", 0, 0, "/d/notes.txt: invalid filename"},
        // What the engine found wrong, and its status.
        {Task::Embed, Reason::NotCarrier, "/d/c.bmp", 13, 0,
         "/d/c.bmp: is not a valid file for this (13)", Fault::Invalid},
        {Task::Embed, Reason::DiskFull, "/out/c.bmp", 15, 28,
         "/out/c.bmp: could not be written: the disk is full (15)", Fault::CannotWrite},
        {Task::Extract, Reason::CannotRead, "/d/c.bmp", 13, 5,
         "/d/c.bmp: cannot be read: Input/output error (13)", Fault::CannotRead},
        {Task::Zip, Reason::CannotRead, "", 0, 5,
         "/d/notes.txt: cannot be read: Input/output error"},
        {Task::None, Reason::WrongExtension, "", 0, 0, "/d/notes.txt: invalid file extension"},
    };
    for (const auto& row : rows) {
        Outcome outcome = Outcome::refused(row.reason, QStringLiteral("/d/notes.txt"));
        outcome.task = row.task;
        outcome.about = QString::fromUtf8(row.about);
        outcome.figure = row.figure;
        outcome.error = row.error;
        outcome.fault = row.fault;
        EXPECT_EQ(cli::refusalText(outcome).toStdString(), row.line);
    }
}

} // namespace
