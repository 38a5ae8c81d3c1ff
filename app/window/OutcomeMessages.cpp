#include "window/OutcomeMessages.h"
#include "window/ExtractFailureMessages.h"

#include "util/PathHelpers.h"
#include "util/ReplacementFile.h"
#include "util/StringTable.h"
#include "util/TextIds.h"
#include "window/EmbedFailureMessages.h"
#include "window/OpenFailureMessages.h"
#include "window/QuestionMessages.h"
#include "window/ZipServiceText.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>

namespace brindmar {

namespace {

const QString kConvertTitle = QStringLiteral("Convert picture to BMP");

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

// The signal UiServices::alert gives: the sound, or two beeps for an error and one for the rest.
void alerted(OutcomeRendering& shown, Sound sound) {
    shown.sounds = {sound};
    shown.beeps = sound == Sound::Error ? 2 : 1;
}

void boxed(OutcomeRendering& shown, const QString& title, const QString& words, MessageIcon icon) {
    shown.boxed = true;
    shown.message = Message{title, words, icon};
}

void renderDone(OutcomeRendering& shown, const Outcome& outcome) {
    QString subject = outcome.subject;
    switch (outcome.task) {
    case Task::Embed: {
        QString words = QStringLiteral("File Embedding processed successfully");
        if (outcome.codeGiven) {
            words += QStringLiteral("\n\nNote the Code used will be necessary to extract");
        }
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), words, MessageIcon::None);
        break;
    }
    case Task::Extract:
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), text(TextId::ExtractionSucceeded),
              MessageIcon::None);
        break;
    case Task::Wipe:
        alerted(shown, Sound::Success);
        boxed(shown, text(TextId::CompletionTitle), text(TextId::WipeSucceeded), MessageIcon::None);
        break;
    case Task::Zip: {
        // Packing is announced twice over with the sounds on: done, and look beside the file.
        shown.sounds = {Sound::Success, Sound::Attention};
        shown.beeps = 1;
        const QString name = FileNameOf(subject);
        boxed(shown, text(TextId::ZipToolTitle),
              name + text(TextId::ZippedToDirectory) + QStringLiteral("\n\n") + FolderOf(subject),
              MessageIcon::Information);
        break;
    }
    case Task::Unzip:
        shown.sounds = {Sound::Success};
        boxed(shown, text(TextId::ZipToolTitle),
              subject + QStringLiteral("\n\n") + text(TextId::EndUnzipFunction),
              MessageIcon::Information);
        break;
    case Task::None:
    case Task::Convert:
    case Task::Seal:
    case Task::Open:
        break;
    }
    if (outcome.written.size() == 1) {
        const QFileInfo file(outcome.written.front());
        shown.status = QStringLiteral("Wrote %1 in %2")
                           .arg(file.fileName(), QDir::toNativeSeparators(file.absolutePath()));
    }
}

// A folder without room for what the command would write there.
void renderShortage(OutcomeRendering& shown, const Outcome& outcome) {
    // The "\n" inside the first sentence is a backslash and a letter n, as the text was written.
    const QString problem =
        outcome.workFolder
            ? QStringLiteral("The Hard Disk used for temporary files has insufficient space for  "
                             "\\nBrindMar to run.")
            : QStringLiteral("The disk for the output file has insufficient space.");
    alerted(shown, Sound::Error);
    boxed(shown, QStringLiteral("Disk Space Problem"),
          problem + u'\n' + QStringLiteral("Space available on drive ") + outcome.about +
              QStringLiteral(" = ") + QString::number(outcome.figure) + QStringLiteral(" bytes.") +
              u'\n' + QStringLiteral("Please re-run after freeing-up disk space."),
          MessageIcon::Critical);
}

QString codeRuleText(Reason reason) {
    switch (reason) {
    case Reason::CodeUnusable:
        return QStringLiteral("The code holds a control character or one that shows nothing; "
                              "such a code could not be typed again. Type it anew.");
    case Reason::CodeNotLatin1:
        return QStringLiteral("The code can hold only letters, digits and signs of the Latin-1 "
                              "set (English and Western European letters); other characters "
                              "cannot be kept with the image. With Strong protection, a code may "
                              "be of any script.");
    default:
        return text(TextId::CodeLengthError);
    }
}

