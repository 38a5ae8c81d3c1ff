#include "cli/OutcomeText.h"

#include "cli/BmpKind.h"
#include "cli/EmbedFailureText.h"
#include "cli/ExtractFailureText.h"
#include "cli/JpegStealthText.h"
#include "cli/OpenFailureText.h"
#include "cli/ZipServiceText.h"
#include "payload/PayloadHeaderReader.h"
#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "workflows/CarrierInspection.h"
#include "workflows/StealthEmbedding.h"

#include <cerrno>
#include <cstring>

namespace brindmar::cli {

namespace {

QString stealthNeedsCodeText() {
    return QStringLiteral("no payload found; an image made with Stealth can be found only with "
                          "its code");
}

// A search cannot tell a picture that carries nothing from one whose pixels changed since, so
// neither is asserted.
QString noDocumentForCodeText() {
    return QStringLiteral("no document opens with this code: the picture carries none, or one "
                          "made with another code; a picture changed since (re-saved, resized "
                          "or edited) is one possibility too");
}

QString noDocumentText(Reason reason) {
    switch (reason) {
    case Reason::CodeNeeded:
        return QStringLiteral("its document needs a code; give it with --ask-code, --code-file, "
                              "BRINDMAR_CODE or --code");
    case Reason::WrongCode:
        return QStringLiteral("this code does not open the document");
    case Reason::NoDocumentForCode:
        return noDocumentForCodeText();
    case Reason::Damaged:
        return QStringLiteral("a document opens with this code, but what follows is damaged or "
                              "was altered");
    case Reason::NoPayload:
        return QStringLiteral("no hidden document was found in it");
    default:
        return QStringLiteral("it could not be opened to read its name and size");
    }
}

QString storageText(int16_t status) {
    switch (status) {
    case PayloadStatus::CompressedArchive:
        return QStringLiteral("compressed");
    case PayloadStatus::EncryptedArchive:
        return QStringLiteral("encrypted");
    default:
        return QStringLiteral("as it is");
    }
}

// A completion's paragraphs, one line each, the file written named on the first.
QStringList doneLines(const QString& text, const QString& written = {}) {
    QStringList lines;
    for (const QString& line : text.split(u'\n')) {
        if (!line.trimmed().isEmpty()) {
            lines << line;
        }
    }
    if (!written.isEmpty() && !lines.isEmpty()) {
        lines.first() += QStringLiteral(": ") + written;
    }
    return lines;
}

// A code the command could not use; the code's checks have refused most such codes before.
QString codeRuleText(const Outcome& outcome) {
    switch (outcome.reason) {
    case Reason::CodeLength:
        return outcome.task == Task::Seal
                   ? QStringLiteral("strong protection needs a code of at least 10 characters")
                   : QStringLiteral("the code must be 10 to 20 characters long, blanks at its "
                                    "ends not counted; with --strong up to 256");
    case Reason::CodeNotLatin1:
        return QStringLiteral("the code can hold only Latin-1 characters (English and Western "
                              "European letters, digits and signs); with --strong it may be of "
                              "any script");
    case Reason::CodeUnusable:
        return QStringLiteral("the code holds a control character, or one that shows nothing");
    default:
        return QStringLiteral("the two codes differ, so nothing was embedded");
    }
}

// What the engine found wrong with the file, then its status.
QString faultText(const Outcome& outcome) {
    QString words;
    switch (outcome.fault) {
    case Fault::CannotOpen:
        words = QStringLiteral("cannot be opened") + systemReason(outcome.error);
        break;
    case Fault::Invalid:
        words = outcome.about.isEmpty() ? QStringLiteral("failed")
                                        : QStringLiteral("is not a valid file for this");
        break;
    case Fault::CannotWrite:
        words = QStringLiteral("could not be written: ") + (outcome.error == ENOSPC
                                                                ? QStringLiteral("the disk is full")
                                                                : systemErrorText(outcome.error));
        break;
    case Fault::TooLarge:
        words = QStringLiteral("is too large for this program");
        break;
    case Fault::CannotRead:
        words = outcome.error == ENODATA
                    ? QStringLiteral("it became shorter while it was read; embed it once it no "
                                     "longer changes")
                    : QStringLiteral("cannot be read: ") + systemErrorText(outcome.error);
        break;
    default: // none, or the zip service's
        break;
    }
    return words + QStringLiteral(" (%1)").arg(outcome.figure);
}

// The words and what follows them, where anything does.
QString joined(const QString& words, const QString& why) {
    return why.isEmpty() ? words : words + QStringLiteral(": ") + why;
}

// The zip tool's failure: what it could not do, then the file or folder it failed on and why,
// or the service's words.
QString zipToolText(const Outcome& outcome) {
    const QString words =
        outcome.task == Task::Zip ? QStringLiteral("cannot pack") : QStringLiteral("cannot unpack");
    if (outcome.fault != Fault::None) {
        return joined(words, zipServiceWords(outcome));
    }
    switch (outcome.reason) {
    case Reason::CannotRead:
        // The file itself could not be read: neither packed nor unpacked.
        if (outcome.about.isEmpty()) {
            return QStringLiteral("cannot be read: ") + systemErrorText(outcome.error);
        }
        return joined(words, outcome.about + QStringLiteral(" - cannot be read: ") +
                                 systemErrorText(outcome.error));
    case Reason::CannotWrite:
        return joined(words, outcome.about + QStringLiteral(" could not be written: ") +
                                 systemErrorText(outcome.error));
    case Reason::NotDeleted:
        return joined(words,
                      outcome.about + QStringLiteral(" - the unpacking's own folder could not be "
                                                     "removed"));
    // zip
    case Reason::FolderNotMade:
        return joined(words,
                      outcome.about + QStringLiteral(" - ") + systemErrorText(outcome.error));
    case Reason::NotPacked:
        return words;
    default:
        return joined(words, outcome.about.isEmpty() ? QString()
                                                     : outcome.about + QStringLiteral(" - ") +
                                                           systemErrorText(outcome.error));
    }
}

// An extract that failed while it unpacked the document.
QString unpackText(const Outcome& outcome) {
    return joined(outcome.cause == Cause::Decrypting ? QStringLiteral("cannot decrypt the document")
                                                     : QStringLiteral("cannot unpack the document"),
                  outcome.fault != Fault::None ? zipServiceWords(outcome)
                  : outcome.about.isEmpty()    ? QString()
                                               : QStringLiteral("cannot be opened"));
}

QString reasonText(const Outcome& outcome) {
    if (outcome.task == Task::Zip || outcome.task == Task::Unzip) {
        return zipToolText(outcome);
    }
    if (outcome.task == Task::Extract &&
        (outcome.cause == Cause::Decrypting || outcome.cause == Cause::Unzipping)) {
        return unpackText(outcome);
    }
    if (outcome.fault != Fault::None) {
        return faultText(outcome);
    }
    if (const QString words = embedFailureText(outcome); !words.isEmpty()) {
        return words;
    }
    switch (outcome.reason) {
    case Reason::DiskFull:
        if (!outcome.about.isEmpty()) {
            return QStringLiteral("not enough free space (%1 bytes free)").arg(outcome.figure);
        }
        return outcome.detail;
    case Reason::NoBaseName:
        return tr(TextId::InvalidFilename).toLower();
    case Reason::WrongExtension:
        return tr(TextId::InvalidFileExtension).toLower();
    case Reason::CodeLength:
    case Reason::CodeNotLatin1:
    case Reason::CodeUnusable:
    case Reason::CodesDiffer:
        return codeRuleText(outcome);
    case Reason::NotPicture:
        return QStringLiteral("is not a picture this program can read");
    case Reason::CannotRead:
        if (outcome.task != Task::Extract) {
            return outcome.detail;
        }
        return outcome.error == ENODATA
                   ? QStringLiteral("it became shorter while it was read; embed it once it no "
                                    "longer changes")
                   : QStringLiteral("cannot be read: ") + systemErrorText(outcome.error);
    case Reason::WouldReplaceCarrier:
        return outcome.task == Task::Extract
                   ? QStringLiteral("the document would replace the image itself; choose "
                                    "another --out folder")
                   : QStringLiteral("the new image would replace the carrier itself; choose "
                                    "another --out folder");
    case Reason::CannotWrite:
        // A write or a sync that fails partway leaves some of the file zeroed: never "as it was".
        if (outcome.task == Task::Convert || outcome.task == Task::Embed ||
            outcome.task == Task::Extract) {
            return QStringLiteral("could not be written: ") +
                   (outcome.error != 0 ? systemErrorText(outcome.error) : outcome.detail);
        }
        return outcome.task == Task::Wipe
                   ? QStringLiteral("was not overwritten in full, so it is not deleted; some of "
                                    "it may be zeros already")
                   : outcome.detail;
    case Reason::NotDeleted:
        return QStringLiteral("overwritten, but it cannot be deleted");
    case Reason::IsLink:
        return QStringLiteral("is a symbolic link; wipe the file it points to by its own path");
    case Reason::OtherNames:
        return QStringLiteral("has %1 names (hard links): its contents would be zeroed under the "
                              "other names too, and stay there after this one is deleted; remove "
                              "the other names first")
            .arg(outcome.figure);
    case Reason::AlreadyCarries:
        return QStringLiteral("the image already carries a document that opens with this code");
    case Reason::TooLarge: {
        // Packed or encrypted, a document can take more than the file chosen.
        const QStringList figures = outcome.detail.split(u' ');
        return QStringLiteral("the document does not fit: packed it takes %1 bytes, Embed max. %2")
            .arg(figures.value(0), figures.value(1));
    }
    case Reason::CodeNeeded:
        if (outcome.cause == Cause::Sealed) {
            return QStringLiteral("its document is sealed with strong protection; give its code "
                                  "with --ask-code, --code-file or BRINDMAR_CODE");
        }
        if (outcome.cause == Cause::Stealth) {
            return stealthNeedsCodeText();
        }
        return noDocumentText(outcome.reason);
    case Reason::NoPayload:
    case Reason::WrongCode:
        return noDocumentText(outcome.reason);
    case Reason::NoDocumentForCode:
        return noDocumentText(outcome.reason);
    case Reason::TimesNotKept:
        // Without an errno, the times stored with it; with one, the carrier's copied after.
        if (outcome.error == 0) {
            return QStringLiteral("the original date/time could not be set");
        }
        return QStringLiteral("the carrier's times could not be set: ") +
               QString::fromLocal8Bit(std::strerror(outcome.error));
    case Reason::NotCarrier:
        // Refused before the embed: the words shown over its thumbnail.
        return validityText(static_cast<uint8_t>(outcome.figure));
    case Reason::Declined: // the user's own answer: nothing to tell
        return {};
    default:
        return outcome.detail;
    }
}

} // namespace

QString refusalText(const Outcome& outcome) {
    // The user's own no, whatever the command, is no failure to report.
    if (outcome.told || outcome.done() || outcome.ending == Ending::Stopped ||
        outcome.reason == Reason::Declined) {
        return {};
    }
    if (const std::optional<QString> line = openFailureLine(outcome)) {
        return *line;
    }
    // A conversion under the command is told as the converter tells it.
    if (outcome.step == Task::Convert) {
        Outcome converted = outcome;
        converted.task = Task::Convert;
        converted.step = Task::None;
        return refusalText(converted);
    }
    if (const std::optional<QString> line = extractFailureLine(outcome)) {
        return *line;
    }
    const QString why = reasonText(outcome);
    if (why.isEmpty()) {
        return {};
    }
    // The times belong to the new image, not to the carrier; a folder short of space or a file
    // not written is named itself.
    // The zip tool names the file it was given, and the one it failed on in the reason.
    const bool zipTool = outcome.task == Task::Zip || outcome.task == Task::Unzip;
    const QString subject = outcome.reason == Reason::TimesNotKept ? outcome.written.value(0)
                            : !outcome.about.isEmpty() && !zipTool ? outcome.about
                                                                   : outcome.subject;
    return subject.isEmpty() ? why : subject + QStringLiteral(": ") + why;
}

QStringList embedDoneText(const EmbedOutcome& outcome) {
    QString text = QStringLiteral("File Embedding processed successfully");
    if (outcome.codeGiven) {
        text += QStringLiteral("\n\nNote the Code used will be necessary to extract");
    }
    return doneLines(text, outcome.written.value(0));
}

QStringList extractDoneText(const Outcome& outcome) {
    return doneLines(tr(TextId::ExtractionSucceeded), outcome.written.value(0));
}

QStringList wipeDoneText() {
    return doneLines(tr(TextId::WipeSucceeded));
}

QStringList zipDoneText(const Outcome& outcome) {
    if (outcome.task == Task::Zip) {
        return {QStringLiteral("Zipped %1 into %2").arg(outcome.subject, outcome.written.value(0))};
    }
    return {QStringLiteral("Unzipped %1: %2")
                .arg(outcome.subject, outcome.written.isEmpty()
                                          ? QStringLiteral("it held no file")
                                          : outcome.written.join(QStringLiteral(", ")))};
}

QString conversionText(const EmbedOutcome& outcome, const QString& outputFolder,
                       std::optional<ImageFormat> format, bool stealth) {
    if (!outcome.converted) {
        return {};
    }
    // An embed that then failed made no new image to name.
    const QString image = outcome.done()
                              ? QStringLiteral("; the new image is ") +
                                    embedOutputPath(outputFolder, outcome.subject, format)
                              : QString();
    if (outcome.convertedBmp) {
        return QStringLiteral("Note: %1 is %2; %3, so its pixels were copied into a 24-bit BMP "
                              "with the usual header in a private work folder, and the copy "
                              "carries the document%4")
            .arg(outcome.subject, bmpKindText(outcome.subject),
                 bmpConversionReason(outcome.subject, stealth), image);
    }
    return outcome.subject +
           QStringLiteral(": converted into a BMP carrier in a private work folder") + image;
}

QStringList infoLines(const InfoOutcome& info) {
    QStringList lines;
    if (info.png || info.jpeg) {
        lines << QStringLiteral("Image: a %1, described by the BMP of its pixels")
                     .arg(info.png ? QStringLiteral("PNG") : QStringLiteral("JPEG"));
    }
    for (int i = 0; i < kBmpInformationFields; ++i) {
        lines << tr(static_cast<TextId>(static_cast<int>(TextId::InfoIdentifier) + i)) +
                     QStringLiteral(": ") + info.fields[size_t(i)];
    }
    switch (info.carrier) {
    case InfoOutcome::Carrier::MisNamed:
        lines << QStringLiteral("Carrier: a BMP file, but its name does not end in .bmp");
        break;
    case InfoOutcome::Carrier::Usable:
        lines << QStringLiteral("Carrier: usable");
        lines << tr(TextId::EmbedMaxCaption) + u' ' + info.embedMax + QStringLiteral(" bytes");
        break;
    case InfoOutcome::Carrier::Convertible:
        // embed takes such a BMP through the converter, so it is no dead end.
        lines << QStringLiteral("Carrier: not usable as it is; converted when it is chosen as a "
                                "carrier");
        break;
    case InfoOutcome::Carrier::Unusable:
        lines << QStringLiteral("Carrier: ") + validityText(info.validity);
        break;
    }
    if (info.jpegStealthMax >= 0) {
        lines << jpegStealthInfoLine(info);
    }
    if (info.opened) {
        lines << QStringLiteral("Payload: %1, %2 bytes, %3")
                     .arg(info.documentName)
                     .arg(info.documentLength)
                     .arg(info.sealed ? QStringLiteral("sealed with strong protection")
                                      : QStringLiteral("carried with Stealth"));
    } else if (info.sealed && info.payload == Reason::None) {
        // Its length and neutral name say nothing, and nothing else can be read without the code.
        lines << QStringLiteral("Payload: sealed with strong protection");
    } else if (info.payload == Reason::None) {
        lines << QStringLiteral("Payload: %1, %2 bytes, stored %3")
                     .arg(info.documentName)
                     .arg(info.documentLength)
                     .arg(storageText(info.storage));
        // Said plainly: the code is in the image, so such a document is anyone's who has the
        // program.
        lines << (info.codeProtected
                      ? QStringLiteral("Code: stored in the image (not a protection against "
                                       "someone with this program)")
                      : QStringLiteral("Code: none; made without a code, it opens for anyone"));
    } else {
        lines << QStringLiteral("Payload: ") + noDocumentText(info.payload);
    }
    return lines;
}

} // namespace brindmar::cli
