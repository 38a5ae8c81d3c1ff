// Under Stealth a JPEG whose EXIF names a place is asked about (in the window) or reported (when
// the request has answered, as the command line does): the answer decides whether the new JPEG
// keeps the EXIF, and a cancel writes nothing.
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "protection/JpegCoefficients.h"
#include "workflows/Requests.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

using namespace brindmar;

const QString kCode = QStringLiteral("Correct Horse 12");

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Row {
    std::string name;
    std::optional<bool> strip;           // the request's answer
    std::optional<MessageAnswer> answer; // the user's, when asked
    Ending ending;
    bool written;
    bool gpsKept;
    bool asked;
    bool told; // the place is mentioned without a question
};

class JpegMetadata : public ::testing::TestWithParam<Row> {};

TEST_P(JpegMetadata, FollowsTheAnswer) {
    const Row& row = GetParam();
    apptest::Harness h;
    apptest::ScratchDir out;
    QtPictureConverter pictures;
    h.ctx.strongCost = StrongCost{1, 8};
    h.ctx.pictures = &pictures;
    const QString photo = h.dir.path(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(BRINDMAR_GOLDEN_INPUTS_DIR "/photo-gps.jpg"), photo));
    EmbedRequest request;
    request.carrier = photo;
    request.document = h.file(QStringLiteral("note.txt"), apptest::Bytes(60, 'n'));
    request.outputFolder = out.folder();
    request.protection = {kCode, false, true, true};
    request.stripMetadata = row.strip;
    h.ui.queueCodeAgain(kCode);
    if (row.answer) {
        h.ui.queueAnswer(*row.answer);
    }
    const Outcome outcome = Embed(h.ctx, request);

    bool asked = false;
    bool told = false;
    for (const Message& message : h.ui.messages()) {
        const bool place = message.text.contains(QStringLiteral("GPS position"));
        asked = asked || (place && message.buttons == MessageButtons::TwoChoices);
        told = told || (place && message.buttons == MessageButtons::Ok);
    }
    EXPECT_EQ(static_cast<int>(outcome.ending), static_cast<int>(row.ending));
    EXPECT_EQ(asked, row.asked);
    EXPECT_EQ(told, row.told);
    const QStringList files = QDir(out.folder()).entryList(QDir::Files);
    EXPECT_EQ(files, row.written ? QStringList{QStringLiteral("photo.jpg")} : QStringList{});
    if (row.written) {
        JpegCoefficients made;
        ASSERT_EQ(made.open(readAll(out.path(QStringLiteral("photo.jpg")))), JpegOpenStatus::Done);
        EXPECT_EQ(made.hasGpsPosition(), row.gpsKept);
    }
}

const Row kRows[] = {
    {"AskedAndDropped", std::nullopt, MessageAnswer::Ok, Ending::Done, true, false, true, false},
    {"AskedAndKept", std::nullopt, MessageAnswer::Second, Ending::Done, true, true, true, false},
    {"AskedAndCancelled", std::nullopt, MessageAnswer::Cancel, Ending::Stopped, false, false, true,
     false},
    {"StripMetadata", true, std::nullopt, Ending::Done, true, false, false, false},
    {"KeptAndTold", false, std::nullopt, Ending::Done, true, true, false, true},
};

INSTANTIATE_TEST_SUITE_P(Requests, JpegMetadata, ::testing::ValuesIn(kRows), apptest::RowName());

} // namespace
