#include "workflows/CodeEntry.h"
#include "WorkflowHarness.h"
#include "payload/DosDateTime.h"
#include "payload/PayloadHeader.h"
#include "workflows/CarrierInspection.h"
#include "workflows/CropDrag.h"
#include "workflows/WindowReset.h"

#include <gtest/gtest.h>

using namespace brindmar;
using apptest::Bytes;
using brindmar::testing::FakeZipService;

namespace {

enum class Action { ApplyCode, Type, DeleteLast, EncryptMenu, EncryptBoxClick };

struct CodeCase {
    const char* name;
    int boxBefore;
    QString codeBefore;
    bool documentChosen;
    Action action;
    int boxAfter;
    bool enabled; // the Encrypt controls
    bool wanted;  // encryption wanted
    int repacks;
};

class CodeEntry : public ::testing::TestWithParam<CodeCase> {};

TEST_P(CodeEntry, DerivesTheEncryptState) {
    const CodeCase& c = GetParam();
    apptest::Harness h;
    h.dir.write("doc.txt", std::string(300, 'd'));
    h.model.documentPath = h.dir.path("doc.txt");
    h.model.display.documentName = h.model.documentPath;
    h.model.code = c.codeBefore;
    h.model.display.encryptBox = c.boxBefore;
    ApplyCode(h.ctx); // the marks as they stand before the action
    if (c.documentChosen) {
        h.model.setState(state::DocumentChosen, true);
    }
    const auto packsBefore = h.zip.calls().size();

    switch (c.action) {
    case Action::ApplyCode:
        ApplyCode(h.ctx);
        break;
    case Action::Type:
        ChangeCode(h.ctx, c.codeBefore + u'x');
        break;
    case Action::DeleteLast:
        ChangeCode(h.ctx, c.codeBefore.chopped(1));
        break;
    case Action::EncryptMenu:
        ToggleEncrypt(h.ctx);
        break;
    case Action::EncryptBoxClick:
        h.model.display.encryptBox = c.boxBefore == kEncryptUnticked ? 1 : 0;
        ApplyEncryptChoice(h.ctx);
        break;
    }
    EXPECT_EQ(h.model.display.encryptBox, c.boxAfter);
    EXPECT_EQ(h.model.display.encryptEnabled, c.enabled);
    EXPECT_EQ(h.model.hasPacking(packing::EncryptionWanted), c.wanted);
    int repacks = 0;
    for (auto i = packsBefore; i < h.zip.calls().size(); ++i) {
        repacks += h.zip.calls()[i].operation == FakeZipService::Operation::CreateBlank;
    }
    EXPECT_EQ(repacks, c.repacks);
    EXPECT_EQ(h.model.display.focus, FocusTarget::CodeBox);
    EXPECT_TRUE(h.model.display.codeEnabled);
}

const QString kNine = QStringLiteral("123456789");
const QString kTen = QStringLiteral("1234567890");

INSTANTIATE_TEST_SUITE_P(
    StateMachine, CodeEntry,
    ::testing::Values(CodeCase{"ticked without code greys", kEncryptTicked, "", false,
                               Action::ApplyCode, kEncryptGrey, false, false, 0},
                      CodeCase{"tenth character ticks and repacks", kEncryptGrey, kNine, true,
                               Action::Type, kEncryptTicked, true, true, 1},
                      CodeCase{"tenth character without document", kEncryptGrey, kNine, false,
                               Action::Type, kEncryptTicked, true, true, 0},
                      CodeCase{"deleting below ten greys and repacks", kEncryptTicked, kTen, true,
                               Action::DeleteLast, kEncryptGrey, false, false, 1},
                      CodeCase{"more characters change nothing", kEncryptTicked, kTen, true,
                               Action::Type, kEncryptTicked, true, true, 0},
                      CodeCase{"menu ticks", kEncryptUnticked, kTen, true, Action::EncryptMenu,
                               kEncryptTicked, true, true, 1},
                      CodeCase{"menu unticks grey", kEncryptGrey, "", false, Action::EncryptMenu,
                               kEncryptUnticked, false, false, 0},
                      CodeCase{"box unticked", kEncryptTicked, kTen, true, Action::EncryptBoxClick,
                               kEncryptUnticked, true, false, 1},
                      CodeCase{"unticked stays unticked", kEncryptUnticked, "", false, Action::Type,
                               kEncryptUnticked, false, false, 0}),
    apptest::RowName());

TEST(MaskCode, UnmaskingClearsTheCode) {
    apptest::Harness h;
    h.model.code = kTen;
    ToggleCodeMask(h.ctx);
    EXPECT_TRUE(h.model.display.codeMasked);
    EXPECT_EQ(h.model.code, kTen);
    ToggleCodeMask(h.ctx);
    EXPECT_FALSE(h.model.display.codeMasked);
    EXPECT_TRUE(h.model.code.isEmpty());
}

TEST(ProtectedImage, TypingTheRightCodeOpensItAndChangingItClosesIt) {
    apptest::Harness h;
    const std::string header = composePayloadHeader(kTen, formatDateField({}, {}),
                                                    StorageMode::AsIs, NameRoute::Own, 5, "a.txt");
    InspectCarrier(h.ctx, inspect::Evaluate,
                   h.file("hidden.bmp", apptest::payloadImage(60, 60, header + "hello")));
    h.model.display.bmpPath = h.dir.path("hidden.bmp");
    ASSERT_FALSE(h.model.extractMode());

    struct Step {
        QString code;
        bool extract;
        int messages; // the code-length message comes only once extract mode is left
    };
    const Step steps[] = {{kNine, false, 0},
                          {kTen, true, 0},
                          {kTen + u'x', false, 0},
                          {kTen, true, 0},
                          {kNine, false, 1}};
    for (const Step& step : steps) {
        h.ui.clear();
        ChangeCode(h.ctx, step.code);
        EXPECT_EQ(h.model.extractMode(), step.extract) << step.code.toStdString();
        EXPECT_EQ(h.ui.messages().size(), size_t(step.messages)) << step.code.toStdString();
        EXPECT_EQ(h.model.display.focus, FocusTarget::CodeBox);
    }
}

// A protected carrier with a document that fits: the frame is drawn only in embed mode, and a
// rectangle drawn with the mouse outlives codes that do not open the payload.
TEST(ProtectedImage, TheCropFrameFollowsTheMode) {
    apptest::Harness h;
    const std::string header = composePayloadHeader(kTen, formatDateField({}, {}),
                                                    StorageMode::AsIs, NameRoute::Own, 5, "a.txt");
    h.ui.queueFileChoice(h.file("d.txt", {'d', 'o', 'c'}));
    ChooseDocument(h.ctx);
    h.ui.queueFileChoice(h.file("hidden.bmp", apptest::payloadImage(60, 60, header + "hello")));
    ChooseBmp(h.ctx);
    ASSERT_TRUE(h.model.hasOption(option::CodeProtected));
    ASSERT_TRUE(h.model.display.cropFrameVisible);
    const WindowDisplay& shown = h.model.display;
    const CropRect placed = h.model.crop;
    const double cx = shown.thumbnailWidth * (placed.left + placed.width / 2);
    const double cy = shown.thumbnailHeight * (placed.top + placed.height / 2);
    ThumbnailMouseMove(h.ctx, cx, cy);
    ThumbnailMouseDown(h.ctx, true, cx, cy);
    ThumbnailMouseMove(h.ctx, cx - 100, cy - 100);
    ThumbnailMouseUp(h.ctx, true);
    const CropRect drawn = h.model.crop;
    ASSERT_NE(drawn, placed);

    struct Step {
        QString code;
        bool extract;
        bool frame;
        CropRect crop;
        uint8_t marks; // FrameShown and Adjusted
    };
    constexpr uint8_t kept = pointer::FrameShown | pointer::Adjusted;
    const Step steps[] = {{kNine, false, true, drawn, kept},
                          {QStringLiteral("abcdefghij"), false, true, drawn, kept},
                          {kTen, true, false, drawn, 0},
                          {kTen + u'x', false, true, placed, pointer::FrameShown}};
    for (const Step& step : steps) {
        ChangeCode(h.ctx, step.code);
        const std::string code = step.code.toStdString();
        EXPECT_EQ(h.model.extractMode(), step.extract) << code;
        EXPECT_EQ(shown.cropFrameVisible, step.frame) << code;
        EXPECT_EQ(h.model.pointerMarks & kept, step.marks) << code;
        if (step.frame) {
            EXPECT_EQ(h.model.crop, step.crop) << code;
        }
    }
}

// The code is tried on the carrier again only while the carrier in the box is protected; a
// file chosen after a protected one is not, whatever it is.
TEST(ProtectedImage, ANewCarrierWithoutPayloadTakesNoCodeTrials) {
    const std::string header = composePayloadHeader(kTen, formatDateField({}, {}),
                                                    StorageMode::AsIs, NameRoute::Own, 5, "a.txt");
    const std::pair<const char*, Bytes> next[] = {
        {"unreadable.bmp", {'M', 'Z', 0, 0}},
        {"eight-bit.bmp", bmptest::make8(40, 40, bmptest::testPalette(4), Bytes(40 * 40, 1))},
        {"tiny.bmp", bmptest::make24(10, 10, Bytes(10 * 10 * 3, 0x40))},
    };
    for (const auto& [name, bytes] : next) {
        apptest::Harness h;
        h.ui.queueFileChoice(h.file("hidden.bmp", apptest::payloadImage(60, 60, header + "hi")));
        ChooseBmp(h.ctx);
        ASSERT_TRUE(h.model.hasOption(option::CodeProtected));
        h.ui.queueFileChoice(h.file(name, bytes));
        ChooseBmp(h.ctx);
        EXPECT_FALSE(h.model.hasOption(option::CodeProtected)) << name;
        h.ui.clear();
        for (int length = 1; length <= 12; ++length) {
            ChangeCode(h.ctx, QStringLiteral("abcdefghijkl").left(length));
        }
        EXPECT_TRUE(h.ui.transcript().isEmpty()) << name;
    }
}

TEST(WindowReset, KeepsOnlyWhatOutlivesAnOperation) {
    apptest::Harness h;
    WindowModel& m = h.model;
    m.windowState =
        state::DocumentChosen | state::BmpChosen | state::BmpUsable | state::PayloadFound;
    m.optionMarks = option::JustEmbedded | option::ThumbnailReduced | option::ValueChanged;
    m.packingMarks = packing::EncryptTicked | packing::EncryptionWanted | packing::Packed;
    m.pointerMarks = pointer::FrameShown | pointer::Adjusted;
    m.documentPathCopy = "/docs/report.pdf";
    m.documentLength = 10;
    m.carrierColourBytes = 30000;
    m.carrierCheckResult = 1;
    m.bmpList.folder = "/pictures/";
    m.embedOutputFolder = "/out/";
    WindowDisplay& shown = m.display;
    shown.documentBox = "a.txt";
    shown.documentSize = "10";
    shown.embedMax = "7398";
    shown.cropPercent = "50";
    shown.bmpPath = "/pictures/c.bmp";
    shown.invalidBmpText = "Invalid BMP file";
    shown.extractLayout = shown.encryptEnabled = shown.cropFrameVisible = true;
    shown.progress = 100;
    shown.stepEnabled = {true, true, true, true};
    // The code and the ticked box stay on show, so the next document is packed encrypted.
    m.code = "0123456789";
    shown.encryptBox = kEncryptTicked;

    WindowReset(h.ctx);

    EXPECT_EQ(m.windowState, 0);
    EXPECT_EQ(m.optionMarks, option::JustEmbedded);
    EXPECT_EQ(m.packingMarks,
              packing::EncryptTicked | packing::CodeLongEnough | packing::EncryptionWanted);
    EXPECT_EQ(shown.encryptBox, kEncryptTicked);
    EXPECT_TRUE(shown.encryptEnabled);
    m.code.clear();
    WindowReset(h.ctx);
    EXPECT_EQ(m.packingMarks, packing::EncryptTicked);
    EXPECT_EQ(m.pointerMarks, 0);
    EXPECT_EQ(m.documentPathCopy, "/docs/report.pdf"); // still on offer to Wipe
    EXPECT_EQ(m.bmpList.folder, "/pictures/");
    EXPECT_EQ(m.documentLength + m.carrierColourBytes + m.carrierCheckResult, 0);
    const WindowDisplay& d = m.display;
    EXPECT_TRUE(
        (d.documentBox + d.documentSize + d.embedMax + d.cropPercent + d.bmpPath + d.invalidBmpText)
            .isEmpty());
    EXPECT_FALSE(d.extractLayout || d.encryptEnabled || d.cropFrameVisible || d.noGoVisible);
    EXPECT_EQ(d.outputFolder, "/out/");
    EXPECT_EQ(d.progress, 0);
    EXPECT_EQ(d.stepEnabled, (std::array<bool, 4>{}));
    EXPECT_EQ(d.focus, FocusTarget::Command);
    EXPECT_EQ(d.focusIndex, static_cast<int>(Command::ChooseDocument));

    m.optionMarks = 0;
    WindowReset(h.ctx);
    EXPECT_TRUE(m.documentPathCopy.isEmpty());
}

} // namespace
