// What the command line prints for a command that did not end done, from the outcome's reason
// and never from the words of a window's box.
#include "cli/TerminalText.h"
#include "cli/EmbedFailureText.h"
#include "cli/OutcomeText.h"
#include "cli/QuestionText.h"
#include "payload/CarrierNormalizer.h"
#include "util/DrawFault.h"
#include "workflows/CarrierInspection.h"
#include "workflows/ProtectionFailures.h"

#include <cerrno>
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
        Cause cause = Cause::None;
        QString detail = {};
        Task step = Task::None;
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
        {Task::Embed, Reason::CannotWrite, "/out/c.png", 0, 27,
         "/out/c.png: could not be written: File too large"},
        {Task::Extract, Reason::CannotWrite, "/out/d.txt", 0, 28,
         "/out/d.txt: could not be written: No space left on device"},
        {Task::Extract, Reason::CannotRead, "", 0, 5,
         "/d/notes.txt: cannot be read: Input/output error"},
        {Task::Extract, Reason::CannotRead, "", 0, ENODATA,
         "/d/notes.txt: it became shorter while it was read; embed it once it no longer changes"},
        {Task::Seal, Reason::CodeLength, "", 0, 0,
         "/d/notes.txt: strong protection needs a code of at least 10 characters"},
        // The zip tool names the file it was given, then the one it failed on.
        {Task::Zip, Reason::Other, "", 0, 0, "/d/notes.txt: cannot pack: Cannot create ZIP file",
         Fault::ZipNotMade},
        {Task::Unzip, Reason::CannotWrite, "/d/a.txt", 0, 28,
         "/d/notes.txt: cannot unpack: /d/a.txt could not be written: No space left on device"},
        {Task::Unzip, Reason::Damaged, "", 11, 0,
         "/d/notes.txt: cannot unpack: File omitted as locked (11)", Fault::Unzipping},
        {Task::Extract, Reason::Damaged, "/o/a.txt", 0, 0,
         "/o/a.txt: cannot unpack the document: cannot be opened", Fault::None, Cause::Unzipping},
        {Task::Extract, Reason::Damaged, "", 11, 0,
         "/d/notes.txt: cannot decrypt the document: File omitted as locked (11)", Fault::Unzipping,
         Cause::Decrypting},
        // The seal's, the stealth coders' and the converter's ends.
        {Task::Extract, Reason::CannotOpen, "/d/p.jpg", 0, 0, "/d/p.jpg: cannot be opened"},
        {Task::Extract, Reason::WorkNotWritten, "/w/a.tmp", 0, ENOSPC,
         "/w/a.tmp: could not be written: the disk is full"},
        {Task::Embed, Reason::WorkNotRead, "/w/a.tmp", 0, 5,
         "/w/a.tmp: cannot be read: Input/output error"},
        {Task::Embed, Reason::NoMemory, "", 0, 0,
         "/d/notes.txt: there is not enough memory for the strong protection key; close other "
         "programs and try again"},
        {Task::Extract, Reason::SealTooCheap, "/d/c.bmp", 0, 0,
         "/d/c.bmp: its document is sealed at a cost so low (8 KiB of memory and 1 pass) that its "
         "code could be guessed cheaply; it is not opened",
         Fault::None, Cause::None, QStringLiteral("8 1")},
        {Task::Extract, Reason::SealTooCostly, "/d/c.bmp", 0, 0,
         "/d/c.bmp: opening it would take 2048 MiB of memory and 9 passes, more than any image "
         "this program makes asks for (at most 1024 MiB of memory and 8 passes); it is not "
         "opened",
         Fault::None, Cause::None, QStringLiteral("2097152 9 1048576 8")},
        {Task::Extract, Reason::SealUnknown, "/d/c.bmp", 0, 0,
         "/d/c.bmp: its document is sealed in a way this version cannot open"},
        {Task::Extract, Reason::MemoryShort, "/d/c.bmp", 0, 0,
         "/d/c.bmp: opening it takes 1024 MiB of memory, and only 512 MiB are free: close other "
         "programs and try again",
         Fault::None, Cause::None, QStringLiteral("1048576 524288")},
        {Task::Embed, Reason::DocumentChanged, "/d/a.txt", 0, 0,
         "/d/a.txt: changed while it was being sealed; embed it once it no longer changes"},
        {Task::Embed, Reason::NotReadBack, "/out/c.jpg", 0, 0,
         "/out/c.jpg: does not read back as it was written", Fault::None, Cause::ReadBackAsWritten},
        {Task::Embed, Reason::TooFewColours, "/d/c.bmp", 201, 0,
         "/d/c.bmp: a picture of 201 colours cannot hide changes; choose a photograph"},
        {Task::Embed, Reason::NotStealthCarrier, "/d/c.bmp", 0, 0,
         "/d/c.bmp: Stealth needs a 24-bit uncompressed BMP"},
        {Task::Embed, Reason::InvalidFile, "/d/c.bmp", 0, 0,
         "/d/c.bmp: is not a valid file for this"},
        {Task::Embed, Reason::JpegUnreadable, "/d/p.jpg", 0, 0,
         "/d/p.jpg: is not a JPEG this program can read", Fault::None, Cause::None,
         QStringLiteral("damaged")},
        {Task::Embed, Reason::StealthTooLarge, "", 0, 0,
         "/d/notes.txt: the document does not fit this image with Stealth: packed it takes 9000 "
         "bytes, and the image holds 4000 at most",
         Fault::None, Cause::None, QStringLiteral("9000 4000")},
        {Task::Convert, Reason::PictureTooLarge, "/d/p.jpg", 12000, 0,
         "/d/p.jpg: is larger than 12000 x 12000 pixels"},
        {Task::Convert, Reason::PictureTooDeep, "/d/p.png", 100, 0,
         "/d/p.png: needs more memory to convert than a picture of 100 x 100 pixels: save it "
         "with fewer pixels, or with 8 bits a channel"},
        {Task::Convert, Reason::TooManyScans, "/d/p.jpg", 50, 0,
         "/d/p.jpg: is a JPEG of more scans than a picture of its size needs (at most 50); it is "
         "refused rather than decoded for minutes"},
        {Task::Convert, Reason::CannotRead, "/d/p.jpg", 0, ENOENT,
         "/d/p.jpg: could not be read: No such file or directory"},
        {Task::Convert, Reason::Damaged, "/d/p.jpg", 0, 0, "/d/p.jpg: is damaged or cut short"},
        // choosing a file
        {Task::Open, Reason::NotBmpFile, "", 0, 0, "/d/notes.txt: is not a BMP file"},
        {Task::Open, Reason::CannotOpen, "", 0, ENOENT,
         "/d/notes.txt: cannot be opened: No such file or directory"},
        {Task::Open, Reason::CannotRead, "", 0, 0, "/d/notes.txt: cannot be read"},
        {Task::Open, Reason::NotShown, "", int64_t(DrawFault::CannotRead), EIO,
         "Processing failure: /d/notes.txt - it cannot be read: Input/output error"},
        {Task::Open, Reason::NotShown, "", 0, 0, "Processing failure: <unknown>"},
        {Task::None, Reason::NotCarrier, "", validity::UnsupportedDepth, 0,
         "/d/notes.txt: BMP type <256 colours"},
        {Task::Zip, Reason::Declined, "", 0, 0, ""},
        // zip
        {Task::Unzip, Reason::FolderNotMade, "/d/", 0, EACCES,
         "/d/notes.txt: cannot unpack: /d/ - Permission denied"},
        {Task::Zip, Reason::NotPacked, "", 0, 0, "/d/notes.txt: cannot pack"},
        // questions and notices
        {Task::Embed, Reason::JpegUnreadable, "/d/p.jpg", 0, 0,
         "/d/p.jpg: is not a JPEG this program can read: it is cut into more scans than its size "
         "warrants, which would take too long to read",
         Fault::None, Cause::JpegTooManyScans},
        {Task::Embed, Reason::JpegUnreadable, "/d/p.jpg", 0, 0,
         "/d/p.jpg: is not a JPEG this program can read: it cannot be read, or is larger than "
         "256 MB",
         Fault::None, Cause::JpegUnreadable},
        // A carrier's conversion that failed under a Stealth embed is told as the converter's.
        {Task::Embed,
         Reason::PictureTooLarge,
         "/d/p.jpg",
         12000,
         0,
         "/d/p.jpg: is larger than 12000 x 12000 pixels",
         Fault::None,
         Cause::None,
         {},
         Task::Convert},
    };
    for (const auto& row : rows) {
        Outcome outcome = Outcome::refused(row.reason, QStringLiteral("/d/notes.txt"));
        outcome.task = row.task;
        outcome.about = QString::fromUtf8(row.about);
        outcome.figure = row.figure;
        outcome.error = row.error;
        outcome.fault = row.fault;
        outcome.detail = row.detail;
        outcome.cause = row.cause;
        outcome.step = row.step;
        EXPECT_EQ(cli::refusalText(outcome).toStdString(), row.line);
    }
    // A check that kept the new image from being written.
    Outcome unread =
        Outcome::failed(Reason::NotReadBack, QStringLiteral("/d/c.bmp"), Cause::ReadBackSeal);
    unread.task = Task::Embed;
    unread.unwritten = QStringLiteral("/out/c.bmp");
    EXPECT_EQ(cli::refusalText(unread).toStdString(),
              "/out/c.bmp: not written: its sealed document does not open with this code");
}

