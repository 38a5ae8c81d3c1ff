// A JPEG chosen as the carrier in the window: under Stealth, or with a code to search it, it is
// taken through a work copy without a question and stays a JPEG; otherwise it is offered for
// conversion as before. What it cannot be kept as is said beside Embed max.
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "protection/StealthFile.h"
#include "protection/StealthImage.h"
#include "workflows/DecodedPicture.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"
#include "workflows/JpegStealthRoute.h"
#include "workflows/OutputFormatChoice.h"
#include "workflows/StealthEmbedding.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

const QString kCode = QStringLiteral("Correct Horse 12");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList files(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

struct JpegSession : apptest::UserSession {
    QtPictureConverter pictures;
    explicit JpegSession(const QString& code) : UserSession(code) {
        h.ctx.pictures = &pictures;
        h.ctx.strongCost = StrongCost{1, 8};
    }
    QString photo(const char* input = "photo.jpg") const {
        const QString path = h.dir.path(QStringLiteral("photo.jpg"));
        QFile::copy(QStringLiteral(BRINDMAR_GOLDEN_INPUTS_DIR "/") + input, path);
        return path;
    }
};

struct Row {
    std::string name;
    QString code;
    bool stealth;
    const char* input;
    bool asked;       // the conversion question
    QString embedMax; // "jpeg": the JPEG's own capacity; empty: the pixels', not checked here
    QString note;     // the status row's words after "Embed max. 0: ", and within the tooltip
};

class JpegCarrierChoice : public ::testing::TestWithParam<Row> {};

TEST_P(JpegCarrierChoice, KeepsAJpegOnlyWhereItCanStayOne) {
    const Row& row = GetParam();
    JpegSession s(row.code);
    if (row.stealth) {
        ToggleStealth(s.h.ctx);
    }
    const QString photo = s.photo(row.input);
    const QStringList before = files(s.h.dir.folder());
    s.h.ui.queueAnswer(MessageAnswer::Cancel);
    s.chooseCarrier(photo);
    const WindowModel& m = s.h.model;

    const QStringList said = s.messages();
    EXPECT_EQ(said.size(), row.asked ? 1 : 0) << said.join(u'\n').toStdString();
    EXPECT_EQ(said.value(0).contains(u"Convert it into a BMP"), row.asked);
    // Nothing is written where the user can see it.
    EXPECT_EQ(files(s.h.dir.folder()), before);
    if (row.asked) {
        EXPECT_TRUE(m.display.bmpPath.isEmpty());
        return;
    }
    EXPECT_TRUE(m.display.bmpPath.startsWith(s.h.temp.folder()));
    EXPECT_EQ(shownImagePath(m), photo);
    EXPECT_EQ(jpegSearchSource(m), photo);
    if (!row.embedMax.isEmpty()) {
        EXPECT_EQ(m.display.embedMax,
                  row.embedMax == u"jpeg" ? QString::number(m.jpegCapacity) : row.embedMax);
        EXPECT_EQ(m.jpegCapacity > 0, row.embedMax == u"jpeg");
    }
    EXPECT_TRUE(m.display.embedMaxNote.contains(row.note)) << m.display.embedMaxNote.toStdString();
    EXPECT_EQ(m.display.embedMaxNote.isEmpty(), row.note.isEmpty());
    EXPECT_EQ(m.display.embedMaxStatus,
              row.note.isEmpty() ? QString() : QStringLiteral("Embed max. 0: ") + row.note);

    // The work copy goes as any other does.
    const QString work = m.display.bmpPath;
    ReleaseDecodedPicture(s.h.ctx);
    EXPECT_FALSE(QFile::exists(work));
}

const Row kRows[] = {
    {"UnderStealth", kCode, true, "photo.jpg", false, "jpeg", {}},
    // Without Stealth the search with the code is offered; the figures are the pixels'.
    {"CodeToSearch", kCode, false, "photo.jpg", false, {}, {}},
    {"NoStealthNoCode", {}, false, "photo.jpg", true, {}, {}},
    {"ArithmeticCoded", kCode, true, "photo-arithmetic.jpg", false, "0", "arithmetic coded"},
};

INSTANTIATE_TEST_SUITE_P(Window, JpegCarrierChoice, ::testing::ValuesIn(kRows), apptest::RowName());

TEST(JpegCarrierChoice, EmbedsIntoNameJpgThatGivesTheDocumentBackWithItsCode) {
    JpegSession maker(kCode);
    ToggleStealth(maker.h.ctx);
    const QString out = maker.h.dir.folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    maker.h.model.embedOutputFolder = out;
    const apptest::Bytes letter(300, 'l');
    maker.chooseDocument(maker.h.file(QStringLiteral("letter.txt"), letter));
    maker.chooseCarrier(maker.photo());
    const QString jpeg = out + QStringLiteral("photo.jpg");
    const WindowModel& m = maker.h.model;
    EXPECT_TRUE(formatChoiceTooltip(m).contains(u"With this carrier: JPEG"));
    const QString inCoefficients = m.display.embedMax;

    // "as PNG" hides it in the decoded photo's pixels, and says the JPEG is safer.
    ChooseOutputFormat(maker.h.ctx, 2);
    EXPECT_EQ(m.display.embedMax.toLongLong(), stealthCarrierFigures(m.display.bmpPath).most);
    EXPECT_TRUE(formatChoiceTooltip(m).contains(u"keeps the photo a JPEG, which is safer"));
    ChooseOutputFormat(maker.h.ctx, 0);
    EXPECT_EQ(m.display.embedMax, inCoefficients);

    // Stealth off and on again: the decoded photo at full size gives a PNG, then a JPEG again.
    ToggleStealth(maker.h.ctx);
    EXPECT_EQ(jpegStealthOutput(m), std::nullopt);
    EXPECT_EQ(embedOutputPath(out, shownImagePath(m), outputFormatAsked(m)),
              out + QStringLiteral("photo.png"));
    ToggleStealth(maker.h.ctx);
    EXPECT_EQ(jpegStealthOutput(m), jpeg);

    maker.h.ui.queueCodeAgain(kCode);
    EmbedDocument(maker.h.ctx);
    EXPECT_EQ(files(out), QStringList{QStringLiteral("photo.jpg")})
        << maker.messages().join(u'\n').toStdString();
    EXPECT_TRUE(isJpegFile(jpeg));

    // The reader types the code and picks the JPEG; Stealth need not be ticked to search.
    JpegSession reader(kCode);
    reader.h.model.extractOutputFolder = reader.h.dir.folder();
    reader.chooseCarrier(jpeg);
    EXPECT_TRUE(reader.messages().isEmpty()) << reader.messages().join(u'\n').toStdString();
    ASSERT_TRUE(stealthSearchOffered(reader.h.model));
    ExtractDocument(reader.h.ctx);
    EXPECT_EQ(contents(reader.h.dir.path(QStringLiteral("letter.txt"))),
              QByteArray(reinterpret_cast<const char*>(letter.data()), 300));
}

} // namespace
