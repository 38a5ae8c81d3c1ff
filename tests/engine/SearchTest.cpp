// cbfindstr and filefindstr share one matching rule; every case runs through both.

#include "TestSupport.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

struct SearchCase {
    const char* what;
    int32_t mode, start, end;
    std::string needle, text;
    int32_t inText, inFile; // expected results of cbfindstr and filefindstr
};

const SearchCase kCases[] = {
    {"line start after CR LF", 0, 0, 0, "abc", "xx\r\nabcd", 4, 4},
    {"line start only", 0, 0, 0, "abc", "xabc", -1, -1},
    {"anywhere", 2, 0, 0, "abc", "xabc", 1, 1},
    {"no stepping back after a partial match", 2, 0, 0, "aab", "aaab", -1, -1},
    {"the failing byte may start a match", 2, 0, 0, "ab", "aab", 1, 1},
    {"caseless anywhere", 3, 0, 0, "ABC", "xaBc", 1, 1},
    {"exact case anywhere", 2, 0, 0, "ABC", "xaBc", -1, -1},
    {"caseless line start", 1, 0, 0, "ABC", "abcd", 0, 0},
    {"caseless line start only", 1, 0, 0, "ABC", "xabc", -1, -1},
    {"caseless leaves [ alone", 3, 0, 0, "[", "{@`", -1, -1},
    {"caseless leaves { alone", 3, 0, 0, "{", "[@`", -1, -1},
    {"caseless leaves @ alone", 3, 0, 0, "@", "`[{", -1, -1},
    {"caseless leaves ` alone", 3, 0, 0, "`", "@[{", -1, -1},
    {"negative mode is exact line start", -1, 0, 0, "ABC", "abc", -1, -1},
    {"mode read as 16 bits", 65536 + 3, 0, 0, "ABC", "xabc", 1, 1},
    {"not across LF", 2, 0, 0, "ab", "a\nb", -1, -1},
    {"not across CR", 2, 0, 0, "ab", "a\rb", -1, -1},
    {"a lone CR starts a line", 0, 0, 0, "b", "a\rb", 2, 2},
    {"a mismatch skips the rest of the line", 0, 0, 0, "ab", "aab\nab", 4, 4},
    {"end 0 is the text end", 2, 0, 0, "cd", "abcd", 2, 2},
    {"negative end is the text end", 2, 0, -5, "cd", "abcd", 2, 2},
    {"end beyond the text", 2, 0, 100, "cd", "abcd", 2, 2},
    {"match must end before end", 2, 0, 3, "cd", "abcd", -1, -1},
    {"match ending at end", 2, 0, 4, "cd", "abcd", 2, 2},
    {"start is a line start", 0, 1, 0, "abc", "xabc", 1, 1},
    {"search begins at start", 2, 2, 0, "ab", "abab", 2, 2},
    {"the first byte is read even past end", 2, 3, 1, "d", "abcd", 3, 3},
    {"needle reaching the text end", 2, 1, 0, "abc", "xabc", 1, 1},
    {"needle beyond the text end", 2, 2, 0, "abc", "xabc", -4, -4},
    {"negative start", 2, -1, 0, "a", "abc", -4, -5},
    {"empty text", 2, 0, 0, "a", "", -2, -4},
    {"empty needle", 2, 0, 0, "", "abc", -3, -3},
};

TEST(Search, InText) {
    for (const SearchCase& c : kCases) {
        EXPECT_EQ(cbfindstr(c.mode, c.start, c.end, c.needle.c_str(), c.text.c_str()), c.inText)
            << c.what;
    }
    EXPECT_EQ(cbfindstr(2, 0, 0, "a", nullptr), -2);
    EXPECT_EQ(cbfindstr(2, 0, 0, nullptr, "abc"), -3);
}

TEST(Search, InFile) {
    TempDir dir;
    const std::string path = dir.file("text.txt");
    for (const SearchCase& c : kCases) {
        bmptest::writeFile(path, Bytes(c.text.begin(), c.text.end()));
        EXPECT_EQ(filefindstr(c.mode, c.start, c.end, c.needle.c_str(), path.c_str()), c.inFile)
            << c.what;
    }
    const std::string missing = dir.file("missing.txt");
    EXPECT_EQ(filefindstr(2, 0, 0, "a", missing.c_str()), -7);
    EXPECT_EQ(filefindstr(2, 0, 0, "", missing.c_str()), -3); // the needle is checked first
    EXPECT_EQ(filefindstr(2, 0, 0, "a", ""), -2);
    EXPECT_EQ(filefindstr(2, 0, 0, "a", nullptr), -2);
}

} // namespace
} // namespace enginetest
