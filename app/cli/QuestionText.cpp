#include "cli/QuestionText.h"

#include "cli/ExtractFailureText.h"
#include "workflows/StealthRateWords.h"

namespace brindmar::cli {

QString questionLine(const Question& question) {
    const QString& subject = question.subject;
    switch (question.kind) {
    case QuestionKind::SealCostly:
        return subject +
               QStringLiteral(" - opening it takes %1, more than this version asks for its own "
                              "images (%2), so it takes longer. Open it?")
                   .arg(costText(question.detailFigure(0), question.detailFigure(1)),
                        costText(question.detailFigure(2), question.detailFigure(3)));
    case QuestionKind::KeepAboveRate:
    case QuestionKind::KeepAboveJpeg:
        return QStringLiteral("This document takes %1 bytes packed, more of this image than "
                              "Stealth recommends (%2 bytes here: %3), so detection gets "
                              "likelier. A larger image, or a smaller document, keeps below it. "
                              "Keep this document?")
            .arg(question.detailFigure(0))
            .arg(question.detailFigure(1))
            .arg(question.kind == QuestionKind::KeepAboveJpeg ? jpegRateWords() : pixelRateWords());
    case QuestionKind::DropGps:
        return subject + QStringLiteral(" Its EXIF or XMP holds a GPS position: where the photo "
                                        "was taken. The new image keeps it unless the EXIF and "
                                        "XMP go (the picture itself is the same either way).");
    case QuestionKind::HalfSize:
        return subject + QStringLiteral(" A photo from a camera or a phone (a JPEG) keeps a "
                                        "pattern of 8 x 8 pixel blocks from its compression, "
                                        "which makes the changes that carry a document easier "
                                        "to find; a copy at half size, each pixel the average of "
                                        "four, no longer has it. Make the copy at half size?");
    case QuestionKind::ConvertPicture:
        return subject + QStringLiteral(" This picture is not a BMP file. Convert it into a BMP "
                                        "that can carry a document?");
    case QuestionKind::ReplaceArchive:
        return QStringLiteral("replace ") + subject + u'?';
    case QuestionKind::None:
        break;
    }
    return {};
}

QString stealthNoticeText(const Notice& notice) {
    switch (notice.kind) {
    case NoticeKind::StealthAboveRate:
        return QStringLiteral("The document takes more of this image than Stealth recommends (%1 "
                              "bytes here: %2), so detection gets likelier. A larger image, or a "
                              "smaller document, keeps below it.")
            .arg(notice.detailFigure(0))
            .arg(pixelRateWords());
    case NoticeKind::JpegStealthAboveRate:
        return QStringLiteral("The document takes more of this photo than Stealth recommends (%1 "
                              "bytes here: %2; this document takes %3), so detection gets "
                              "likelier. A larger photo, or a smaller document, keeps below it.")
            .arg(notice.detailFigure(0))
            .arg(jpegRateWords())
            .arg(jpegStealthRate(notice.detailFigure(1),
                                 static_cast<uint64_t>(notice.detailFigure(2))),
                 0, 'f', 3);
    case NoticeKind::GpsKept:
        return notice.subject + QStringLiteral(": its EXIF or XMP holds a GPS position, which the "
                                               "new image keeps (--strip-metadata drops the EXIF "
                                               "and XMP)");
    default:
        return {};
    }
}

} // namespace brindmar::cli