// A code the command cannot use: typed in the code box, or typed twice to seal.
void renderCodeRule(OutcomeRendering& shown, const Outcome& outcome) {
    alerted(shown, Sound::Attention);
    if (outcome.reason == Reason::CodesDiffer) {
        // Under Stealth the user ticked Stealth, not Strong protection: the box says so.
        boxed(shown,
              outcome.cause == Cause::Stealth ? QStringLiteral("Stealth")
                                              : QStringLiteral("Strong protection"),
              QStringLiteral("The two codes differ, so nothing was embedded. Type the code again "
                             "in the code box, then embed."),
              MessageIcon::Exclamation);
    } else if (outcome.task == Task::Seal) {
        // Found by the coder under way rather than before it, it is an embed that failed.
        const bool underWay = outcome.ending == Ending::Failed;
        if (underWay) {
            alerted(shown, Sound::Error);
        }
        boxed(shown, QStringLiteral("File Embed"),
              (underWay ? QStringLiteral("Error during embedding\n\n") : QString()) +
                  QStringLiteral("Strong protection needs a code of at least 10 characters: "
                                 "type one, or untick Strong protection"),
              MessageIcon::Exclamation);
    } else {
        boxed(shown, text(TextId::CodeEntryErrorTitle), codeRuleText(outcome.reason),
              MessageIcon::Exclamation);
    }
}

// After the name of a file the command could not read.
QString readWords(int error) {
    return error == ENODATA
               ? QStringLiteral(" - it became shorter while it was read; embed it "
                                "once it no longer changes")
               : text(TextId::CannotBeReadSuffix) + QStringLiteral(": ") + systemErrorText(error);
}

QString writeWords(int error) {
    return error == ENOSPC ? QStringLiteral("the disk is full") : systemErrorText(error);
}

// The file the engine failed on and what it found wrong, then its status.
QString engineFailureDetail(const Outcome& outcome) {
    QString detail = outcome.about;
    switch (outcome.fault) {
    case Fault::CannotOpen:
        detail += text(TextId::CannotBeOpened) + systemReason(outcome.error);
        break;
    case Fault::Invalid:
        if (!outcome.about.isEmpty()) {
            detail += text(TextId::AnInvalidFile);
        }
        break;
    case Fault::CannotWrite:
        detail += QStringLiteral(" could not be written: ") + writeWords(outcome.error);
        break;
    case Fault::TooLarge:
        detail += QStringLiteral(" - is too large for this program");
        break;
    case Fault::CannotRead:
        detail += readWords(outcome.error);
        break;
    default: // none, or the zip service's
        break;
    }
    return detail + QStringLiteral(" (%1)").arg(outcome.figure);
}

// The zip tool's failure: the file or folder it failed on and why, or the service's words.
QString zipToolWhy(const Outcome& outcome) {
    if (outcome.fault != Fault::None) {
        return zipServiceWords(outcome);
    }
    switch (outcome.reason) {
    case Reason::CannotRead:
        return (outcome.about.isEmpty() ? outcome.subject : outcome.about) +
               QStringLiteral(" - cannot be read: ") + systemErrorText(outcome.error);
    case Reason::CannotWrite:
        return outcome.about + QStringLiteral(" could not be written: ") +
               systemErrorText(outcome.error);
    case Reason::NotDeleted:
        return outcome.about + QStringLiteral(" - the unpacking's own folder could not be removed");
    // zip
    case Reason::FolderNotMade:
        return outcome.about + QStringLiteral(" - ") + systemErrorText(outcome.error);
    case Reason::NotPacked:
        return {};
    default:
        return outcome.about.isEmpty()
                   ? QString()
                   : outcome.about + QStringLiteral(" - ") + systemErrorText(outcome.error);
    }
}

