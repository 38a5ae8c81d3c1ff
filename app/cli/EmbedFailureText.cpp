#include "cli/EmbedFailureText.h"
#include "cli/QuestionText.h"

#include "cli/ZipServiceText.h"
#include "workflows/EmbedFailureWords.h"

namespace brindmar::cli {

namespace {

QString engineLimitWords(Cause limit) {
    if (limit == Cause::PixelsLimit) {
        return QStringLiteral("its pixels start too far into the file for this program");
    }
    if (limit == Cause::CropLimit) {
        return QStringLiteral("the crop starts too far into this large image; choose --crop "
                              "left-bottom, or none");
    }
    return QStringLiteral("the new image would be too narrow for its height; choose a wider "
                          "--crop");
}

} // namespace

QString embedFailureText(const Outcome& outcome) {
    if (outcome.reason == Reason::EngineUnavailable) {
        return outcome.detail.isEmpty()
                   ? QStringLiteral("the program's engine cannot be called")
                   : QStringLiteral("the program's engine cannot be loaded: ") + outcome.detail;
    }
    if (outcome.task != Task::Embed || outcome.ending != Ending::Failed) {
        return {};
    }
    switch (outcome.reason) {
    case Reason::CropTooSmall:
        return QStringLiteral("the area drawn is too small for the document");
    case Reason::DoesNotFit: {
        const QStringList figures = outcome.detail.split(u' ');
        return QStringLiteral("the document does not fit: packed it takes %1 bytes, Embed max. %2")
            .arg(figures.value(0), figures.value(1));
    }
    case Reason::EngineLimit:
        return engineLimitWords(outcome.cause);
    case Reason::NotCarrier:
        return QStringLiteral("is not a valid file for this") + carrierFaultWords(outcome.figure);
    case Reason::NameNotKept:
        return QStringLiteral("its name holds a backslash or a control character, which cannot "
                              "be restored; rename it first");
    case Reason::CannotRead:
        // Other reads are the engine's, or told by the choice.
        return outcome.cause == Cause::AsChosen
                   ? QStringLiteral("cannot be read as it was given; embed it once it no longer "
                                    "changes")
                   : notPackedWords(outcome.cause);
    default:
        return {};
    }
}

QString noticeText(const Notice& notice) {
    QString words;
    switch (notice.kind) {
    case NoticeKind::StoredUnpacked:
        words = QStringLiteral("cannot be packed, so it is stored as it is");
        break;
    case NoticeKind::StoredUnencrypted:
        words = QStringLiteral("cannot be encrypted, so it is stored as it is");
        break;
    case NoticeKind::NotSealed:
        words = QStringLiteral("cannot be packed, so not sealed");
        break;
    case NoticeKind::NotEncrypted:
        words = QStringLiteral("cannot be encrypted, so it is not embedded");
        break;
    // questions and notices
    case NoticeKind::StealthAboveRate:
    case NoticeKind::JpegStealthAboveRate:
    case NoticeKind::GpsKept:
        return stealthNoticeText(notice);
    case NoticeKind::None:
        return {};
    }
    const QString why = zipServiceWords(notice.fault, notice.figure, notice.error);
    return notice.subject + QStringLiteral(": ") + words +
           (why.isEmpty() ? QString() : QStringLiteral(": ") + why);
}

} // namespace brindmar::cli
