// The window's words for what a command says as it goes on and what it asks before it goes on:
// one row per notice or question the workflows hand over, with the signal and the box.

#include "FakeUiServices.h"
#include "window/OutcomeMessages.h"

#include <gtest/gtest.h>

namespace brindmar {
namespace {

// What an embed says as it goes on: the packing that failed (an error box in the service's
// words), a Stealth rate above the recommended one, a GPS position kept; and what a command asks
// before it goes on.
TEST(OutcomeMessages, EachNoticeAndQuestionHasItsBox) {
    const QString packing = QStringLiteral("message Exclamation|Document Processing|");
    const QString stealth = QStringLiteral("message Exclamation|Stealth|");
    const auto notice = [](NoticeKind kind, Fault fault = Fault::None, const QString& detail = {}) {
        Notice said{kind, QStringLiteral("/docs/a.jpg"), fault};
        said.detail = detail;
        return said;
    };
    const struct {
        Notice notice;
        Question question;
        QStringList transcript;
    } rows[] = {
        {notice(NoticeKind::StoredUnpacked, Fault::ZipNotMade),
         {},
         {"beep 2", packing + "Error during document file ZIP\n\nCannot create ZIP file\n\n"
                              "Processing will be without compression"}},
        {notice(NoticeKind::NotSealed, Fault::ZipNotMade),
         {},
         {"beep 2", packing + "Error during document file ZIP for strong protection\n\nCannot "
                              "create ZIP file\n\nStrong protection seals the packed document "
                              "only, so this document cannot be embedded with it"}},
        // questions and notices
        {notice(NoticeKind::StealthAboveRate, Fault::None, QStringLiteral("187")),
         {},
         {"beep 1", stealth + "The document takes more of this image than Stealth recommends "
                              "(187 bytes here: one hidden bit in 67 colour bytes), so "
                              "detection gets likelier. A larger image, or a smaller document, "
                              "keeps below it."}},
        {notice(NoticeKind::JpegStealthAboveRate, Fault::None, QStringLiteral("88 101 14000")),
         {},
         {"beep 1", stealth + "The document takes more of this photo than Stealth recommends "
                              "(88 bytes here: 0.1 hidden bits per non-zero AC coefficient of "
                              "the JPEG; this document takes 0.115), so detection gets "
                              "likelier. A larger photo, or a smaller document, keeps below "
                              "it."}},
        {notice(NoticeKind::GpsKept),
         {},
         {"beep 1", stealth + "/docs/a.jpg - its EXIF or XMP holds a GPS position, which the "
                              "new image keeps (--strip-metadata drops the EXIF and XMP)"}},
        {{},
         {QuestionKind::SealCostly, QStringLiteral("/pics/a.bmp"),
          QStringLiteral("262144 3 65536 1")},
         {"beep 1",
          "message Question|Strong protection|/pics/a.bmp - opening it takes 256 MiB "
          "of memory and 3 passes, more than this version asks for its own images (64 "
          "MiB of memory and 1 pass), so it takes longer. Open it?",
          "ok cancel"}},
        {{},
         {QuestionKind::KeepAboveRate, QStringLiteral("/docs/a.txt"), QStringLiteral("600 187")},
         {"beep 1",
          "message Question|Stealth|This document takes 600 bytes packed, more of "
          "this image than Stealth recommends (187 bytes here: one hidden bit in 67 "
          "colour bytes), so detection gets likelier. A larger image, or a smaller "
          "document, keeps below it.\n\nKeep this document?",
          "ok cancel"}},
        {{},
         {QuestionKind::KeepAboveJpeg, QStringLiteral("/docs/a.txt"), QStringLiteral("600 88")},
         {"beep 1",
          "message Question|Stealth|This document takes 600 bytes packed, more of "
          "this image than Stealth recommends (88 bytes here: 0.1 hidden bits per "
          "non-zero AC coefficient of the JPEG), so detection gets likelier. A larger "
          "image, or a smaller document, keeps below it.\n\nKeep this document?",
          "ok cancel"}},
        {{},
         {QuestionKind::DropGps, QStringLiteral("/pics/a.jpg")},
         {"beep 1",
          "message Question|Stealth|/pics/a.jpg\n\nIts EXIF or XMP holds a GPS "
          "position: where the photo was taken. The new image keeps it unless the "
          "EXIF and XMP go (the picture itself is the same either way).",
          "choices Drop EXIF and XMP|Keep it"}},
        {{},
         {QuestionKind::HalfSize, QStringLiteral("/pics/a.jpg")},
         {"beep 1",
          "message Question|Convert picture to BMP|/pics/a.jpg\n\nA photo from a "
          "camera or a phone (a JPEG) keeps a pattern of 8 x 8 pixel blocks from its "
          "compression, which makes the changes that carry a document easier to "
          "find; a copy at half size, each pixel the average of four, no longer has "
          "it.\n\nMake the copy at half size?",
          "choices Half size|Full size"}},
        {{},
         {QuestionKind::ConvertPicture, QStringLiteral("/pics/a.png")},
         {"beep 1",
          "message Question|Convert picture to BMP|/pics/a.png\n\nThis picture is "
          "not a BMP file. Convert it into a BMP that can carry a document?",
          "ok cancel"}},
        {{},
         {QuestionKind::ReplaceArchive, QStringLiteral("/docs/a.zip")},
         {"beep 1",
          "message Question|Confirm file overwrite|/docs/a.zip\n - already exists,\n\nOverwrite "
          "existing file ?",
          "ok cancel"}},
    };
    for (const auto& row : rows) {
        testing::FakeUiServices ui(false);
        QStringList seen;
        if (row.question.kind != QuestionKind::None) {
            OutcomeMessages().ask(row.question, ui);
            const Message asked = ui.messages().back();
            seen << (asked.buttons == MessageButtons::TwoChoices
                         ? QStringLiteral("choices ") + asked.firstChoice + u'|' +
                               asked.secondChoice
                     : asked.buttons == MessageButtons::OkCancel ? QStringLiteral("ok cancel")
                                                                 : QStringLiteral("ok"));
        } else {
            OutcomeMessages().notice(row.notice, ui);
        }
        EXPECT_EQ(ui.transcript() + seen, row.transcript)
            << (ui.transcript() + seen).join(u'|').toStdString();
    }
}

} // namespace
} // namespace brindmar
