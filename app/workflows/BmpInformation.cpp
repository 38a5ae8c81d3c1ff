#include "workflows/BmpInformation.h"

#include "payload/BmpHeader.h"
#include "workflows/CarrierInspection.h"

namespace brindmar {

std::optional<std::array<QString, kBmpInformationFields>> ReadBmpInformation(WorkflowContext& ctx,
                                                                             const QString& path) {
    const BmpHeaderRead read = readBmpHeader(path);
    if (read.result != BmpReadResult::Read) {
        // Without the system's words: the information window says only which it was.
        ctx.conclude(openFailure(read.result == BmpReadResult::CannotOpen ? Reason::CannotOpen
                                                                          : Reason::CannotRead,
                                 path));
        return std::nullopt;
    }
    const BmpHeader& h = read.header;
    const auto number = [](auto value) { return QString::number(value); };
    const auto signed32 = [](uint32_t value) {
        return QString::number(static_cast<int32_t>(value));
    };
    return std::array<QString, kBmpInformationFields>{
        QStringLiteral("BM"),
        signed32(h.fileSize),
        signed32(h.dataOffset),
        signed32(h.infoSize),
        number(h.width),
        number(h.height),
        number(static_cast<int16_t>(h.planes)),
        number(static_cast<int16_t>(h.bitCount)),
        signed32(h.compression),
        signed32(h.imageSize),
        number(h.xPixelsPerMetre),
        number(h.yPixelsPerMetre),
        signed32(h.coloursUsed),
        signed32(h.importantColours),
    };
}

} // namespace brindmar
