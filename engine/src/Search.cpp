// cbfindstr and filefindstr: one forward, line-by-line pass shared by both; only where the bytes
// come from differs.
#include "vokbfn1.h"

#include "Args.h"
#include "Streams.h"

#include <algorithm>
#include <sys/stat.h>

namespace vokb {
namespace {

constexpr int kEndOfInput = -1;

bool isLineBreak(int c) {
    return c == '\r' || c == '\n';
}

struct Matcher {
    const uint8_t* needle;
    int64_t length;
    bool caseless;

    bool matches(int textByte, int64_t k) const {
        const int want = needle[k];
        if (textByte == want) {
            return true;
        }
        if (!caseless) {
            return false;
        }
        if (textByte >= 'A' && textByte <= 'Z') {
            return textByte + ('a' - 'A') == want;
        }
        if (textByte >= 'a' && textByte <= 'z') {
            return textByte - ('a' - 'A') == want;
        }
        return false;
    }
};

// Source yields the byte at the current position and advances; kEndOfInput ends the search.
template <typename Source>
int32_t search(Source& next, int64_t start, int64_t end, int64_t searchMode, const Matcher& m) {
    const bool anywhere = searchMode > 1;
    int64_t pos = start;
    bool hitEnd = false;
    do {
        const int64_t lineStart = pos;
        int64_t k = 0;
        for (;;) {
            const int c = next();
            if (c == kEndOfInput) {
                hitEnd = true;
                break;
            }
            ++pos;
            if (isLineBreak(c)) {
                break;
            }
            if (m.matches(c, k)) {
                ++k;
            } else {
                k = 0;
                if (anywhere) {
                    if (m.matches(c, 0)) {
                        k = 1;
                    }
                } else {
                    // Line-start mode: nothing more on this line can match.
                    while (pos < end) {
                        const int skipped = next();
                        if (skipped == kEndOfInput) {
                            hitEnd = true;
                            break;
                        }
                        ++pos;
                        if (isLineBreak(skipped)) {
                            break;
                        }
                    }
                    break;
                }
            }
            if (k == m.length) {
                return static_cast<int32_t>(anywhere ? pos - k : lineStart);
            }
            if (pos >= end) {
                break;
            }
        }
    } while (pos < end && !hitEnd);
    return -1;
}

Matcher makeMatcher(const char* needle, int64_t searchMode) {
    return {reinterpret_cast<const uint8_t*>(needle), textLength(needle),
            searchMode > 0 && searchMode % 2 == 1};
}

} // namespace
} // namespace vokb

extern "C" int32_t cbfindstr(int32_t searchMode, int32_t start, int32_t end, const char* needle,
                             const char* text) {
    using namespace vokb;
    if (isEmpty(text)) {
        return -2;
    }
    if (isEmpty(needle)) {
        return -3;
    }
    const int64_t length = textLength(text);
    const Matcher matcher = makeMatcher(needle, arg16(searchMode));
    // A negative start would read before the text; it is out of bounds like a start too late.
    if (start < 0 || start + matcher.length > length) {
        return -4;
    }
    const int64_t stop = end < 1 || end > length ? length : end;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text);
    int64_t at = start;
    auto next = [&]() { return at < length ? static_cast<int>(bytes[at++]) : kEndOfInput; };
    return search(next, start, stop, arg16(searchMode), matcher);
}

extern "C" int32_t filefindstr(int32_t searchMode, int32_t start, int32_t end, const char* needle,
                               const char* path) {
    using namespace vokb;
    if (isEmpty(path)) {
        return -2;
    }
    if (isEmpty(needle)) {
        return -3;
    }
    CloseAllOnExit closeAll;
    FILE* file = openRegistered(path, "rb");
    if (file == nullptr) {
        return -7;
    }
    struct stat st {};
    if (fstat(fileno(file), &st) != 0) {
        return -2;
    }
    const int64_t size = st.st_size;
    Reader reader(file, scratch(Scratch::Carrier), kScratchBytes);
    if (!reader.seek(start)) {
        return -5;
    }
    const Matcher matcher = makeMatcher(needle, arg16(searchMode));
    if (start + matcher.length > size) {
        return -4;
    }
    // Offsets are reported in 32 bits, so a search never runs past what it could report.
    const int64_t searchable = std::min<int64_t>(size, INT32_MAX);
    const int64_t stop = end < 1 || end > searchable ? searchable : end;
    auto next = [&]() { return reader.get(); };
    const int32_t found = search(next, start, stop, arg16(searchMode), matcher);
    // A match stands on bytes that were read; "not found" after a failed read would be a guess.
    return found == -1 && reader.error() != 0 ? -5 : found;
}
