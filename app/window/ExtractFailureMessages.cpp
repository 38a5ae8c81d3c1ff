#include "window/ExtractFailureMessages.h"

#include "protection/JpegCoefficients.h"
#include "util/ReplacementFile.h"
#include "util/StringTable.h"
#include "util/TextIds.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/ProtectionFailures.h"

#include <QStringList>
#include <cerrno>

namespace brindmar {

QString costText(int64_t memoryKiB, int64_t passes) {
    const bool mebibytes = memoryKiB % 1024 == 0;
    return QStringLiteral("%1 %2 of memory and %3 %4")
        .arg(mebibytes ? memoryKiB / 1024 : memoryKiB)
        .arg(mebibytes ? QStringLiteral("MiB") : QStringLiteral("KiB"))
        .arg(passes)
        .arg(passes == 1 ? QStringLiteral("pass") : QStringLiteral("passes"));
}

namespace {

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

// The file the words are about: a work copy is named as the picture the user knows.
QString named(const Outcome& outcome) {
    return outcome.workFolder
               ? outcome.about + QStringLiteral(" (its copy in a private work folder)")
               : outcome.about;
}

QString readBackWords(const Outcome& outcome) {
    switch (outcome.cause) {
    case Cause::ReadBackPayload:
        return QStringLiteral("its payload cannot be read back");
    case Cause::ReadBackSeal:
        return QStringLiteral("its sealed document does not open with this code");
    case Cause::ReadBackPicture:
        return QStringLiteral("it does not read back as a picture");
    case Cause::ReadBackStealth:
        return QStringLiteral("as written it does not give the document back with this code");
    case Cause::ReadBackNoReader:
        return QStringLiteral("no picture reader to read it back with");
    case Cause::ReadBackAsWritten:
        return outcome.about + QStringLiteral(" does not read back as it was written");
    default:
        break;
    }
    return outcome.about + QStringLiteral(" - the new image does not give the document back "
                                          "with this code, so it was not written");
}

// The words under the box's headline; nothing for an outcome that is not one of these.
QString failureWords(const Outcome& outcome) {
    const QString about = named(outcome);
    switch (outcome.reason) {
    case Reason::CannotOpen:
        return about + text(TextId::CannotBeOpened);
    case Reason::WorkNotWritten:
        return about + QStringLiteral(" could not be written: ") +
               (outcome.error == ENOSPC ? QStringLiteral("the disk is full")
                                        : systemErrorText(outcome.error));
    case Reason::WorkNotRead:
        return about + QStringLiteral(" - cannot be read: ") + systemErrorText(outcome.error);
    case Reason::NoMemory:
        return QStringLiteral("There is not enough memory for the strong protection key: close "
                              "other programs and try again");
    case Reason::SealTooCheap:
        return about + QStringLiteral(" - its document is sealed at a cost so low (%1) that its "
                                      "code could be guessed cheaply; it is not opened")
                           .arg(costText(outcome.detailFigure(0), outcome.detailFigure(1)));
    case Reason::SealTooCostly:
        return about + QStringLiteral(" - opening it would take %1, more than any image this "
                                      "program makes asks for (at most %2); it is not opened")
                           .arg(costText(outcome.detailFigure(0), outcome.detailFigure(1)),
                                costText(outcome.detailFigure(2), outcome.detailFigure(3)));
    case Reason::SealUnknown:
        return about + QStringLiteral(" - its document is sealed in a way this version cannot "
                                      "open");
    case Reason::MemoryShort:
        return about + QStringLiteral(" - opening it takes %1 MiB of memory, and only %2 MiB are "
                                      "free: close other programs and try again")
                           .arg(outcome.detailFigure(0) / 1024)
                           .arg(outcome.detailFigure(1) / 1024);
    case Reason::DocumentChanged:
        return about + QStringLiteral(" - changed while it was being sealed; choose it again");
    case Reason::NotReadBack:
        return readBackWords(outcome);
    case Reason::PayloadUnderStealth:
        return about + QStringLiteral(" - the image already carries a payload, which would give "
                                      "a Stealth image away: choose a carrier without one");
    case Reason::TooFewColours:
        return about + QStringLiteral(" - a picture of %1 colours cannot hide changes; choose a "
                                      "photograph")
                           .arg(outcome.figure);
    case Reason::NotStealthCarrier:
        return about + QStringLiteral(" - Stealth needs a 24-bit uncompressed BMP: convert the "
                                      "picture first");
    case Reason::InvalidFile:
        return about + text(TextId::AnInvalidFile);
    case Reason::JpegUnreadable:
        return about + QStringLiteral(" - is not a JPEG this program can read") +
               jpegFaultClause(outcome.cause);
    case Reason::StealthTooLarge:
        return QStringLiteral("The document does not fit this image with Stealth: packed it "
                              "takes %1 bytes, and the image holds %2 at most.")
            .arg(outcome.detailFigure(0))
            .arg(outcome.detailFigure(1));
    case Reason::PictureTooLarge:
        return about + QStringLiteral(" - is larger than %1 x %1 pixels").arg(outcome.figure);
    case Reason::PictureTooDeep:
        return about + QStringLiteral(" - needs more memory to convert than a picture of %1 x %1 "
                                      "pixels: save it with fewer pixels, or %2")
                           .arg(outcome.figure)
                           .arg(outcome.cause == Cause::Progressive
                                    ? QStringLiteral("as a JPEG that is not progressive")
                                    : QStringLiteral("with 8 bits a channel"));
    case Reason::TooManyScans:
        return about + QStringLiteral(" - is a JPEG of more scans than a picture of its size "
                                      "needs (at most %1); it is refused rather than decoded for "
                                      "minutes")
                           .arg(outcome.figure);
    default:
        break;
    }
    // The reasons others share, told here for the file a seal, a coder or a search names.
    if (outcome.about.isEmpty()) {
        return {};
    }
    switch (outcome.reason) {
    case Reason::WrongCode:
        return about + QStringLiteral(" - this code does not open the document");
    case Reason::Damaged:
        return about + (outcome.task == Task::Convert
                            ? QStringLiteral(" - is damaged or cut short")
                            : QStringLiteral(" - the sealed document in it is damaged or was "
                                             "altered"));
    case Reason::NoDocumentForCode:
        return about + QStringLiteral(" - no document opens with this code: the picture carries "
                                      "none, or one made with another code; a picture changed "
                                      "since (re-saved, resized or edited) is one possibility "
                                      "too");
    case Reason::CannotRead:
        return outcome.task == Task::Convert ? about + QStringLiteral(" - could not be read: ") +
                                                   systemErrorText(outcome.error)
                                             : QString();
    case Reason::CannotWrite:
        // The converter's writer in its own words; an errno is the window's other boxes'.
        return outcome.task == Task::Convert && outcome.error == 0
                   ? about + QStringLiteral(" - could not be written: ") + outcome.detail
                   : QString();
    default:
        return {};
    }
}

void box(OutcomeRendering& shown, Sound sound, const QString& title, const QString& words) {
    shown.sounds = {sound};
    shown.beeps = sound == Sound::Error ? 2 : 1;
    shown.boxed = true;
    shown.message = Message{title, words, MessageIcon::Exclamation};
}

void failureBox(OutcomeRendering& shown, Task task, const QString& words) {
    switch (task) {
    case Task::Extract:
        box(shown, Sound::Error, text(TextId::FileExtractTitle),
            text(TextId::ErrorDuringExtracting) +
                (words.isEmpty() ? QString() : QStringLiteral("\n\n") + words));
        break;
    case Task::Convert:
        box(shown, Sound::Error, QStringLiteral("Convert picture to BMP"), words);
        break;
    default:
        box(shown, Sound::Error, QStringLiteral("File Embed"),
            QStringLiteral("Error during embedding\n\n") + words);
        break;
    }
}

} // namespace

bool renderExtractFailure(OutcomeRendering& shown, const Outcome& outcome) {
    if (outcome.task == Task::Extract && outcome.reason == Reason::CodeNeeded &&
        outcome.cause == Cause::Sealed) {
        box(shown, Sound::Attention, text(TextId::FileExtractTitle),
            outcome.subject + QStringLiteral(" - its document is sealed with strong protection: "
                                             "type its code, then extract"));
        return true;
    }
    const QString words = failureWords(outcome);
    if (!outcome.unwritten.isEmpty()) {
        failureBox(shown, outcome.task,
                   outcome.unwritten + QStringLiteral(" was not written: ") + words);
        return true;
    }
    if (!words.isEmpty()) {
        failureBox(shown, outcome.task, words);
        return true;
    }
    // Nothing to extract where the header promised it, or a header the engine cannot be told:
    // the headline alone.
    const bool headline = outcome.reason == Reason::NoPayload || outcome.reason == Reason::Damaged;
    if (outcome.task == Task::Extract && headline && outcome.about.isEmpty() &&
        outcome.detail.isEmpty()) {
        failureBox(shown, outcome.task, {});
        return true;
    }
    return false;
}

} // namespace brindmar