void renderZipFailure(OutcomeRendering& shown, const Outcome& outcome) {
    alerted(shown, Sound::Error);
    boxed(shown, text(TextId::ZipErrorTitle),
          text(outcome.task == Task::Zip ? TextId::ErrorDuringZippingOf
                                         : TextId::ErrorDuringUnzippingOf) +
              QStringLiteral("\n\n") + outcome.subject + QStringLiteral("\n\n") +
              zipToolWhy(outcome),
          MessageIcon::Exclamation);
}

// An extract that failed while it unpacked the document: decrypting it, or only unpacking it.
void renderUnpackFailure(OutcomeRendering& shown, const Outcome& outcome) {
    alerted(shown, Sound::Error);
    const QString why = outcome.fault != Fault::None ? zipServiceWords(outcome)
                        : outcome.about.isEmpty()    ? QString()
                                                     : outcome.about + text(TextId::CannotBeOpened);
    boxed(shown, text(TextId::FileExtractTitle),
          text(outcome.cause == Cause::Decrypting ? TextId::ErrorDuringExtractDecrypt
                                                  : TextId::ErrorDuringExtractUnzip) +
              QStringLiteral("\n\n") + why,
          MessageIcon::Exclamation);
}

// An embed or an extract that failed under way, and the file it failed on.
void failureBox(OutcomeRendering& shown, Task task, const QString& detail) {
    alerted(shown, Sound::Error);
    if (task == Task::Extract) {
        boxed(shown, text(TextId::FileExtractTitle),
              text(TextId::ErrorDuringExtracting) + QStringLiteral("\n\n") + detail,
              MessageIcon::Exclamation);
    } else {
        boxed(shown, QStringLiteral("File Embed"),
              QStringLiteral("Error during embedding\n\n") + detail, MessageIcon::Exclamation);
    }
}

bool embedOrExtract(const Outcome& outcome) {
    return outcome.task == Task::Embed || outcome.task == Task::Extract;
}

