#include "WorkflowHarness.h"
#include "payload/BmpThumbnail.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/DocumentSelection.h"
#include "workflows/WindowReset.h"

#include <gtest/gtest.h>

using namespace brindmar;
using apptest::Bytes;

namespace {

Bytes carrier24(int32_t width, int32_t height) {
    return bmptest::make24(width, height, Bytes(size_t(width) * 3 * size_t(height), 0x40));
}

class Browsing : public ::testing::Test {
protected:
    Browsing() {
        h.file("a.bmp", carrier24(100, 100));
        h.file("b.bmp", carrier24(50, 50));
        h.file("C.BMP", carrier24(200, 10));
        h.file(".hidden.bmp", carrier24(5, 5));
        h.file("notes.txt", carrier24(5, 5));
    }

    QStringList listed() const {
        QStringList names;
        for (const auto& [key, index] : h.model.bmpList.order) {
            QString name = h.model.bmpList.names[index];
            names << name.section(u'/', -1);
        }
        return names;
    }

    std::array<bool, 4> steps() const { return h.model.display.stepEnabled; }

    apptest::Harness h;
};

TEST_F(Browsing, ListsByImageAreaAndStepsToTheEnds) {
    h.ui.queueFileChoice(h.dir.path("b.bmp"));
    ChooseBmp(h.ctx);
    EXPECT_EQ(listed(), QStringList({"C.BMP", "b.bmp", "a.bmp"}));
    EXPECT_EQ(h.model.bmpList.position, 2);
    EXPECT_EQ(steps(), (std::array<bool, 4>{true, true, true, true}));
    EXPECT_EQ(h.model.bmpFolder, h.dir.folder());
    EXPECT_TRUE(h.model.hasOption(option::ValueChanged));
    ASSERT_EQ(h.ui.fileDialogs().size(), 1u);
    EXPECT_EQ(h.ui.fileDialogs()[0].title, "Select .bmp File");

    struct Step {
        StepButton button;
        const char* shown;
        std::array<bool, 4> enabled;
        std::optional<StepButton> focus;
    };
    const Step walk[] = {
        {StepButton::Next, "a.bmp", {true, true, false, false}, StepButton::Previous},
        {StepButton::Next, "a.bmp", {true, true, false, false}, StepButton::Previous},
        {StepButton::First, "C.BMP", {false, false, true, true}, StepButton::Next},
        {StepButton::Previous, "C.BMP", {false, false, true, true}, StepButton::Next},
        {StepButton::Last, "a.bmp", {true, true, false, false}, StepButton::Previous},
        {StepButton::Previous, "b.bmp", {true, true, true, true}, std::nullopt},
    };
    for (const Step& s : walk) {
        const uint32_t focusBefore = h.model.display.focusRequests;
        StepThroughBmps(h.ctx, static_cast<int>(s.button));
        EXPECT_EQ(h.model.display.bmpPath, h.dir.path(s.shown));
        EXPECT_EQ(steps(), s.enabled);
        if (s.focus) {
            EXPECT_EQ(h.model.display.focus, FocusTarget::StepButton);
            EXPECT_EQ(h.model.display.focusIndex, static_cast<int>(*s.focus));
        } else {
            EXPECT_EQ(h.model.display.focusRequests, focusBefore);
        }
        EXPECT_NE(h.model.display.thumbnail, nullptr);
    }
}

TEST_F(Browsing, UnreadableFileSortsFirstAndSaysWhy) {
    h.file("broken.bmp", {'B', 'M', 1, 2});
    h.ui.queueFileChoice(h.dir.path("a.bmp"));
    ChooseBmp(h.ctx);
    EXPECT_EQ(listed().first(), "broken.bmp");
    StepThroughBmps(h.ctx, static_cast<int>(StepButton::First));
    EXPECT_EQ(h.model.display.invalidBmpText, "Not in BMP format");
    EXPECT_EQ(h.model.display.thumbnail, nullptr);
    EXPECT_EQ(h.ui.transcript().last(), "beep 1");
}

TEST_F(Browsing, ShortCodeRefusesChoosingAndStepping) {
    h.model.code = "12345";
    ChooseBmp(h.ctx);
    EXPECT_TRUE(h.ui.fileDialogs().empty());
    EXPECT_EQ(h.model.display.focus, FocusTarget::CodeBox);
    EXPECT_EQ(h.ui.messages().size(), 1u);
}

// Names that differ only in case are different files here; the one chosen is the one shown,
// whether the folder is listed anew or the list is kept.
TEST_F(Browsing, NamesDifferingInCaseAreDifferentFiles) {
    h.file("Pic.bmp", carrier24(60, 60));
    h.file("pic.bmp", carrier24(70, 70));
    for (const char* chosen : {"Pic.bmp", "pic.bmp", "Pic.bmp"}) {
        h.ui.queueFileChoice(h.dir.path(chosen));
        ChooseBmp(h.ctx);
        EXPECT_EQ(h.model.display.bmpPath, h.dir.path(chosen));
        EXPECT_EQ(listed()[h.model.bmpList.position - 1], chosen);
        EXPECT_EQ(h.model.imageWidth, chosen[0] == 'P' ? 60 : 70);
    }
}

TEST_F(Browsing, CancelChangesNothing) {
    h.ui.queueFileChoice(std::nullopt);
    const uint8_t state = h.model.windowState;
    ChooseBmp(h.ctx);
    EXPECT_TRUE(h.ui.events().empty());
    EXPECT_EQ(h.model.windowState, state);
    EXPECT_TRUE(h.model.bmpList.folder.isEmpty());
}

// The full-size view is offered for the picture in the thumbnail, never for a file shown as
// unusable after a reduced one.
TEST_F(Browsing, AnUnusableFileAfterAReducedOneOffersNoFullSizeView) {
    const std::pair<const char*, Bytes> unusable[] = {
        {"four-bit.bmp",
         [] {
             Bytes b = carrier24(20, 20);
             apptest::put16(b, 28, 4);
             return b;
         }()},
        {"mz.bmp", {'M', 'Z', 0, 0}},
    };
    h.ui.queueFileChoice(h.file("doc.txt", {'d'}));
    ChooseDocument(h.ctx);
    const size_t view = static_cast<size_t>(Command::FullSizeView);
    for (const auto& [name, bytes] : unusable) {
        h.ui.queueFileChoice(h.file("large.bmp", carrier24(300, 300)));
        ChooseBmp(h.ctx);
        ASSERT_TRUE(h.model.hasOption(option::ThumbnailReduced));
        ASSERT_TRUE(h.model.display.commandEnabled[view]);
        h.ui.queueFileChoice(h.file(name, bytes));
        ChooseBmp(h.ctx);
        EXPECT_FALSE(h.model.hasOption(option::ThumbnailReduced)) << name;
        EXPECT_FALSE(h.model.display.commandEnabled[view]) << name;
    }
}

// Nothing is chosen after a reset: the next carrier comes with an empty document box.
TEST_F(Browsing, AResetDocumentStaysAway) {
    h.ui.queueFileChoice(h.file("doc.txt", {'d'}));
    ChooseDocument(h.ctx);
    h.ui.queueFileChoice(h.dir.path("a.bmp"));
    ChooseBmp(h.ctx);
    ASSERT_EQ(h.model.display.documentBox, h.dir.path("doc.txt"));
    WindowReset(h.ctx);
    h.ui.queueFileChoice(h.dir.path("b.bmp"));
    ChooseBmp(h.ctx);
    EXPECT_TRUE(h.model.display.documentBox.isEmpty());
    EXPECT_TRUE(h.model.display.documentName.isEmpty());
    EXPECT_FALSE(h.model.hasState(state::DocumentChosen));
}

TEST(ThumbnailFit, SmallImagesStayUnscaledLargeOnesFitTheBox) {
    struct Case {
        double w, h;
        ThumbnailFit expected;
    };
    const Case cases[] = {
        {1500, 1500, {630, 510, 1500, 1500, false}},
        {2760, 1000, {0, 760, 2760, 1000, true}}, // as wide as the box: reduced
        {5520, 1260, {0, 945, 2760, 630, true}},
        {1000, 5040, {1130, 0, 500, 2520, true}},
    };
    for (const Case& c : cases) {
        const ThumbnailFit fit = fitThumbnail(c.w, c.h, 2760, 2520);
        EXPECT_EQ(fit.left, c.expected.left);
        EXPECT_EQ(fit.top, c.expected.top);
        EXPECT_EQ(fit.width, c.expected.width);
        EXPECT_EQ(fit.height, c.expected.height);
        EXPECT_EQ(fit.reduced, c.expected.reduced);
    }
}

} // namespace
