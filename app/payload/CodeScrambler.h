#pragma once

#include <string>
#include <string_view>

namespace brindmar {

// The 181 key characters behind the code scrambling and the archive password. They are part of
// the stored format: every image made with them can only be opened by a program holding the
// very same table, so it must never change.
std::string_view CodeKeyTable();

// Exclusive-or of the 20-character padded code with a keystream drawn from CodeKeyTable. The
// stream steps by the digits found at the start of the four numbers of the date field that
// follows the code in the argument, so it depends on the date field alone and a second call
// undoes the first. A short argument counts its missing characters as spaces.
std::string ScrambleCode(std::string_view paddedCodeAndDateField);

} // namespace brindmar
