#include "workflows/CommandRefresh.h"
#include "workflows/ButtonAnimation.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace brindmar;

namespace {

// One character per command, index 0 to 11: "+" enabled, "-" disabled, "=" left as it was.
std::string switches(const CommandRefresh& refresh) {
    std::string result;
    for (const CommandSwitch value : refresh.commands) {
        result += value == CommandSwitch::Enable    ? '+'
                  : value == CommandSwitch::Disable ? '-'
                                                    : '=';
    }
    return result;
}

struct Row {
    const char* name;
    uint8_t windowState;
    uint8_t optionMarks;
    // Expected.
    const char* commands; // doc bmp info view out emb ext stop wipe help reset exit
    bool frames;
    std::optional<Command> focus;
    uint8_t animation;
    TextId tooltip;
};

constexpr TextId kEmbedOut = TextId::SelectEmbedOutputTooltip;
constexpr TextId kExtractOut = TextId::SelectExtractOutputTooltip;
constexpr auto kEmbed = animation::EmbedReady;
constexpr auto kExtract = animation::ExtractReady;

const std::vector<Row> kRows = {
    // Idle: choosing, wipe, help and exit are always offered; Reset is left alone.
    {"nothing chosen", 0, 0, "++--+---++=+", true, std::nullopt, 0, kEmbedOut},
    {"document only", 1, 0, "++--+---++=+", true, std::nullopt, 0, kEmbedOut},
    {"unusable BMP", 2, 0, "+++-+---++=+", true, std::nullopt, 0, kEmbedOut},
    {"BMP shown at full size", 2 | 4, 0, "+++-+---++=+", true, std::nullopt, 0, kEmbedOut},
    {"BMP shown reduced", 2 | 4, option::ThumbnailReduced, "+++++---++=+", true, std::nullopt, 0,
     kEmbedOut},
    {"state 2 is too low for the view", 2, option::ThumbnailReduced, "+++-+---++=+", true,
     std::nullopt, 0, kEmbedOut},
    {"state 3 is the first to offer the view", 1 | 2, option::ThumbnailReduced, "+++++---++=+",
     true, std::nullopt, 0, kEmbedOut},
    {"document does not fit", 1 | 2 | 4, 0, "+++-+---++=+", true, std::nullopt, 0, kEmbedOut},
    {"embedding possible", 1 | 2 | 4 | 16, 0, "+++-++--++=+", true, Command::Embed, kEmbed,
     kEmbedOut},
    {"payload found", 2 | 4 | 8, 0, "-++-+-+-++=+", true, Command::Extract, kExtract, kExtractOut},
    {"payload found wins over embedding; 31 still offers the view", 1 | 2 | 4 | 8 | 16,
     option::ThumbnailReduced, "-++++-+-++=+", true, Command::Extract, kExtract, kExtractOut},
    {"a changed value offers Reset", 0, option::ValueChanged, "++--+---++++", true, std::nullopt, 0,
     kEmbedOut},
    // Running: only Stop.
    {"embedding", 1 | 2 | 4 | 16 | 32, option::ValueChanged | option::ThumbnailReduced,
     "-------+----", false, std::nullopt, 0, kEmbedOut},
    {"extracting", 2 | 4 | 8 | 64, option::ThumbnailReduced, "-------+----", false, std::nullopt, 0,
     kExtractOut},
    {"keep-progress bit is no operation", 128 | 1 | 2 | 4 | 16, 0, "+++-++--++=+", true,
     Command::Embed, kEmbed, kEmbedOut},
};

class CommandRefreshTable : public ::testing::TestWithParam<Row> {};

TEST_P(CommandRefreshTable, OffersWhatTheStateAllows) {
    const Row& row = GetParam();
    WindowModel model;
    model.windowState = row.windowState;
    model.optionMarks = row.optionMarks;
    model.helpContext = 99;

    const CommandRefresh refresh = refreshCommands(model);

    EXPECT_EQ(switches(refresh), row.commands);
    EXPECT_EQ(refresh.framesEnabled, row.frames);
    EXPECT_EQ(refresh.focus, row.focus);
    EXPECT_EQ(refresh.animationMarks, row.animation);
    EXPECT_EQ(refresh.outputFolderTooltip, row.tooltip);
    EXPECT_EQ(refresh.windowState, row.windowState & 127);
}

INSTANTIATE_TEST_SUITE_P(States, CommandRefreshTable, ::testing::ValuesIn(kRows),
                         [](const auto& param) {
                             std::string name = param.param.name;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

TEST(CommandRefresh, ProgressBarIsKeptOnceThenReset) {
    WindowModel model;
    model.windowState = state::KeepProgress | state::BmpChosen;
    CommandRefresh first = refreshCommands(model);
    EXPECT_FALSE(first.resetProgressBar);
    applyRefresh(model, first);
    EXPECT_EQ(model.windowState, state::BmpChosen);
    EXPECT_TRUE(refreshCommands(model).resetProgressBar);
}

TEST(CommandRefresh, RunningOperationsSetTheirHelpTopic) {
    struct Case {
        uint8_t windowState;
        int32_t topic;
    };
    for (const Case c : {Case{0, 42}, Case{1 | 2 | 4 | 16 | 32, topic::Embed},
                         Case{2 | 4 | 8 | 64, topic::Extract}, Case{2 | 4 | 8, 42}}) {
        WindowModel model;
        model.windowState = c.windowState;
        model.helpContext = 42;
        EXPECT_EQ(refreshCommands(model).helpContext, c.topic) << int(c.windowState);
    }
}

TEST(CommandRefresh, AnimationMarksFollowTheReadyCommand) {
    WindowModel model;
    model.windowState = 1 | 2 | 4 | 16;
    applyRefresh(model, refreshCommands(model));
    EXPECT_EQ(model.animationMarks, kEmbed);

    model.windowState = 2 | 4 | 8;
    applyRefresh(model, refreshCommands(model));
    EXPECT_EQ(model.animationMarks, kExtract);

    model.windowState = 2 | 4 | 8 | 64;
    applyRefresh(model, refreshCommands(model));
    EXPECT_EQ(model.animationMarks, 0);
}

// The frames a ready button shows over twelve ticks; 0 for a tick without a change.
std::vector<int> framesOver(uint8_t marks, uint8_t windowState, Command* button) {
    WindowModel model;
    model.animationMarks = marks;
    model.windowState = windowState;
    std::vector<int> frames;
    for (int tick = 0; tick < 12; ++tick) {
        const auto step = animationTick(model);
        frames.push_back(step ? step->frame : 0);
        if (step) {
            *button = step->button;
        }
    }
    return frames;
}

TEST(ButtonAnimation, ExtractRisesAndEmbedFallsEachWithThreeRestingTicks) {
    Command button = Command::Help;
    EXPECT_EQ(framesOver(kExtract, 2 | 4 | 8, &button),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0}));
    EXPECT_EQ(button, Command::Extract);

    button = Command::Help;
    EXPECT_EQ(framesOver(kEmbed, 1 | 2 | 4 | 16, &button),
              (std::vector<int>{0, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(button, Command::Embed);
}

TEST(ButtonAnimation, RestsWhileRunningOrWithNothingReady) {
    Command button = Command::Help;
    const std::vector<int> still(12, 0);
    EXPECT_EQ(framesOver(kEmbed, 1 | 2 | 4 | 16 | 32, &button), still);
    EXPECT_EQ(framesOver(0, 1 | 2 | 4 | 16, &button), still);
    EXPECT_EQ(button, Command::Help);
}

TEST(ButtonAnimation, CounterIsKeptBetweenTicks) {
    WindowModel model;
    model.animationMarks = kEmbed;
    model.animationCounter = 5;
    const auto step = animationTick(model);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->frame, 4);
    EXPECT_EQ(model.animationCounter, 4);
}

} // namespace
