#pragma once

#include <cstdint>
#include <string_view>

namespace brindmar {

// The lenient number reading the stored formats were written for: blanks are skipped wherever
// they stand, one sign may lead, digits are taken up to the first other character, and text that
// is no number reads as 0. Files are untrusted, so the value saturates instead of overflowing.
int64_t numericValue(std::string_view text);

// Largest magnitude numericValue() reports.
inline constexpr int64_t kNumericValueLimit = 999'999'999'999'999'999;

} // namespace brindmar
