#include "cli/ExtractFailureText.h"

#include "protection/JpegCoefficients.h"
#include "util/ReplacementFile.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/ProtectionFailures.h"

#include <QStringList>
#include <cerrno>

namespace brindmar::cli {

QString costText(int64_t memoryKiB, int64_t passes) {
    const bool mebibytes = memoryKiB % 1024 == 0;
    return QStringLiteral("%1 %2 of memory and %3 %4")
        .arg(mebibytes ? memoryKiB / 1024 : memoryKiB)
        .arg(mebibytes ? QStringLiteral("MiB") : QStringLiteral("KiB"))
        .arg(passes)
        .arg(passes == 1 ? QStringLiteral("pass") : QStringLiteral("passes"));
}

namespace {

QString readBackText(Cause how) {
    switch (how) {
    case Cause::ReadBackPayload:
        return QStringLiteral("its payload cannot be read back");
    case Cause::ReadBackSeal:
        return QStringLiteral("its sealed document does not open with this code");
    case Cause::ReadBackPicture:
        return QStringLiteral("it does not read back as a picture");
    case Cause::ReadBackStealth:
        return QStringLiteral("as written it does not give the document back with this code");
    case Cause::ReadBackNoReader:
        return QStringLiteral("there is no picture reader to read it back with");
    case Cause::ReadBackAsWritten:
        return QStringLiteral("does not read back as it was written");
    default:
        break;
    }
    return QStringLiteral("the new image does not give the document back with this code, so it "
                          "was not written");
}

// What went wrong with the file, in the terminal's words; nothing for a reason not told here.
QString whyText(const Outcome& outcome) {
    switch (outcome.reason) {
    case Reason::CannotOpen:
        return QStringLiteral("cannot be opened");
    case Reason::WorkNotWritten:
        return QStringLiteral("could not be written: ") + (outcome.error == ENOSPC
                                                               ? QStringLiteral("the disk is full")
                                                               : systemErrorText(outcome.error));
    case Reason::WorkNotRead:
        return QStringLiteral("cannot be read: ") + systemErrorText(outcome.error);
    case Reason::NoMemory:
        return QStringLiteral("there is not enough memory for the strong protection key; close "
                              "other programs and try again");
    case Reason::SealTooCheap:
        return QStringLiteral("its document is sealed at a cost so low (%1) that its code could "
                              "be guessed cheaply; it is not opened")
            .arg(costText(outcome.detailFigure(0), outcome.detailFigure(1)));
    case Reason::SealTooCostly:
        return QStringLiteral("opening it would take %1, more than any image this program makes "
                              "asks for (at most %2); it is not opened")
            .arg(costText(outcome.detailFigure(0), outcome.detailFigure(1)),
                 costText(outcome.detailFigure(2), outcome.detailFigure(3)));
    case Reason::SealUnknown:
        return QStringLiteral("its document is sealed in a way this version cannot open");
    case Reason::MemoryShort:
        return QStringLiteral("opening it takes %1 MiB of memory, and only %2 MiB are free: "
                              "close other programs and try again")
            .arg(outcome.detailFigure(0) / 1024)
            .arg(outcome.detailFigure(1) / 1024);
    case Reason::DocumentChanged:
        return QStringLiteral("changed while it was being sealed; embed it once it no longer "
                              "changes");
    case Reason::NotReadBack:
        return readBackText(outcome.cause);
    case Reason::PayloadUnderStealth:
        return QStringLiteral("the image already carries a payload, which would give a Stealth "
                              "image away: choose a carrier without one");
    case Reason::TooFewColours:
        return QStringLiteral("a picture of %1 colours cannot hide changes; choose a photograph")
            .arg(outcome.figure);
    case Reason::NotStealthCarrier:
        return QStringLiteral("Stealth needs a 24-bit uncompressed BMP");
    case Reason::InvalidFile:
        return QStringLiteral("is not a valid file for this");
    case Reason::JpegUnreadable:
        return QStringLiteral("is not a JPEG this program can read") +
               jpegFaultClause(outcome.cause);
    case Reason::StealthTooLarge:
        return QStringLiteral("the document does not fit this image with Stealth: packed it takes "
                              "%1 bytes, and the image holds %2 at most")
            .arg(outcome.detailFigure(0))
            .arg(outcome.detailFigure(1));
    case Reason::PictureTooLarge:
        return QStringLiteral("is larger than %1 x %1 pixels").arg(outcome.figure);
    case Reason::PictureTooDeep:
        return QStringLiteral("needs more memory to convert than a picture of %1 x %1 pixels: "
                              "save it with fewer pixels, or %2")
            .arg(outcome.figure)
            .arg(outcome.cause == Cause::Progressive
                     ? QStringLiteral("as a JPEG that is not progressive")
                     : QStringLiteral("with 8 bits a channel"));
    case Reason::TooManyScans:
        return QStringLiteral("is a JPEG of more scans than a picture of its size needs (at most "
                              "%1); it is refused rather than decoded for minutes")
            .arg(outcome.figure);
    default:
        break;
    }
    if (outcome.task != Task::Convert) {
        return {};
    }
    // The converter's own failures; its other reasons are the command line's shared ones.
    switch (outcome.reason) {
    case Reason::CannotRead:
        return QStringLiteral("could not be read: ") + systemErrorText(outcome.error);
    case Reason::Damaged:
        return QStringLiteral("is damaged or cut short");
    case Reason::CannotWrite:
        return QStringLiteral("could not be written: ") +
               (outcome.error != 0 ? systemErrorText(outcome.error) : outcome.detail);
    default:
        return {};
    }
}

// The file the line is about: a work copy is named as the picture the user knows.
QString fileOf(const Outcome& outcome) {
    if (outcome.about.isEmpty()) {
        return outcome.subject;
    }
    return outcome.workFolder
               ? outcome.about + QStringLiteral(" (its copy in a private work folder)")
               : outcome.about;
}

QString joined(const QString& file, const QString& why) {
    return file.isEmpty() ? why : file + QStringLiteral(": ") + why;
}

} // namespace

std::optional<QString> extractFailureLine(const Outcome& outcome) {
    const QString why = whyText(outcome);
    if (!outcome.unwritten.isEmpty()) {
        // A check of the new file failed: what it found, on the file it looked at, if another.
        return joined(outcome.unwritten,
                      QStringLiteral("not written: ") +
                          (outcome.about.isEmpty() || outcome.about == outcome.unwritten
                               ? why
                               : joined(fileOf(outcome), why)));
    }
    if (why.isEmpty()) {
        return std::nullopt;
    }
    return joined(fileOf(outcome), why);
}

} // namespace brindmar::cli
