#pragma once

#include "workflows/ZipFaultStep.h"

namespace brindmar::cli {

// What the zip service said of the step that failed, quoted as it said it: its status in figure,
// the errno behind it in error; empty where the fault is not the service's.
inline QString zipServiceWords(Fault fault, int64_t figure, int error) {
    const std::optional<ZipStep> step = zipStepOf(fault);
    return step ? zipStepFailureText(*step, static_cast<int>(figure), error) : QString();
}

inline QString zipServiceWords(const Outcome& outcome) {
    return zipServiceWords(outcome.fault, outcome.figure, outcome.error);
}

} // namespace brindmar::cli
