#pragma once

#include "workflows/Requests.h"

#include <QString>

namespace brindmar::cli {

// info's line for a JPEG described with a code: what Stealth takes from it kept a JPEG.
QString jpegStealthInfoLine(const InfoOutcome& info);

} // namespace brindmar::cli