void renderNotDone(OutcomeRendering& shown, const Outcome& outcome) {
    // The user's own no, whatever the command: nothing to tell them.
    if (outcome.reason == Reason::Declined) {
        return;
    }
    // A conversion under the command is told as the converter tells it.
    if (outcome.step == Task::Convert) {
        Outcome converted = outcome;
        converted.task = Task::Convert;
        converted.step = Task::None;
        renderNotDone(shown, converted);
        return;
    }
    if (outcome.task == Task::Zip || outcome.task == Task::Unzip) {
        renderZipFailure(shown, outcome);
        return;
    }
    if (outcome.task == Task::Extract &&
        (outcome.cause == Cause::Decrypting || outcome.cause == Cause::Unzipping)) {
        renderUnpackFailure(shown, outcome);
        return;
    }
    if (outcome.fault != Fault::None) {
        failureBox(shown, outcome.task, engineFailureDetail(outcome));
        return;
    }
    if (renderOpenFailure(shown, outcome) || renderEmbedFailure(shown, outcome) ||
        renderExtractFailure(shown, outcome)) {
        return;
    }
    switch (outcome.reason) {
    case Reason::DiskFull:
        if (!outcome.about.isEmpty()) {
            renderShortage(shown, outcome);
        }
        break;
    case Reason::NoBaseName:
    case Reason::WrongExtension:
        alerted(shown, Sound::Error);
        boxed(shown, text(TextId::FileSelectErrorTitle),
              text(outcome.reason == Reason::NoBaseName ? TextId::InvalidFilename
                                                        : TextId::InvalidFileExtension),
              MessageIcon::Critical);
        break;
    case Reason::CodeLength:
    case Reason::CodeNotLatin1:
    case Reason::CodeUnusable:
    case Reason::CodesDiffer:
        renderCodeRule(shown, outcome);
        break;
    case Reason::WouldReplaceCarrier:
        alerted(shown, Sound::Attention);
        if (outcome.task == Task::Extract) {
            boxed(shown, text(TextId::FileExtractTitle),
                  QStringLiteral("Cannot extract over the source image file.\n\nChange the "
                                 "directory in 'Output to' before extracting."),
                  MessageIcon::Exclamation);
        } else {
            boxed(shown, QStringLiteral("File Embed"),
                  QStringLiteral("Cannot embed to same directory as the source image file.\n\n"
                                 "Change the directory in 'Output to' before embedding."),
                  MessageIcon::Exclamation);
        }
        break;
    case Reason::CannotRead:
        if (outcome.task == Task::Extract) {
            failureBox(shown, outcome.task, outcome.subject + readWords(outcome.error));
        }
        break;
    case Reason::NotPicture:
        if (outcome.task == Task::Convert) {
            alerted(shown, Sound::Error);
            boxed(shown, kConvertTitle,
                  outcome.subject + QStringLiteral(" - is not a picture this program can read"),
                  MessageIcon::Exclamation);
        }
        break;
    case Reason::CannotWrite:
    case Reason::NotDeleted:
        if (embedOrExtract(outcome)) {
            failureBox(shown, outcome.task,
                       outcome.about + QStringLiteral(" could not be written: ") +
                           (outcome.error != 0 ? systemErrorText(outcome.error) : outcome.detail));
        }
        if (outcome.task == Task::Convert) {
            alerted(shown, Sound::Error);
            boxed(shown, kConvertTitle,
                  outcome.about + QStringLiteral(" - could not be written: ") +
                      systemErrorText(outcome.error),
                  MessageIcon::Exclamation);
        }
        if (outcome.task == Task::Wipe) {
            alerted(shown, Sound::Error);
            boxed(shown, text(TextId::WipeTitle),
                  text(outcome.reason == Reason::NotDeleted ? TextId::WipeDeleteFailed
                                                            : TextId::WipeFailed),
                  MessageIcon::Exclamation);
        }
        break;
    case Reason::IsLink:
        alerted(shown, Sound::Error);
        boxed(shown, text(TextId::WipeTitle),
              outcome.subject + QStringLiteral(" is a symbolic link; wipe the file it points to "
                                               "by its own path"),
              MessageIcon::Exclamation);
        break;
    case Reason::OtherNames:
        alerted(shown, Sound::Error);
        boxed(shown, text(TextId::WipeTitle),
              outcome.subject + QStringLiteral(" has %1 names (hard links): its contents would "
                                               "be zeroed under the other names too, and stay "
                                               "there after this one is deleted; remove the "
                                               "other names first")
                                    .arg(outcome.figure),
              MessageIcon::Exclamation);
        break;
    case Reason::TimesNotKept:
        if (embedOrExtract(outcome)) {
            failureBox(shown, outcome.task,
                       outcome.written.value(0) +
                           QStringLiteral(" - the original date/time could not be set"));
        }
        break;
    case Reason::Declined: // the user's own answer: nothing to tell
    default:
        break;
    }
}

// The rendering's signal, then its box.
void present(const OutcomeRendering& shown, UiServices& ui) {
    if (ui.soundOn()) {
        for (const Sound sound : shown.sounds) {
            ui.playSound(sound);
        }
    } else if (shown.beeps > 0) {
        ui.beep(shown.beeps);
    }
    if (shown.boxed) {
        ui.showMessage(shown.message);
    }
}

} // namespace

OutcomeRendering renderOutcome(const Outcome& outcome) {
    OutcomeRendering shown;
    if (outcome.told || outcome.ending == Ending::Stopped) {
        return shown;
    }
    if (outcome.done()) {
        renderDone(shown, outcome);
    } else {
        renderNotDone(shown, outcome);
    }
    return shown;
}

void OutcomeMessages::tell(const Outcome& outcome, UiServices& ui) {
    present(renderOutcome(outcome), ui);
}

void OutcomeMessages::notice(const Notice& notice, UiServices& ui) {
    present(renderNotice(notice), ui);
}

MessageAnswer OutcomeMessages::ask(const Question& question, UiServices& ui) {
    ui.alert(Sound::Attention);
    return ui.showMessage(questionMessage(question));
}

} // namespace brindmar
