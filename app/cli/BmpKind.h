#pragma once

#include "payload/BmpHeader.h"

#include <QString>
#include <optional>

namespace brindmar::cli {

// A BMP as its headers describe it ("a 24-bit BMP with a V5 header (124 bytes)"), in words
// a user can look up; "a BMP" alone when its headers cannot be read.
QString bmpKindText(const BmpHeader& header);
QString bmpKindText(const QString& path);

// Why embed could not take the BMP as it is: the first rule of the embedding's it breaks.
// stealth: under Stealth, whose coder takes 24-bit pixels only.
QString bmpConversionReason(const BmpHeader& header, bool stealth);
QString bmpConversionReason(const QString& path, bool stealth);

} // namespace brindmar::cli