// An embed that failed before the engine ran, or could not call it, names the file the reason
// concerns; a notice names the document and goes on.
TEST(TerminalText, EmbedFailuresAndNoticesSayWhatHappened) {
    const struct {
        Task task;
        Reason reason;
        const char* about;
        QString detail;
        int64_t figure;
        const char* line;
        Cause cause = Cause::None;
    } rows[] = {
        {Task::Embed,
         Reason::CropTooSmall,
         "",
         {},
         0,
         "/d/c.bmp: the area drawn is too small for the document"},
        {Task::Embed, Reason::DoesNotFit, "", QStringLiteral("5000 4000"), 0,
         "/d/c.bmp: the document does not fit: packed it takes 5000 bytes, Embed max. 4000"},
        {Task::Embed, Reason::EngineLimit, "", QString(), 0,
         "/d/c.bmp: the new image would be too narrow for its height; choose a wider --crop",
         Cause::WidthLimit},
        {Task::Embed,
         Reason::NotCarrier,
         "",
         {},
         int64_t(CarrierFault::EndsEarly),
         "/d/c.bmp: is not a valid file for this: its compressed pixels end before the image "
         "does"},
        {Task::Embed, Reason::CannotRead, "/d/a.txt", QString(), 0,
         "/d/a.txt: strong protection seals a packed document only, and packing it failed",
         Cause::SealPacking},
        {Task::Extract,
         Reason::EngineUnavailable,
         "",
         {},
         0,
         "/d/c.bmp: the program's engine cannot be called"},
    };
    for (const auto& row : rows) {
        Outcome outcome = Outcome::failed(row.reason, QStringLiteral("/d/c.bmp"), row.detail);
        outcome.task = row.task;
        outcome.about = QString::fromUtf8(row.about);
        outcome.figure = row.figure;
        outcome.cause = row.cause;
        EXPECT_EQ(cli::refusalText(outcome).toStdString(), row.line);
    }
    const auto notice = [](NoticeKind kind, Fault fault = Fault::None, const QString& detail = {}) {
        Notice said{kind, QStringLiteral("/d/a.txt"), fault};
        said.detail = detail;
        return said;
    };
    const struct {
        Notice notice;
        const char* line;
    } notices[] = {
        {notice(NoticeKind::StoredUnencrypted, Fault::ZipNotMade),
         "/d/a.txt: cannot be encrypted, so it is stored as it is: Cannot create ZIP file"},
        {notice(NoticeKind::NotSealed), "/d/a.txt: cannot be packed, so not sealed"},
        // questions and notices
        {notice(NoticeKind::StealthAboveRate, Fault::None, QStringLiteral("187")),
         "The document takes more of this image than Stealth recommends (187 bytes here: one "
         "hidden bit in 67 colour bytes), so detection gets likelier. A larger image, or a "
         "smaller document, keeps below it."},
        {notice(NoticeKind::JpegStealthAboveRate, Fault::None, QStringLiteral("88 101 14000")),
         "The document takes more of this photo than Stealth recommends (88 bytes here: 0.1 "
         "hidden bits per non-zero AC coefficient of the JPEG; this document takes 0.115), so "
         "detection gets likelier. A larger photo, or a smaller document, keeps below it."},
        {notice(NoticeKind::GpsKept),
         "/d/a.txt: its EXIF or XMP holds a GPS position, which the new image keeps "
         "(--strip-metadata drops the EXIF and XMP)"},
    };
    for (const auto& row : notices) {
        EXPECT_EQ(cli::noticeText(row.notice).toStdString(), row.line);
    }
}

