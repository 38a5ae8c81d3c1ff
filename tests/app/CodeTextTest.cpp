// A code becomes the same bytes however it arrives (composed or not, with other spaces, from a
// file with a byte-order mark), bytes that are not UTF-8 are refused rather than replaced, and
// each rule counts characters, not UTF-16 units.
#include "payload/CodeText.h"
#include "payload/StrongSeal.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace brindmar;

namespace {

using Fault = CodeTextFault;

struct CodeCase {
    const char* what;
    std::string bytes;                   // as a file or the environment hands them over
    std::optional<std::string> prepared; // UTF-8; nullopt: refused as not UTF-8
    Fault stored;
    Fault sealing;
};

std::string repeat(const std::string& unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += unit;
    }
    return out;
}

TEST(CodeText, BytesBecomeOneCodeUnderEachRule) {
    const std::string alpha = "\xce\xb1";         // U+03B1
    const std::string han = "\xe5\xaf\x86";       // U+5BC6
    const std::string emoji = "\xf0\x9f\x94\x91"; // U+1F511, two UTF-16 units
    const CodeCase cases[] = {
        {"plain ascii", "abcdefghij", "abcdefghij", Fault::None, Fault::None},
        {"blanks at the ends", "  abcdefghij  ", "abcdefghij", Fault::None, Fault::None},
        {"composed", "\xc3\xa9t\xc3\xa9 \xc3\xa0 S\xc3\xa8te",
         "\xc3\xa9t\xc3\xa9 \xc3\xa0 S\xc3\xa8te", Fault::None, Fault::None},
        {"decomposed gives the composed bytes and count",
         "e\xcc\x81t\xc3\xa9 \xc3\xa0 Se\xcc\x80te", "\xc3\xa9t\xc3\xa9 \xc3\xa0 S\xc3\xa8te",
         Fault::None, Fault::None},
        {"nine composed from eleven units",
         "e\xcc\x81"
         "e\xcc\x81"
         "abcdefg",
         "\xc3\xa9\xc3\xa9"
         "abcdefg",
         Fault::Length, Fault::Length},
        {"trailing no-break space", "abcdefghij\xc2\xa0", "abcdefghij", Fault::None, Fault::None},
        {"inner no-break space",
         "abcde\xc2\xa0"
         "fghij",
         "abcde fghij", Fault::None, Fault::None},
        {"ideographic and narrow spaces",
         "\xe3\x80\x80"
         "abc\xe2\x80\xaf"
         "defghij",
         "abc defghij", Fault::None, Fault::None},
        {"empty", "", "", Fault::Empty, Fault::Empty},
        {"blanks only", " \xc2\xa0 ", "", Fault::Empty, Fault::Empty},
        {"ten greek letters", repeat(alpha, 10), repeat(alpha, 10), Fault::NotLatin1, Fault::None},
        {"nine greek letters", repeat(alpha, 9), repeat(alpha, 9), Fault::NotLatin1, Fault::Length},
        {"ten han characters", repeat(han, 10), repeat(han, 10), Fault::NotLatin1, Fault::None},
        {"ten keys beyond the first plane", repeat(emoji, 10), repeat(emoji, 10), Fault::NotLatin1,
         Fault::None},
        {"256 characters", repeat(han, 256), repeat(han, 256), Fault::NotLatin1, Fault::None},
        {"257 characters", repeat(han, 257), repeat(han, 257), Fault::NotLatin1, Fault::Length},
        {"twenty latin-1", repeat("\xc3\xbf", 20), repeat("\xc3\xbf", 20), Fault::None,
         Fault::None},
        {"twenty-one latin-1", repeat("\xc3\xbf", 21), repeat("\xc3\xbf", 21), Fault::Length,
         Fault::None},
        {"just past latin-1", "abcdefghi\xc4\x80", "abcdefghi\xc4\x80", Fault::NotLatin1,
         Fault::None},
        {"a tab", "abcde\tfghij", "abcde\tfghij", Fault::Unusable, Fault::Unusable},
        {"a c1 control",
         "abcde\xc2\x85"
         "fghij",
         "abcde\xc2\x85"
         "fghij",
         Fault::Unusable, Fault::Unusable},
        {"a zero-width space",
         "abcde\xe2\x80\x8b"
         "fghij",
         "abcde\xe2\x80\x8b"
         "fghij",
         Fault::Unusable, Fault::Unusable},
        {"a byte-order mark inside",
         "\xef\xbb\xbf"
         "abcdefghij",
         "\xef\xbb\xbf"
         "abcdefghij",
         Fault::Unusable, Fault::Unusable},
        {"latin-1 bytes", "\xe9t\xe9 \xe0 S\xe8te", std::nullopt, Fault::None, Fault::None},
        {"a lone continuation byte", "abcdefghij\x80", std::nullopt, Fault::None, Fault::None},
        {"an overlong slash",
         "abc\xc0\xaf"
         "defghij",
         std::nullopt, Fault::None, Fault::None},
        {"a surrogate",
         "abc\xed\xa0\x80"
         "defghij",
         std::nullopt, Fault::None, Fault::None},
        {"beyond U+10FFFF",
         "abc\xf4\x90\x80\x80"
         "defghij",
         std::nullopt, Fault::None, Fault::None},
        {"cut inside a character", "abcdefghij\xe5\xaf", std::nullopt, Fault::None, Fault::None},
    };
    for (const CodeCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<QString> decoded = strictUtf8(c.bytes);
        ASSERT_EQ(decoded.has_value(), c.prepared.has_value());
        if (!decoded) {
            continue;
        }
        EXPECT_EQ(preparedCode(*decoded).toUtf8().toStdString(), *c.prepared);
        EXPECT_EQ(codeTextFault(*decoded, CodeRule::Stored), c.stored);
        EXPECT_EQ(codeTextFault(*decoded, CodeRule::Sealing), c.sealing);
        // The derivation takes exactly the prepared bytes.
        const SecretBytes secret = codeSecret(*decoded);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(secret.data()), secret.size()),
                  *c.prepared);
    }
}

} // namespace
