// A code becomes the same bytes however it arrives (composed or not, with other spaces, from a
// file with a byte-order mark), bytes that are not UTF-8 are refused rather than replaced, and
// each rule counts characters, not UTF-16 units.
#include "payload/CodeText.h"
#include "protection/StrongSeal.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace brindmar;

namespace {

std::string times(const std::string& unit, int count) {
    std::string out;
    while (count-- > 0)
        out += unit;
    return out;
}

// Ten characters around the one given.
std::string around(const std::string& middle) {
    return "abcde" + middle + "fghij";
}

TEST(CodeText, BytesBecomeOneCodeUnderEachRule) {
    using enum CodeTextFault;
    const std::string alpha = "\xce\xb1";         // U+03B1
    const std::string han = "\xe5\xaf\x86";       // U+5BC6
    const std::string emoji = "\xf0\x9f\x94\x91"; // U+1F511, two UTF-16 units
    const std::string ylig = "\xc3\xbf";          // U+00FF, the last of Latin-1
    const std::string nbsp = "\xc2\xa0";
    const std::string composed = "\xc3\xa9t\xc3\xa9 \xc3\xa0 S\xc3\xa8te";
    const struct {
        std::string bytes;                   // as a file or the environment hands them over
        std::optional<std::string> prepared; // UTF-8; nullopt: the bytes themselves
        CodeTextFault stored;
        CodeTextFault sealing;
    } cases[] = {
        {"abcdefghij", {}, None, None},
        {"  abcdefghij  ", "abcdefghij", None, None},
        {composed, {}, None, None},
        {"e\xcc\x81t\xc3\xa9 \xc3\xa0 Se\xcc\x80te", composed, None, None},
        // Nine characters composed from eleven.
        {times("e\xcc\x81", 2) + "abcdefg", times("\xc3\xa9", 2) + "abcdefg", Length, Length},
        {"abcdefghij" + nbsp, "abcdefghij", None, None},
        {around(nbsp), "abcde fghij", None, None},
        {"\xe3\x80\x80" + around("\xe2\x80\xaf"), "abcde fghij", None, None},
        {"", "", Empty, Empty},
        {" " + nbsp + " ", "", Empty, Empty},
        {times(alpha, 10), {}, NotLatin1, None},
        {times(alpha, 9), {}, NotLatin1, Length},
        {times(han, 10), {}, NotLatin1, None},
        {times(emoji, 10), {}, NotLatin1, None},
        {times(han, 256), {}, NotLatin1, None},
        {times(han, 257), {}, NotLatin1, Length},
        {times(ylig, 20), {}, None, None},
        {times(ylig, 21), {}, Length, None},
        {"abcdefghi\xc4\x80", {}, NotLatin1, None}, // just past Latin-1
        // Composed, never folded: a compatibility form (NFKC) would make "²" a "2" and "ﬁ" an
        // "fi", and open the document with a code the user never chose.
        {"abcdefghi\xc2\xb2", {}, None, None},
        {"abcdefghi\xef\xac\x81", {}, NotLatin1, None},
        {around("\t"), {}, Unusable, Unusable},
        {around("\xc2\x85"), {}, Unusable, Unusable},     // a C1 control
        {around("\xe2\x80\x8b"), {}, Unusable, Unusable}, // a zero-width space
        {"\xef\xbb\xbf" + around(""), {}, Unusable, Unusable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        const std::optional<QString> decoded = strictUtf8(c.bytes);
        ASSERT_TRUE(decoded.has_value());
        const std::string prepared = c.prepared.value_or(c.bytes);
        EXPECT_EQ(preparedCode(*decoded).toUtf8().toStdString(), prepared);
        EXPECT_EQ(codeTextFault(*decoded, CodeRule::Stored), c.stored);
        EXPECT_EQ(codeTextFault(*decoded, CodeRule::Sealing), c.sealing);
        // The derivation takes exactly the prepared bytes.
        const SecretBytes secret = codeSecret(*decoded);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(secret.data()), secret.size()),
                  prepared);
    }
    // Latin-1 bytes, a lone continuation byte, an overlong slash, a surrogate, a code point past
    // U+10FFFF and a character cut short.
    for (const std::string& bytes :
         {std::string("\xe9t\xe9 \xe0 S\xe8te"), around("\x80"), around("\xc0\xaf"),
          around("\xed\xa0\x80"), around("\xf4\x90\x80\x80"), std::string("abcdefghij\xe5\xaf")}) {
        EXPECT_FALSE(strictUtf8(bytes).has_value()) << bytes;
    }
}

} // namespace
