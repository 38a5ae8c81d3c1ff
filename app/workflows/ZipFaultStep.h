#pragma once

#include "operations/ZipService.h"
#include "workflows/Outcome.h"

#include <optional>

namespace brindmar {

// The zip service's step an outcome's or a notice's fault names; nothing where the fault is not
// the zip service's. The front ends quote the service's own words for it.
inline std::optional<ZipStep> zipStepOf(Fault fault) {
    switch (fault) {
    case Fault::ZipNotMade:
        return ZipStep::Create;
    case Fault::NotZip:
        return ZipStep::NotZip;
    case Fault::Zipping:
        return ZipStep::Zip;
    case Fault::Unzipping:
        return ZipStep::Unzip;
    default:
        return std::nullopt;
    }
}

} // namespace brindmar
