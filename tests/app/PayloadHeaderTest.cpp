#include "payload/PayloadHeader.h"
#include "AppTestSupport.h"
#include "payload/CodeScrambler.h"
#include "payload/DosDateTime.h"
#include "payload/SixBitCodec.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

const std::string kDateField = "23073 -3276823073 -31808";

std::string codeField(const std::string& header) {
    return header.substr(14, 28);
}

TEST(PayloadHeader, LayoutOfAFiveCharacterNameStoredAsItIs) {
    const std::string header = composePayloadHeader(QString(), kDateField, StorageMode::AsIs,
                                                    NameRoute::Own, 1234, QStringLiteral("a.txt"));
    ASSERT_EQ(header.size(), 95u);
    EXPECT_EQ(header.substr(0, 14), "+/VOKE01170+++");
    EXPECT_EQ(header.substr(42, 24), kDateField);
    EXPECT_EQ(header.substr(66, 3), "100");
    EXPECT_EQ(header.substr(69, 3), "   ");
    EXPECT_EQ(header.substr(72, 12), "000000001234");
    EXPECT_EQ(header.substr(84, 6), "000005");
    EXPECT_EQ(header.substr(90), "a.txt");
    // The whole header, computed by a separate implementation of the format.
    EXPECT_EQ(header, "+/VOKE01170+++Pr7mQaAFxRTLptZ+sBzTroX+KtMU23073 -3276823073 -31808100   "
                      "000000001234000005a.txt");
}

TEST(PayloadHeader, StorageDigitsFollowModeAndSubstituteName) {
    const std::tuple<StorageMode, NameRoute, const char*> cases[] = {
        {StorageMode::AsIs, NameRoute::Own, "100"},
        {StorageMode::AsIs, NameRoute::WorkCopy, "101"},
        {StorageMode::Compressed, NameRoute::Own, "110"},
        {StorageMode::Encrypted, NameRoute::WorkCopy, "121"},
        {StorageMode::Compressed, NameRoute::InArchive, "112"},
    };
    for (const auto& [mode, substitute, digits] : cases) {
        const std::string header =
            composePayloadHeader(QString(), kDateField, mode, substitute, 1, QStringLiteral("n"));
        EXPECT_EQ(header.substr(66, 6), std::string(digits) + "   ");
    }
}

TEST(PayloadHeader, PackingStateGivesTheStorageMode) {
    const std::pair<uint8_t, StorageMode> cases[] = {
        {0, StorageMode::AsIs},       {1, StorageMode::Compressed},
        {8, StorageMode::Encrypted},  {9, StorageMode::Encrypted},
        {16 | 32, StorageMode::AsIs}, {1 | 16, StorageMode::Compressed},
    };
    for (const auto& [state, mode] : cases) {
        EXPECT_EQ(storageModeFromPackingState(state), mode) << int{state};
    }
}

TEST(PayloadHeader, CodeIsTrimmedCutToTwentyAndAlwaysFillsTwentyEightCharacters) {
    const auto header = [](const char16_t* code) {
        return composePayloadHeader(QString::fromUtf16(code), kDateField, StorageMode::AsIs,
                                    NameRoute::Own, 1, QStringLiteral("n"));
    };
    EXPECT_EQ(codeField(header(u"0123456789")).size(), 28u);
    EXPECT_EQ(header(u"  0123456789  "), header(u"0123456789"));
    EXPECT_EQ(header(u"ABCDEFGHIJKLMNOPQRSTUVWXY"), header(u"ABCDEFGHIJKLMNOPQRST"));
    EXPECT_NE(header(u"ABCDEFGHIJKLMNOPQRST"), header(u"ABCDEFGHIJKLMNOPQRSU"));
    // An empty code still leaves a field that decodes to nothing once unscrambled.
    const std::string empty = DecodeSixBit(codeField(header(u""))).substr(0, 20);
    EXPECT_EQ(ScrambleCode(empty + kDateField), std::string(20, ' '));
}

TEST(PayloadHeader, NameIsTheFileNameInItsEightBitForm) {
    const std::pair<const char16_t*, std::string> cases[] = {
        {u"  /home/ann/Report 2024.pdf ", "000000000015Report 2024.pdf"},
        {u"Caf\u00e9.txt", "000000000008Caf\xe9.txt"},
        // Outside the 8-bit code page each character becomes one "?".
        {u"\u6587\u6863.txt", "000000000006??.txt"},
    };
    for (const auto& [name, tail] : cases) {
        const std::string header = composePayloadHeader(
            QString(), kDateField, StorageMode::AsIs, NameRoute::Own, 0, QString::fromUtf16(name));
        EXPECT_EQ(header.substr(78), tail);
    }
}

TEST(PayloadHeader, BuildReadsTheDocumentsOwnDates) {
    apptest::FakePlatform platform;
    platform.times[QStringLiteral("/docs/letter.txt")] = {
        apptest::utcSeconds(2025, 1, 1, 16, 0, 0), 0, apptest::utcSeconds(2025, 1, 1, 16, 30, 1)};
    const std::string header = BuildPayloadHeader(
        platform, QStringLiteral("Secret code 123"), QStringLiteral("/docs/letter.txt"),
        QStringLiteral("letter.txt"), StorageMode::Encrypted, NameRoute::Own, 77);
    EXPECT_EQ(header.substr(42, 24), kDateField);
    EXPECT_EQ(codeField(header), "51Ql60N3xNGMYxl+wQrAroX+KtMU");
    // A document whose dates cannot be read still gets a header, with zeros for dates.
    const std::string unreadable =
        BuildPayloadHeader(platform, QString(), QStringLiteral("/gone"), QStringLiteral("gone"),
                           StorageMode::AsIs, NameRoute::Own, 1);
    EXPECT_EQ(unreadable.substr(42, 24), "0     0     0     0     ");
}

} // namespace
