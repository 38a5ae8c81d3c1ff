#include "payload/CodeScrambler.h"
#include "payload/SixBitCodec.h"
#include "util/NumericValue.h"

#include <cctype>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string padded(std::string code) {
    code.resize(20, ' ');
    return code;
}

// Date field of creation 2025-01-01 16:00:00 and last write 2025-01-01 16:30:00.
const std::string kDateField = "23073 -3276823073 -31808";

TEST(CodeKeyTable, NeverChanges) {
    // Images made today must open with every later version: this is the stored table.
    EXPECT_EQ(hex(CodeKeyTable()),
              "334f6a4552d0dc435131d2d53ff4f77d35b96f60c05762ffe3b768bde0f97bed6db6e1de3e2bc3fbeb"
              "a5df5ec270482ebfc8dbd4a2e6e869285ad8ab652274b42deaec59cab1ac4ae9beb3364daa2c344c5c"
              "27ce773ada797623e471fed932bc21f567f0b078e5f266c4a8fa4ba973e2cd42a4bb7553afc7c5fc29"
              "25585547c963d346f161d13bc6ef30ae5db2dd6e56c1375f64f8503db5d7cfcb38406c247a7ca326ba"
              "a6f67eb85b3949413c72ee542a44fd4e2f");
}

TEST(ScrambleCode, GivesTheStoredCodeFieldOfTheReleasedFormat) {
    // Computed by a separate implementation of the format, not by this code.
    EXPECT_EQ(EncodeSixBit(ScrambleCode(padded("Secret code 123") + kDateField)),
              "51Ql60N3xNGMYxl+wQrAroX+KtMU");
    EXPECT_EQ(EncodeSixBit(ScrambleCode(padded("") + kDateField)), "Pr7mQaAFxRTLptZ+sBzTroX+KtMU");
}

TEST(ScrambleCode, UndoesItselfForAnyDateField) {
    const std::string dates[] = {kDateField, "0     0     0     0     ", "-1    999   12345 -9    ",
                                 "", "99999999999999999999999999"};
    const std::string codes[] = {padded(""), padded("0123456789"), padded("Zz~!\"#$%&'()*+,-./:;"),
                                 std::string("\xff\x80\x01 abc\xe9\xe8\xe7         ", 20)};
    for (const std::string& date : dates) {
        for (const std::string& code : codes) {
            const std::string once = ScrambleCode(code + date);
            ASSERT_EQ(once.size(), 20u);
            EXPECT_EQ(ScrambleCode(once + date), code) << "date \"" << date << '"';
        }
    }
}

TEST(ScrambleCode, KeyComesOnlyFromTheFirstThreeCharactersOfEachDateNumber) {
    const std::string code = padded("0123456789");
    const std::string base = ScrambleCode(code + kDateField);
    for (size_t i = 0; i < kDateField.size(); ++i) {
        std::string date = kDateField;
        date[i] = date[i] == '7' ? '8' : '7';
        const bool isKey = i % 6 < 3;
        EXPECT_EQ(ScrambleCode(code + date) != base, isKey) << "date position " << i + 1;
    }
}

TEST(SixBit, MapsValuesToTheAlphabet) {
    const std::pair<unsigned, char> cases[] = {{0, '+'},  {1, '/'},  {2, '0'},  {11, '9'},
                                               {12, 'A'}, {37, 'Z'}, {38, 'a'}, {63, 'z'}};
    for (const auto& [value, symbol] : cases) {
        const std::string group{static_cast<char>(value << 2), 0, static_cast<char>(value)};
        const std::string encoded = EncodeSixBit(group);
        EXPECT_EQ(encoded[0], symbol) << value;
        EXPECT_EQ(encoded[3], symbol) << value;
        EXPECT_EQ(DecodeSixBit(encoded), group) << value;
    }
}

TEST(SixBit, DecodesCharactersOutsideTheAlphabetByTheirCodeRanges) {
    // A crafted code field may hold anything; every reader must find the same stored code.
    const std::pair<std::string, std::string> cases[] = {
        {"    ", "cb2c72"}, {"~~~~", "0c3003"}, {std::string("\x00\x01\x7f\xff", 4), "4931c4"},
        {"*,-.", "f3efc0"}, {":;@[", "1462e0"}, {"`{|}", "940082"},
    };
    for (const auto& [text, bytes] : cases) {
        EXPECT_EQ(hex(DecodeSixBit(text)), bytes) << hex(text);
    }
}

TEST(SixBit, PadsWithSpacesToWholeGroups) {
    const std::pair<std::string, size_t> cases[] = {
        {"", 0}, {"a", 4}, {"abc", 4}, {"abcd", 8}, {std::string(20, 'x'), 28}};
    for (const auto& [text, length] : cases) {
        const std::string encoded = EncodeSixBit(text);
        EXPECT_EQ(encoded.size(), length) << text;
        std::string expected = text;
        expected.resize((text.size() + 2) / 3 * 3, ' ');
        EXPECT_EQ(DecodeSixBit(encoded), expected) << text;
    }
}

TEST(SixBit, RoundTripsEveryByteValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    all += "xx"; // 258 bytes: whole groups, so nothing is padded
    const std::string encoded = EncodeSixBit(all);
    for (const char c : encoded) {
        EXPECT_TRUE(c == '+' || c == '/' || std::isalnum(static_cast<unsigned char>(c))) << c;
    }
    EXPECT_EQ(DecodeSixBit(encoded), all);
}

TEST(NumericValue, ReadsNumbersLeniently) {
    const std::pair<const char*, int64_t> cases[] = {
        {"000000001234", 1234},
        {"  12 34", 1234},
        {"-00005", -5},
        {" - 5", -5},
        {"+7", 7},
        {"12ab3", 12},
        {"abc", 0},
        {"", 0},
        {"--5", 0},
        {"999999999999", 999999999999},
        {"99999999999999999999999999", kNumericValueLimit},
        {"-99999999999999999999999999", -kNumericValueLimit},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(numericValue(text), value) << '"' << text << '"';
    }
}

} // namespace
