#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace brindmar {

// Paths, codes and names are trimmed of spaces only: a tab or a line feed is part of the text.
QString trimBlanks(const QString& text);
std::string trimBlanks(std::string_view text);

} // namespace brindmar
