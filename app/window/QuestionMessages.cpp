#include "window/QuestionMessages.h"

#include "util/StringTable.h"
#include "util/TextIds.h"
#include "window/ExtractFailureMessages.h"
#include "workflows/StealthRateWords.h"

namespace brindmar {

namespace {

const QString kStealthTitle = QStringLiteral("Stealth");
const QString kConvertTitle = QStringLiteral("Convert picture to BMP");

QString text(TextId id) {
    return StringTable::builtin().text(id);
}

QString halfSizeReason() {
    return QStringLiteral(
        "A photo from a camera or a phone (a JPEG) keeps a pattern of 8 x 8 pixel blocks from "
        "its compression, which makes the changes that carry a document easier to find; a copy "
        "at half size, each pixel the average of four, no longer has it.");
}

Message twoChoices(const QString& title, const QString& text, const QString& first,
                   const QString& second) {
    Message message{title, text, MessageIcon::Question, MessageButtons::TwoChoices};
    message.firstChoice = first;
    message.secondChoice = second;
    return message;
}

Message okCancel(const QString& title, const QString& text) {
    return Message{title, text, MessageIcon::Question, MessageButtons::OkCancel};
}

} // namespace

Message questionMessage(const Question& question) {
    const QString& subject = question.subject;
    switch (question.kind) {
    case QuestionKind::SealCostly:
        return okCancel(
            QStringLiteral("Strong protection"),
            subject +
                QStringLiteral(" - opening it takes %1, more than this version asks for its own "
                               "images (%2), so it takes longer. Open it?")
                    .arg(costText(question.detailFigure(0), question.detailFigure(1)),
                         costText(question.detailFigure(2), question.detailFigure(3))));
    case QuestionKind::KeepAboveRate:
    case QuestionKind::KeepAboveJpeg:
        return okCancel(
            kStealthTitle,
            QStringLiteral("This document takes %1 bytes packed, more of this image than Stealth "
                           "recommends (%2 bytes here: %3), so detection gets likelier. A larger "
                           "image, or a smaller document, keeps below it.\n\nKeep this document?")
                .arg(question.detailFigure(0))
                .arg(question.detailFigure(1))
                .arg(question.kind == QuestionKind::KeepAboveJpeg ? jpegRateWords()
                                                                  : pixelRateWords()));
    case QuestionKind::DropGps:
        return twoChoices(kStealthTitle,
                          subject + QStringLiteral("\n\nIts EXIF or XMP holds a GPS position: "
                                                   "where the photo was taken. The new image "
                                                   "keeps it unless the EXIF and XMP go (the "
                                                   "picture itself is the same either way)."),
                          QStringLiteral("Drop EXIF and XMP"), QStringLiteral("Keep it"));
    case QuestionKind::HalfSize:
        return twoChoices(kConvertTitle,
                          subject + QStringLiteral("\n\n") + halfSizeReason() +
                              QStringLiteral("\n\nMake the copy at half size?"),
                          QStringLiteral("Half size"), QStringLiteral("Full size"));
    case QuestionKind::ConvertPicture:
        return okCancel(kConvertTitle,
                        subject + QStringLiteral("\n\nThis picture is not a BMP file. Convert it "
                                                 "into a BMP that can carry a document?"));
    case QuestionKind::ReplaceArchive:
        return okCancel(text(TextId::ConfirmOverwriteTitle),
                        subject + u'\n' + text(TextId::AlreadyExistsSuffix) +
                            QStringLiteral("\n\n") + text(TextId::OverwriteExistingFile));
    case QuestionKind::None:
        break;
    }
    return okCancel({}, {});
}

Message stealthNoticeMessage(const Notice& notice) {
    Message message{kStealthTitle, {}, MessageIcon::Exclamation};
    switch (notice.kind) {
    case NoticeKind::StealthAboveRate:
        message.text =
            QStringLiteral("The document takes more of this image than Stealth recommends (%1 "
                           "bytes here: %2), so detection gets likelier. A larger image, or a "
                           "smaller document, keeps below it.")
                .arg(notice.detailFigure(0))
                .arg(pixelRateWords());
        break;
    case NoticeKind::JpegStealthAboveRate:
        message.text =
            QStringLiteral("The document takes more of this photo than Stealth recommends (%1 "
                           "bytes here: %2 hidden bits per non-zero AC coefficient of the JPEG; "
                           "this document takes %3), so detection gets likelier. A larger photo, "
                           "or a smaller document, keeps below it.")
                .arg(notice.detailFigure(0))
                .arg(jpegRecommendedRateText())
                .arg(jpegStealthRate(notice.detailFigure(1),
                                     static_cast<uint64_t>(notice.detailFigure(2))),
                     0, 'f', 3);
        break;
    case NoticeKind::GpsKept:
        message.text = notice.subject +
                       QStringLiteral(" - its EXIF or XMP holds a GPS position, which the new "
                                      "image keeps (--strip-metadata drops the EXIF and XMP)");
        break;
    default:
        break;
    }
    return message;
}

} // namespace brindmar
