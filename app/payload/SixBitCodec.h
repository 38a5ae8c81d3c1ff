#pragma once

#include <string>
#include <string_view>

namespace brindmar {

// Three bytes to four characters of a 64-symbol alphabet ("+", "/", digits, capitals, small
// letters), so that any byte values, scrambled code included, travel as printable text. The text
// is padded with spaces to a multiple of 3 first; an empty text stays empty.
std::string EncodeSixBit(std::string_view bytes);

// The inverse, group by group of four characters. It accepts any text: a character outside the
// alphabet maps to some value rather than failing, and a short last group counts its missing
// characters as "+".
std::string DecodeSixBit(std::string_view text);

} // namespace brindmar
