#include "util/DrawFault.h"

#include "util/ReplacementFile.h"

namespace brindmar {

QString drawFaultText(DrawFault fault, int error) {
    switch (fault) {
    case DrawFault::None:
        break;
    case DrawFault::CannotOpen:
        return QStringLiteral("cannot open the file");
    case DrawFault::CannotRead:
        return QStringLiteral("it cannot be read: ") + systemErrorText(error);
    case DrawFault::NotBmp:
        return QStringLiteral("not a BMP file");
    case DrawFault::Unsupported:
        return QStringLiteral("unsupported BMP layout");
    case DrawFault::Changed:
        return QStringLiteral("the file changed while it was read");
    case DrawFault::EndsEarly:
        return QStringLiteral("the file ends early");
    case DrawFault::TooLarge:
        return QStringLiteral("the image is too large to show");
    case DrawFault::NoMemory:
        return QStringLiteral("not enough memory");
    }
    return {};
}

} // namespace brindmar
