// Under Stealth, the recommended size is there before Embed: beside the most that fits, and in a
// question when a document above it is chosen, which can leave it unchosen.
#include "WorkflowHarness.h"
#include "protection/StealthImage.h"
#include "workflows/DocumentSelection.h"
#include "workflows/StealthEmbedding.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

struct Row {
    const char* name;
    size_t documentBytes;
    std::optional<MessageAnswer> answer; // nothing: no question is asked
    bool chosen;
};

TEST(StealthDocumentChoice, AboveTheRecommendedSizeTheUserKeepsOrDrops) {
    constexpr int32_t kWidth = 400;
    constexpr int32_t kHeight = 300;
    const std::vector<Row> rows{
        {"below", 40, std::nullopt, true},
        {"above, kept", 2000, MessageAnswer::Ok, true},
        {"above, dropped", 2000, MessageAnswer::Cancel, false},
    };
    for (const Row& row : rows) {
        apptest::UserSession s(QStringLiteral("Correct Horse 12"));
        s.h.ctx.strongCost = StrongCost{1, 8};
        std::mt19937 random(11);
        bmptest::Bytes pixels(size_t{kWidth} * kHeight * 3);
        std::ranges::generate(pixels, [&] { return uint8_t(random()); });
        const QString carrier =
            s.h.file(QStringLiteral("carrier.bmp"), bmptest::make24(kWidth, kHeight, pixels));
        bmptest::Bytes document(row.documentBytes);
        std::ranges::generate(document, [&] { return uint8_t(random()); });
        const QString path = s.h.file(QStringLiteral("doc.bin"), document);

        ToggleStealth(s.h.ctx);
        s.chooseCarrier(carrier);
        EXPECT_EQ(s.h.model.display.embedRecommended.toLongLong(),
                  stealthRecommendedCapacity(kWidth, kHeight))
            << row.name;
        s.chooseDocument(path);
        s.h.ui.clear();
        if (row.answer) {
            s.h.ui.queueAnswer(*row.answer);
        }
        ConfirmStealthDocument(s.h.ctx);

        const QStringList said = s.messages();
        EXPECT_EQ(said.size(), row.answer ? 1 : 0) << row.name;
        if (row.answer) {
            EXPECT_TRUE(said.value(0).startsWith(u"Stealth|This document takes ")) << row.name;
            EXPECT_TRUE(said.value(0).contains(u"Keep this document?")) << row.name;
        }
        EXPECT_EQ(s.h.model.hasState(state::DocumentChosen), row.chosen) << row.name;
        EXPECT_EQ(s.h.model.hasState(state::EmbedPossible), row.chosen) << row.name;
        EXPECT_EQ(s.h.model.stealthAboveRateAgreed,
                  row.answer == MessageAnswer::Ok ? stealthRecommendedCapacity(kWidth, kHeight)
                                                  : -1)
            << row.name;
    }
}

} // namespace
