#pragma once

#include <QString>

namespace brindmar {

// Why a carrier's picture could not be drawn, for each front end to put beside the file's name.
enum class DrawFault {
    None,
    CannotOpen,
    CannotRead, // the disk refused a read; the errno goes with it
    NotBmp,
    Unsupported, // a BMP whose layout the decoder does not draw
    Changed,     // the file was replaced while it was read
    EndsEarly,
    TooLarge,
    NoMemory,
};

struct DrawFailure {
    DrawFault fault = DrawFault::None;
    int error = 0;
};

// The short reason the window's "Processing failure" box gives after the file's name; the
// terminal prints the same line.
QString drawFaultText(DrawFault fault, int error);

} // namespace brindmar
