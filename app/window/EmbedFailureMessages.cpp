#include "window/EmbedFailureMessages.h"

#include "util/StringTable.h"
#include "util/TextIds.h"
#include "window/QuestionMessages.h"
#include "window/ZipServiceText.h"
#include "workflows/EmbedFailureWords.h"

namespace brindmar {

namespace {

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

void errorBox(OutcomeRendering& shown, const QString& title, const QString& words) {
    shown.sounds = {Sound::Error};
    shown.beeps = 2;
    shown.boxed = true;
    shown.message = Message{title, words, MessageIcon::Exclamation};
}

// The headline of the command that failed, then what went wrong where there is more to say.
void failureBox(OutcomeRendering& shown, Task task, const QString& detail) {
    const QString more = detail.isEmpty() ? QString() : QStringLiteral("\n\n") + detail;
    if (task == Task::Extract) {
        errorBox(shown, text(TextId::FileExtractTitle), text(TextId::ErrorDuringExtracting) + more);
    } else {
        errorBox(shown, QStringLiteral("File Embed"),
                 QStringLiteral("Error during embedding") + more);
    }
}

QString engineLimitWords(Cause limit) {
    if (limit == Cause::PixelsLimit) {
        return QStringLiteral(" - its pixels start too far into the file for this program");
    }
    if (limit == Cause::CropLimit) {
        return QStringLiteral(" - the crop starts too far into this large image: choose a crop "
                              "at its bottom left, or no crop");
    }
    return QStringLiteral(" - the new image would be too narrow for its height: choose a wider "
                          "crop");
}

// The words of an embed failure of this kind; none for any other outcome.
QString embedWords(const Outcome& outcome) {
    switch (outcome.reason) {
    case Reason::CropTooSmall:
        return QStringLiteral("The area drawn is too small for the document: draw a larger one, "
                              "or choose another crop.");
    case Reason::DoesNotFit: {
        const QStringList figures = outcome.detail.split(u' ');
        return QStringLiteral("The document does not fit this image: packed it takes %1 bytes, "
                              "and the image holds %2 at most.")
            .arg(figures.value(0), figures.value(1));
    }
    case Reason::EngineLimit:
        return outcome.subject + engineLimitWords(outcome.cause);
    case Reason::NotCarrier:
        return outcome.subject + text(TextId::AnInvalidFile) + carrierFaultWords(outcome.figure);
    case Reason::NameNotKept:
        return outcome.about + QStringLiteral(" - its name holds a backslash or a control "
                                              "character, which cannot be restored: rename it "
                                              "first");
    case Reason::CannotRead: {
        // Other reads are the engine's, or told by the choice.
        const QString words =
            outcome.cause == Cause::AsChosen
                ? QStringLiteral("cannot be read as it was chosen; choose it again")
                : notPackedWords(outcome.cause);
        return words.isEmpty() ? QString() : outcome.about + QStringLiteral(" - ") + words;
    }
    default:
        return {};
    }
}

} // namespace

bool renderEmbedFailure(OutcomeRendering& shown, const Outcome& outcome) {
    if (outcome.reason == Reason::EngineUnavailable) {
        failureBox(shown, outcome.task,
                   outcome.detail.isEmpty()
                       ? QString()
                       : QStringLiteral("The program's engine cannot be loaded: ") +
                             outcome.detail);
        return true;
    }
    // A carrier refused before the embed began is the choice's to tell.
    if (outcome.task != Task::Embed || outcome.ending != Ending::Failed) {
        return false;
    }
    const QString words = embedWords(outcome);
    if (words.isEmpty()) {
        return false;
    }
    failureBox(shown, outcome.task, words);
    return true;
}

OutcomeRendering renderNotice(const Notice& notice) {
    OutcomeRendering shown;
    QString headline;
    QString after;
    switch (notice.kind) {
    case NoticeKind::StoredUnpacked:
        headline = QStringLiteral("Error during document file ZIP");
        after = QStringLiteral("Processing will be without compression");
        break;
    case NoticeKind::StoredUnencrypted:
        headline = QStringLiteral("Error during document file encrypt");
        after = QStringLiteral("Processing will be without encrytion/compression");
        break;
    case NoticeKind::NotSealed:
        headline = QStringLiteral("Error during document file ZIP for strong protection");
        after = QStringLiteral("Strong protection seals the packed document only, so this "
                               "document cannot be embedded with it");
        break;
    case NoticeKind::NotEncrypted:
        headline = QStringLiteral("Error during document file encrypt");
        after = QStringLiteral("Encryption was asked for, so this document cannot be embedded "
                               "without it");
        break;
    // questions and notices
    case NoticeKind::StealthAboveRate:
    case NoticeKind::JpegStealthAboveRate:
    case NoticeKind::GpsKept:
        shown.sounds = {Sound::Attention};
        shown.beeps = 1;
        shown.boxed = true;
        shown.message = stealthNoticeMessage(notice);
        return shown;
    case NoticeKind::None:
        return shown;
    }
    errorBox(shown, QStringLiteral("Document Processing"),
             headline + QStringLiteral("\n\n") +
                 zipServiceWords(notice.fault, notice.figure, notice.error) +
                 QStringLiteral("\n\n") + after);
    return shown;
}

} // namespace brindmar
