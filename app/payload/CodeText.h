#pragma once

#include <QString>
#include <optional>
#include <string_view>

namespace brindmar {

// The one place where the text of a code becomes what is stored, compared or derived from.
// Every way a code comes in (the code box, a code file, the environment, a prompt, the command
// line) goes through preparedCode, so that the same code typed anywhere gives the same bytes.

inline constexpr int kCodeMinLength = 10;
// A code stored in the image: the payload header holds 20 characters of 8 bits.
inline constexpr int kCodeMaxLength = 20;
// Strong protection stores nothing of its code, so a longer one, in any script, loses nothing.
inline constexpr int kSealingCodeMaxLength = 256;

// Which rule a code is held to: stored in the image (with or without Encrypt), or the key of a
// seal (strong protection asked for, or a sealed image opened).
enum class CodeRule { Stored, Sealing };

enum class CodeTextFault {
    None,
    Empty,     // nothing left once the blanks at the ends are dropped
    Length,    // too short or too long for the rule, counted in code points
    NotLatin1, // a character the payload header cannot carry (Stored rule only)
    Unusable,  // a control character, an invisible one, or one Unicode has not assigned
};

// Strict UTF-8 (RFC 3629): nullopt for any byte that is not part of a well-formed sequence,
// including overlong forms, surrogates and values beyond U+10FFFF. Never a replacement
// character: a code that decoded to one would be opened by other byte strings too.
std::optional<QString> strictUtf8(std::string_view bytes);

// The code as it is used: composed to Unicode's normal form C, every space character other than
// U+0020 mapped to U+0020 (as PRECIS's OpaqueString profile does, RFC 8265), and the U+0020
// blanks at both ends dropped. A no-break space typed at the end is therefore no part of it.
QString preparedCode(const QString& typed);

// Characters as a person counts them: code points, not UTF-16 units.
qsizetype codePointCount(const QString& text);

// What keeps the prepared form of typed from being a code under rule.
CodeTextFault codeTextFault(const QString& typed, CodeRule rule);

} // namespace brindmar