// questions and notices
// A question a workflow hands over typed, in the terminal's words: the window's box as one line.
TEST(TerminalText, TypedQuestionsAreOneLine) {
    const struct {
        Question question;
        const char* line;
    } rows[] = {
        {{QuestionKind::SealCostly, QStringLiteral("/d/c.bmp"), QStringLiteral("262144 3 65536 1")},
         "/d/c.bmp - opening it takes 256 MiB of memory and 3 passes, more than this version "
         "asks for its own images (64 MiB of memory and 1 pass), so it takes longer. Open it?"},
        {{QuestionKind::KeepAboveRate, QStringLiteral("/d/a.txt"), QStringLiteral("600 187")},
         "This document takes 600 bytes packed, more of this image than Stealth recommends (187 "
         "bytes here: one hidden bit in 67 colour bytes), so detection gets likelier. A larger "
         "image, or a smaller document, keeps below it. Keep this document?"},
        {{QuestionKind::ReplaceArchive, QStringLiteral("/d/a.zip")}, "replace /d/a.zip?"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(cli::questionLine(row.question).toStdString(), row.line);
    }
}

// A question is asked on the terminal from what it asks about, never from the box's words.
TEST(TerminalText, QuestionsAreWordedByWhatTheyAsk) {
    const struct {
        Asked asked;
        const char* text; // the box's, which only a question of no kind is asked in
        const char* line;
    } rows[] = {
        {{Asked::Kind::Replace, QStringLiteral("/out/a.bmp")}, "", "replace /out/a.bmp?"},
        {{Asked::Kind::Delete, QStringLiteral("/d/a.txt")}, "", "overwrite and delete /d/a.txt?"},
        {{Asked::Kind::Marked, QStringLiteral("/out/.a.bmp"), false, true},
         "",
         "/out/.a.bmp is a hidden file; go on?"},
        {{Asked::Kind::Marked, QStringLiteral("/out/.a.bmp"), true, true},
         "",
         "/out/.a.bmp is a hidden and read-only file; go on?"},
        {{}, "Replace the code?\n\nIt cannot be undone.", "Replace the code? It cannot be undone."},
    };
    for (const auto& row : rows) {
        Message message;
        message.text = QString::fromUtf8(row.text);
        message.buttons = MessageButtons::OkCancel;
        message.asked = row.asked;
        EXPECT_EQ(cli::questionText(message).toStdString(), row.line);
    }
}

} // namespace
