#pragma once

#include "operations/ZipService.h"
#include "workflows/Outcome.h"

namespace brindmar {

// The zip service's own words for the step an outcome's fault names; empty where the fault is
// not the zip service's, or the service said nothing. Both front ends quote them as they are.
inline QString zipServiceWords(const Outcome& outcome) {
    const int status = static_cast<int>(outcome.figure);
    switch (outcome.fault) {
    case Fault::ZipNotMade:
        return zipStepFailureText(ZipStep::Create, status, outcome.error);
    case Fault::NotZip:
        return zipStepFailureText(ZipStep::NotZip, status, outcome.error);
    case Fault::Zipping:
        return zipStepFailureText(ZipStep::Zip, status, outcome.error);
    case Fault::Unzipping:
        return zipStepFailureText(ZipStep::Unzip, status, outcome.error);
    default:
        return {};
    }
}

} // namespace brindmar
