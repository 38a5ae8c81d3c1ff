// The window's words for a command's end: one row per outcome the workflows hand over, with the
// signal, the box and the status line the user gets from it.

#include "window/OutcomeMessages.h"
#include "FakeUiServices.h"
#include "util/DrawFault.h"
#include "workflows/ProtectionFailures.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace brindmar {
namespace {

struct Row {
    const char* name;
    Outcome outcome;
    bool soundOn;
    QStringList transcript;
    QString status;
};

Outcome of(Task task, Ending ending, Reason reason, const QString& subject,
           const QStringList& written = {}, bool codeGiven = false, bool told = false) {
    Outcome outcome;
    outcome.task = task;
    outcome.ending = ending;
    outcome.reason = reason;
    outcome.subject = subject;
    outcome.written = written;
    outcome.codeGiven = codeGiven;
    outcome.told = told;
    return outcome;
}

// A reason with the file or folder it concerns and its figures.
Outcome about(Task task, Reason reason, const QString& where, int64_t figure = 0, int error = 0,
              bool workFolder = false, const QString& detail = {}) {
    Outcome outcome = of(task, Ending::Refused, reason, QStringLiteral("/pics/holiday.png"));
    outcome.about = where;
    outcome.figure = figure;
    outcome.error = error;
    outcome.workFolder = workFolder;
    outcome.detail = detail;
    return outcome;
}

// A command that failed under way, on the file named by where.
Outcome underWay(Task task, Reason reason, const QString& where, int error,
                 const QStringList& written = {}) {
    Outcome outcome = about(task, reason, where, 0, error);
    outcome.ending = Ending::Failed;
    outcome.written = written;
    return outcome;
}

// An embed that failed before the engine ran, with the detail and figure of its reason.
Outcome embedFailure(Reason reason, const QString& where, const QString& detail = {},
                     int64_t figure = 0) {
    Outcome outcome = underWay(Task::Embed, reason, where, 0);
    outcome.detail = detail;
    outcome.figure = figure;
    return outcome;
}

// The same outcome of the given kind.
Outcome ofCause(Outcome outcome, Cause cause) {
    outcome.cause = cause;
    return outcome;
}

const QString kHeadline = QStringLiteral("message Exclamation|File Embed|Error during embedding");
const QString kCarrier = QStringLiteral("/pics/holiday.bmp");
const QString kImage = QStringLiteral("/out/holiday.png");
const QString kPhoto = QStringLiteral("/pics/photo.jpg");
const QString kWork = QStringLiteral("/w/a.tmp");
// The boxes' beginnings: a failure under way, and the converter's.
const QString extracting =
    QStringLiteral("message Exclamation|File Extract|Error during extracting\n\n");
const QString embedding =
    QStringLiteral("message Exclamation|File Embed|Error during embedding\n\n");
const QString converting = QStringLiteral("message Exclamation|Convert picture to BMP|");

TEST(OutcomeMessages, EachOutcomeHasItsSignalBoxAndStatus) {
    const std::vector<Row> rows{
        {"embed done with a code",
         of(Task::Embed, Ending::Done, Reason::None, kCarrier, {kImage}, true),
         false,
         {"beep 1", "message NoIcon|Completion Message|File Embedding processed successfully\n\n"
                    "Note the Code used will be necessary to extract"},
         QStringLiteral("Wrote holiday.png in /out")},
        {"embed done without a code, sounds on",
         of(Task::Embed, Ending::Done, Reason::None, kCarrier, {kImage}),
         true,
         {"sound Success", "message NoIcon|Completion Message|File Embedding processed "
                           "successfully"},
         QStringLiteral("Wrote holiday.png in /out")},
        {"extract done",
         of(Task::Extract, Ending::Done, Reason::None, kImage, {QStringLiteral("/docs/a.txt")}),
         false,
         {"beep 1", "message NoIcon|Completion Message|File Extraction processed successfully"},
         QStringLiteral("Wrote a.txt in /docs")},
        {"wipe done",
         of(Task::Wipe, Ending::Done, Reason::None, QStringLiteral("/docs/a.txt")),
         false,
         {"beep 1",
          "message NoIcon|Completion Message|File 'Wipe' and Delete processed successfully"},
         {}},
        {"wipe not overwritten",
         of(Task::Wipe, Ending::Failed, Reason::CannotWrite, QStringLiteral("/docs/a.txt")),
         true,
         {"sound Error", "message Exclamation|File 'Wipe'|Error during 'Wipe' function"},
         {}},
        {"wipe not deleted",
         of(Task::Wipe, Ending::Failed, Reason::NotDeleted, QStringLiteral("/docs/a.txt")),
         false,
         {"beep 2", "message Exclamation|File 'Wipe'|'Wipe' completed, error during delete "
                    "function"},
         {}},
        {"zip done, sounds on",
         of(Task::Zip, Ending::Done, Reason::None, QStringLiteral("/docs/a.txt"),
            {QStringLiteral("/docs/a.zip")}),
         true,
         {"sound Success", "sound Attention",
          "message Information|File ZIP / UnZIP|a.txt zipped to directory:\n\n/docs/"},
         QStringLiteral("Wrote a.zip in /docs")},
        {"unzip done, silent without sounds",
         of(Task::Unzip, Ending::Done, Reason::None, QStringLiteral("/docs/a.zip"),
            {QStringLiteral("/docs/a.txt"), QStringLiteral("/docs/b.txt")}),
         false,
         {"message Information|File ZIP / UnZIP|/docs/a.zip\n\nEnd Unzip function"},
         {}},
        {"embed over its carrier",
         of(Task::Embed, Ending::Refused, Reason::WouldReplaceCarrier, kCarrier),
         false,
         {"beep 1", "message Exclamation|File Embed|Cannot embed to same directory as the "
                    "source image file.\n\nChange the directory in 'Output to' before "
                    "embedding."},
         {}},
        {"extract over its image",
         of(Task::Extract, Ending::Refused, Reason::WouldReplaceCarrier, kImage),
         true,
         {"sound Attention", "message Exclamation|File Extract|Cannot extract over the source "
                             "image file.\n\nChange the directory in 'Output to' before "
                             "extracting."},
         {}},
        {"work folder short of space",
         about(Task::Embed, Reason::DiskFull, QStringLiteral("/run/user/1000/brindmar/"), 100, 0,
               true),
         false,
         {"beep 2", "message Critical|Disk Space Problem|The Hard Disk used for temporary files "
                    "has insufficient space for  \\nBrindMar to run.\nSpace available on drive "
                    "/run/user/1000/brindmar/ = 100 bytes.\nPlease re-run after freeing-up disk "
                    "space."},
         {}},
        {"output folder short of space, named as passed",
         about(Task::Extract, Reason::DiskFull, QStringLiteral(" /media/usb/"), 12),
         true,
         {"sound Error", "message Critical|Disk Space Problem|The disk for the output file has "
                         "insufficient space.\nSpace available on drive  /media/usb/ = 12 "
                         "bytes.\nPlease re-run after freeing-up disk space."},
         {}},
        {"a name that is only an extension",
         about(Task::None, Reason::NoBaseName, {}),
         false,
         {"beep 2", "message Critical|File select error|Invalid filename"},
         {}},
        {"an extension the command does not take",
         about(Task::None, Reason::WrongExtension, {}),
         true,
         {"sound Error", "message Critical|File select error|Invalid file extension"},
         {}},
        {"code too short",
         about(Task::None, Reason::CodeLength, {}),
         false,
         {"beep 1", "message Exclamation|Code entry Error|Code must be either empty or 10 to 20 "
                    "characters long"},
         {}},
        {"code too short to seal",
         about(Task::Seal, Reason::CodeLength, {}),
         false,
         {"beep 1", "message Exclamation|File Embed|Strong protection needs a code of at least "
                    "10 characters: type one, or untick Strong protection"},
         {}},
        {"codes differ under Stealth",
         ofCause(about(Task::Seal, Reason::CodesDiffer, {}), Cause::Stealth),
         true,
         {"sound Attention", "message Exclamation|Stealth|The two codes differ, so nothing was "
                             "embedded. Type the code again in the code box, then embed."},
         {}},
        {"not a picture",
         about(Task::Convert, Reason::NotPicture, {}),
         false,
         {"beep 2", "message Exclamation|Convert picture to BMP|/pics/holiday.png - is not a "
                    "picture this program can read"},
         {}},
        {"converted carrier not written",
         about(Task::Convert, Reason::CannotWrite, QStringLiteral("/out/holiday.bmp"), 0, 28),
         false,
         {"beep 2", "message Exclamation|Convert picture to BMP|/out/holiday.bmp - could not be "
                    "written: No space left on device"},
         {}},
        {"archive that cannot be read",
         about(Task::Unzip, Reason::CannotRead, {}, 0, 5),
         false,
         {"beep 2", "message Exclamation|ZIP / UnZIP Error|Error during unzipping of:\n\n"
                    "/pics/holiday.png\n\n/pics/holiday.png - cannot be read: Input/output "
                    "error"},
         {}},
        {"new image not written",
         underWay(Task::Embed, Reason::CannotWrite, kImage, 28),
         false,
         {"beep 2", "message Exclamation|File Embed|Error during embedding\n\n/out/holiday.png "
                    "could not be written: No space left on device"},
         {}},
        {"PNG not written, in the encoder's words",
         [] {
             Outcome outcome = underWay(Task::Embed, Reason::CannotWrite, kImage, 0);
             outcome.detail = QStringLiteral("the encoder gave up");
             return outcome;
         }(),
         false,
         {"beep 2", "message Exclamation|File Embed|Error during embedding\n\n/out/holiday.png "
                    "could not be written: the encoder gave up"},
         {}},
        {"document not written",
         underWay(Task::Extract, Reason::CannotWrite, QStringLiteral("/docs/a.txt"), 5),
         true,
         {"sound Error", "message Exclamation|File Extract|Error during extracting\n\n"
                         "/docs/a.txt could not be written: Input/output error"},
         {}},
        {"image that cannot be read for its header",
         underWay(Task::Extract, Reason::CannotRead, {}, 5),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extracting\n\n"
                    "/pics/holiday.png - cannot be read: Input/output error"},
         {}},
        {"image that shrank while it was read",
         underWay(Task::Extract, Reason::CannotRead, {}, ENODATA),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extracting\n\n"
                    "/pics/holiday.png - it became shorter while it was read; embed it once it "
                    "no longer changes"},
         {}},
        {"document written, its times not",
         underWay(Task::Extract, Reason::TimesNotKept, {}, 0, {QStringLiteral("/docs/a.txt")}),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extracting\n\n/docs/a.txt - "
                    "the original date/time could not be set"},
         {}},
        {"code found too short to seal once under way",
         underWay(Task::Seal, Reason::CodeLength, {}, 0),
         true,
         {"sound Error", "message Exclamation|File Embed|Error during embedding\n\nStrong "
                         "protection needs a code of at least 10 characters: type one, or "
                         "untick Strong protection"},
         {}},
        {"archive not begun",
         [] {
             Outcome outcome = underWay(Task::Zip, Reason::Other, {}, 0);
             outcome.fault = Fault::ZipNotMade;
             return outcome;
         }(),
         false,
         {"beep 2", "message Exclamation|ZIP / UnZIP Error|Error during zipping of:\n\n"
                    "/pics/holiday.png\n\nCannot create ZIP file"},
         {}},
        {"member not moved in beside the archive",
         underWay(Task::Unzip, Reason::CannotWrite, QStringLiteral("/docs/a.txt"), 28),
         false,
         {"beep 2", "message Exclamation|ZIP / UnZIP Error|Error during unzipping of:\n\n"
                    "/pics/holiday.png\n\n/docs/a.txt could not be written: No space left on "
                    "device"},
         {}},
        {"document without the member its header names",
         [] {
             Outcome outcome =
                 underWay(Task::Extract, Reason::Damaged, QStringLiteral("/docs/a.txt"), 0);
             outcome.cause = Cause::Unzipping;
             return outcome;
         }(),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extract file UnZIP\n\n"
                    "/docs/a.txt cannot be opened"},
         {}},
        {"document not decrypted, in the zip service's words",
         [] {
             Outcome outcome = underWay(Task::Extract, Reason::Damaged, {}, 0);
             outcome.cause = Cause::Decrypting;
             outcome.fault = Fault::Unzipping;
             outcome.figure = 11;
             return outcome;
         }(),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extract file decrypt\n\n"
                    "File omitted as locked (11)"},
         {}},
        {"drawn crop too small",
         embedFailure(Reason::CropTooSmall, {}),
         false,
         {"beep 2", kHeadline + "\n\nThe area drawn is too small for the document: draw a "
                                "larger one, or choose another crop."},
         {}},
        {"document does not fit",
         embedFailure(Reason::DoesNotFit, {}, QStringLiteral("5000 4000")),
         false,
         {"beep 2", kHeadline + "\n\nThe document does not fit this image: packed it takes 5000 "
                                "bytes, and the image holds 4000 at most."},
         {}},
        {"crop beyond the engine's reach",
         ofCause(embedFailure(Reason::EngineLimit, {}), Cause::CropLimit),
         false,
         {"beep 2", kHeadline + "\n\n/pics/holiday.png - the crop starts too far into this "
                                "large image: choose a crop at its bottom left, or no crop"},
         {}},
        {"document changed since it was chosen",
         ofCause(embedFailure(Reason::CannotRead, QStringLiteral("/docs/a.txt")), Cause::AsChosen),
         false,
         {"beep 2", kHeadline + "\n\n/docs/a.txt - cannot be read as it was chosen; choose it "
                                "again"},
         {}},
        {"empty document not packed",
         ofCause(embedFailure(Reason::CannotRead, QStringLiteral("/docs/a.txt")),
                 Cause::EmptyPacking),
         false,
         {"beep 2", kHeadline + "\n\n/docs/a.txt - an empty document can be hidden only packed, "
                                "and packing it failed"},
         {}},
        {"engine not loaded, embedding",
         embedFailure(Reason::EngineUnavailable, {}, QStringLiteral("/p/libvokbfn1.so: gone")),
         true,
         {"sound Error", "message Exclamation|File Embed|Error during embedding\n\nThe "
                         "program's engine cannot be loaded: /p/libvokbfn1.so: gone"},
         {}},
        {"engine not called, extracting",
         underWay(Task::Extract, Reason::EngineUnavailable, {}, 0),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extracting"},
         {}},
        // The seal's, the stealth coders' and the converter's ends, and the extraction's own.
        {"sealed, and no code typed",
         ofCause(about(Task::Extract, Reason::CodeNeeded, {}), Cause::Sealed),
         true,
         {"sound Attention", "message Exclamation|File Extract|/pics/holiday.png - its document "
                             "is sealed with strong protection: type its code, then extract"},
         {}},
        {"nothing where the header promised it",
         underWay(Task::Extract, Reason::NoPayload, {}, 0),
         false,
         {"beep 2", "message Exclamation|File Extract|Error during extracting"},
         {}},
        {"seal not opened by this code",
         underWay(Task::Extract, Reason::WrongCode, kImage, 0),
         false,
         {"beep 2", extracting + "/out/holiday.png - this code does not open the document"},
         {}},
        {"sealed document altered",
         underWay(Task::Extract, Reason::Damaged, kImage, 0),
         false,
         {"beep 2", extracting + "/out/holiday.png - the sealed document in it is damaged or "
                                 "was altered"},
         {}},
        {"nothing opens with the code",
         underWay(Task::Extract, Reason::NoDocumentForCode, kImage, 0),
         false,
         {"beep 2", extracting + "/out/holiday.png - no document opens with this code: the "
                                 "picture carries none, or one made with another code; a "
                                 "picture changed since (re-saved, resized or edited) is one "
                                 "possibility too"},
         {}},
        {"photo not opened",
         underWay(Task::Extract, Reason::CannotOpen, kPhoto, 0),
         false,
         {"beep 2", extracting + "/pics/photo.jpg cannot be opened"},
         {}},
        {"work file not written",
         underWay(Task::Extract, Reason::WorkNotWritten, kWork, ENOSPC),
         false,
         {"beep 2", extracting + "/w/a.tmp could not be written: the disk is full"},
         {}},
        {"work file not read",
         underWay(Task::Embed, Reason::WorkNotRead, kWork, 5),
         false,
         {"beep 2", embedding + "/w/a.tmp - cannot be read: Input/output error"},
         {}},
        {"no memory for the key",
         underWay(Task::Embed, Reason::NoMemory, {}, 0),
         false,
         {"beep 2", embedding + "There is not enough memory for the strong protection key: "
                                "close other programs and try again"},
         {}},
        {"sealed too cheaply",
         about(Task::Extract, Reason::SealTooCheap, kImage, 0, 0, false, QStringLiteral("8 1")),
         false,
         {"beep 2", extracting + "/out/holiday.png - its document is sealed at a cost so low (8 "
                                 "KiB of memory and 1 pass) that its code could be guessed "
                                 "cheaply; it is not opened"},
         {}},
        {"sealed too dearly",
         about(Task::Extract, Reason::SealTooCostly, kImage, 0, 0, false,
               QStringLiteral("2097152 9 1048576 8")),
         false,
         {"beep 2", extracting + "/out/holiday.png - opening it would take 2048 MiB of memory "
                                 "and 9 passes, more than any image this program makes asks "
                                 "for (at most 1024 MiB of memory and 8 passes); it is not "
                                 "opened"},
         {}},
        {"sealed in an unknown way",
         about(Task::Extract, Reason::SealUnknown, kImage),
         false,
         {"beep 2", extracting + "/out/holiday.png - its document is sealed in a way this "
                                 "version cannot open"},
         {}},
        {"memory short to open",
         about(Task::Extract, Reason::MemoryShort, kImage, 0, 0, false,
               QStringLiteral("1048576 524288")),
         false,
         {"beep 2", extracting + "/out/holiday.png - opening it takes 1024 MiB of memory, and "
                                 "only 512 MiB are free: close other programs and try again"},
         {}},
        {"document changed while sealed",
         underWay(Task::Embed, Reason::DocumentChanged, QStringLiteral("/docs/a.txt"), 0),
         false,
         {"beep 2", embedding + "/docs/a.txt - changed while it was being sealed; choose it "
                                "again"},
         {}},
        {"new image that does not read back",
         [] {
             Outcome outcome =
                 ofCause(about(Task::Embed, Reason::NotReadBack, {}), Cause::ReadBackPayload);
             outcome.unwritten = kImage;
             return outcome;
         }(),
         false,
         {"beep 2", embedding + "/out/holiday.png was not written: its payload cannot be read "
                                "back"},
         {}},
        {"coder's own check failed",
         ofCause(about(Task::Embed, Reason::NotReadBack, kCarrier), Cause::ReadBackCoder),
         false,
         {"beep 2", embedding + "/pics/holiday.bmp - the new image does not give the document "
                                "back with this code, so it was not written"},
         {}},
        {"carrier of too few colours",
         about(Task::Embed, Reason::TooFewColours, kCarrier, 201),
         false,
         {"beep 2", embedding + "/pics/holiday.bmp - a picture of 201 colours cannot hide "
                                "changes; choose a photograph"},
         {}},
        {"no 24-bit carrier",
         about(Task::Embed, Reason::NotStealthCarrier, kCarrier),
         false,
         {"beep 2", embedding + "/pics/holiday.bmp - Stealth needs a 24-bit uncompressed BMP: "
                                "convert the picture first"},
         {}},
        {"file the coder cannot follow",
         about(Task::Embed, Reason::InvalidFile, kCarrier),
         false,
         {"beep 2", embedding + "/pics/holiday.bmp an invalid file"},
         {}},
        // Words in the detail are no kind, even words that once named one.
        {"photo that cannot stay a JPEG, of no known kind",
         about(Task::Embed, Reason::JpegUnreadable, kPhoto, 0, 0, false, QStringLiteral("damaged")),
         false,
         {"beep 2", embedding + "/pics/photo.jpg - is not a JPEG this program can read"},
         {}},
        {"too large for Stealth",
         about(Task::Embed, Reason::StealthTooLarge, {}, 0, 0, false, QStringLiteral("9000 4000")),
         false,
         {"beep 2", embedding + "The document does not fit this image with Stealth: packed it "
                                "takes 9000 bytes, and the image holds 4000 at most."},
         {}},
        {"picture too large",
         about(Task::Convert, Reason::PictureTooLarge, kPhoto, 12000),
         false,
         {"beep 2", converting + "/pics/photo.jpg - is larger than 12000 x 12000 pixels"},
         {}},
        {"progressive photo too deep",
         ofCause(about(Task::Convert, Reason::PictureTooDeep, kPhoto, 12000), Cause::Progressive),
         false,
         {"beep 2", converting + "/pics/photo.jpg - needs more memory to convert than a picture "
                                 "of 12000 x 12000 pixels: save it with fewer pixels, or as a "
                                 "JPEG that is not progressive"},
         {}},
        {"photo of too many scans",
         about(Task::Convert, Reason::TooManyScans, kPhoto, 50),
         false,
         {"beep 2", converting + "/pics/photo.jpg - is a JPEG of more scans than a picture of "
                                 "its size needs (at most 50); it is refused rather than "
                                 "decoded for minutes"},
         {}},
        {"picture not read",
         about(Task::Convert, Reason::CannotRead, kPhoto, 0, ENOENT),
         false,
         {"beep 2", converting + "/pics/photo.jpg - could not be read: No such file or "
                                 "directory"},
         {}},
        {"work copy not written, in the writer's words",
         about(Task::Convert, Reason::CannotWrite, kPhoto, 0, 0, true,
               QStringLiteral("File too large")),
         false,
         {"beep 2", converting + "/pics/photo.jpg (its copy in a private work folder) - could "
                                 "not be written: File too large"},
         {}},
        {"told by the workflow",
         of(Task::Extract, Ending::Failed, Reason::Damaged, kImage, {}, false, true),
         false,
         {},
         {}},
        {"stopped", of(Task::Embed, Ending::Stopped, Reason::None, kCarrier), false, {}, {}},
        // choosing a file
        {"chosen under another name than a BMP's",
         of(Task::Open, Ending::Refused, Reason::NotBmpFile, kImage),
         false,
         {"beep 1", "message Exclamation|BMP file|/out/holiday.png\n - is not a BMP file"},
         {}},
        {"chosen and not opened",
         underWay(Task::Open, Reason::CannotOpen, {}, ENOENT),
         true,
         {"sound Error", "message Exclamation|BMP file|/pics/holiday.png\n - cannot be opened: "
                         "No such file or directory"},
         {}},
        {"chosen and not read",
         underWay(Task::Open, Reason::CannotRead, {}, 0),
         false,
         {"beep 2", "message Exclamation|BMP file|/pics/holiday.png\n - cannot be read"},
         {}},
        {"picture not shown",
         about(Task::Open, Reason::NotShown, {}, int64_t(DrawFault::TooLarge)),
         false,
         {"beep 2", "message Exclamation|Operational Error|Processing failure: "
                    "/pics/holiday.png - the image is too large to show"},
         {}},
        {"picture not shown, no reason given",
         about(Task::Open, Reason::NotShown, {}),
         false,
         {"beep 2", "message Exclamation|Operational Error|Processing failure: <unknown>"},
         {}},
        {"declined", of(Task::Zip, Ending::Refused, Reason::Declined, kCarrier), false, {}, {}},
        // zip
        {"unpacking's own folder not made",
         underWay(Task::Unzip, Reason::FolderNotMade, QStringLiteral("/docs/"), EACCES),
         false,
         {"beep 2", "message Exclamation|ZIP / UnZIP Error|Error during unzipping of:\n\n"
                    "/pics/holiday.png\n\n/docs/ - Permission denied"},
         {}},
        {"not packed, the service silent",
         underWay(Task::Zip, Reason::NotPacked, {}, 0),
         false,
         {"beep 2", "message Exclamation|ZIP / UnZIP Error|Error during zipping of:\n\n"
                    "/pics/holiday.png\n\n"},
         {}},
        // questions and notices
        {"photo arithmetic coded, by its kind",
         ofCause(about(Task::Embed, Reason::JpegUnreadable, kPhoto), Cause::JpegArithmetic),
         false,
         {"beep 2", embedding + "/pics/photo.jpg - is not a JPEG this program can read: it is "
                                "arithmetic coded, and Stealth writes only Huffman-coded JPEGs, "
                                "the kind cameras and phones make"},
         {}},
        {"photo too large for the coder, by its kind",
         ofCause(about(Task::Embed, Reason::JpegUnreadable, kPhoto), Cause::JpegTooLarge),
         false,
         {"beep 2", embedding + "/pics/photo.jpg - is not a JPEG this program can read: it is "
                                "larger than Stealth takes in a JPEG (134 million pixels, 256 "
                                "MB)"},
         {}},
        {"carrier's conversion failed under a Stealth embed",
         [] {
             Outcome outcome = underWay(Task::Embed, Reason::PictureTooLarge, kPhoto, 0);
             outcome.figure = 12000;
             outcome.step = Task::Convert;
             return outcome;
         }(),
         false,
         {"beep 2", converting + "/pics/photo.jpg - is larger than 12000 x 12000 pixels"},
         {}},
    };
    for (const Row& row : rows) {
        testing::FakeUiServices ui(row.soundOn);
        OutcomeMessages().tell(row.outcome, ui);
        EXPECT_EQ(ui.transcript(), row.transcript) << row.name;
        EXPECT_EQ(renderOutcome(row.outcome).status, row.status) << row.name;
    }
}

} // namespace
} // namespace brindmar
