#include "util/StringTable.h"
#include "AppTestSupport.h"

#include <gtest/gtest.h>
#include <set>

using namespace brindmar;

namespace {

TEST(StringTable, ShipsEveryTextTheProgramAsksFor) {
    const StringTable& table = StringTable::builtin();
    for (const TextId id : kAllTextIds) {
        EXPECT_FALSE(table.text(id).isEmpty()) << "string " << static_cast<int>(id);
    }
}

TEST(StringTable, HoldsNoNumberTheProgramDoesNotKnow) {
    std::set<int> known;
    for (const TextId id : kAllTextIds) {
        known.insert(static_cast<int>(id));
    }
    for (const int number : StringTable::builtin().numbers()) {
        EXPECT_TRUE(known.count(number) != 0) << "string " << number << " has no id";
    }
}

TEST(StringTable, KeepsTextsExactlyAsWritten) {
    const std::pair<TextId, const char16_t*> cases[] = {
        {TextId::LayoutVariant, u"0"},
        {TextId::ProductName, u"BrindMar"},
        {TextId::CodeTooltip, u"The code wanted for embedding or neccessary to extract"},
        {TextId::CannotBeOpenedSuffix, u" - cannot be opened"},
        {TextId::CropTooltipPrefix, u"CROP "},
        {TextId::ConfirmDeleteOf, u"Confirm Delete of: "},
        {TextId::CropHorizontalStripTooltip, u" Horiz. Strip"},
        {TextId::ZipError06, u"Couldn't process - file may be open"},
        {TextId::UseSoundItem, u"Use &Sound"},
        {TextId::ProcessingFailureUnknown, u"Processing failure: <unknown>"},
    };
    for (const auto& [id, text] : cases) {
        EXPECT_EQ(StringTable::builtin().text(id), QString::fromUtf16(text));
    }
}

TEST(StringTable, ZipServiceCodesMapToTheirTexts) {
    const StringTable& table = StringTable::builtin();
    EXPECT_EQ(table.text(*unzipErrorText(1)), QStringLiteral("Internal error"));
    EXPECT_EQ(table.text(*unzipErrorText(17)), QStringLiteral("Change not permitted"));
    EXPECT_EQ(table.text(*zipErrorText(2)), QStringLiteral("Destination file (*.ZIP) error"));
    EXPECT_EQ(table.text(*zipErrorText(17)), QStringLiteral("User abort"));
    EXPECT_FALSE(unzipErrorText(0));
    EXPECT_FALSE(unzipErrorText(18));
    EXPECT_FALSE(zipErrorText(1));
    EXPECT_FALSE(zipErrorText(18));
}

TEST(StringTable, ParsesTheTextBetweenTheFirstAndLastQuote) {
    const auto table = StringTable::parse("# comment\r\n"
                                          "\n"
                                          "7\t\" padded \"\r\n"
                                          "  8 \"say \"hi\"\"\n"
                                          "9 \"\"\n"
                                          "10 \"Caf\xc3\xa9\"");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->text(7), QStringLiteral(" padded "));
    EXPECT_EQ(table->text(8), QStringLiteral("say \"hi\""));
    EXPECT_TRUE(table->contains(9));
    EXPECT_EQ(table->text(10), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_FALSE(table->contains(11));
    EXPECT_TRUE(table->text(11).isEmpty());
}

TEST(StringTable, RejectsMalformedLinesNamingTheLine) {
    const std::pair<const char*, const char16_t*> cases[] = {
        {"1 \"a\"\n2 no quotes\n", u"line 2"},
        {"1 \"unclosed\n", u"line 1"},
        {"x \"a\"\n", u"line 1"},
        {"\"a\"\n", u"line 1"},
        {"1 \"a\"\n1 \"b\"\n", u"line 2"},
        {"1 \"a\" trailing\n", u"line 1"},
    };
    for (const auto& [data, where] : cases) {
        QString error;
        EXPECT_FALSE(StringTable::parse(data, &error)) << data;
        EXPECT_TRUE(error.startsWith(QString::fromUtf16(where))) << error.toStdString();
    }
}

} // namespace
