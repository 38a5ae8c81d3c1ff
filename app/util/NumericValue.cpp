#include "util/NumericValue.h"

namespace brindmar {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

int64_t numericValue(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isBlank(c)) {
            continue;
        }
        if (c < '0' || c > '9') {
            break;
        }
        value = value >= kNumericValueLimit / 10 ? kNumericValueLimit : value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

} // namespace brindmar
