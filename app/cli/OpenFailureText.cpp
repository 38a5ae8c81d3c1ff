#include "cli/OpenFailureText.h"

#include "util/DrawFault.h"
#include "util/ReplacementFile.h"
#include "workflows/WorkflowContext.h"

namespace brindmar::cli {

std::optional<QString> openFailureLine(const Outcome& outcome) {
    if (outcome.task != Task::Open) {
        return std::nullopt;
    }
    const QString& file = outcome.subject;
    switch (outcome.reason) {
    case Reason::NotBmpFile:
        return file + QStringLiteral(": is not a BMP file");
    case Reason::CannotOpen:
        return file + QStringLiteral(": cannot be opened") + systemReason(outcome.error);
    case Reason::CannotRead:
        return file + QStringLiteral(": cannot be read") + systemReason(outcome.error);
    case Reason::NotShown: {
        // The window's words, which name the file only with the decoder's reason.
        const QString why = drawFaultText(DrawFault(outcome.figure), outcome.error);
        return why.isEmpty() ? tr(TextId::ProcessingFailureUnknown)
                             : tr(TextId::ProcessingFailure) + file + QStringLiteral(" - ") + why;
    }
    default:
        return std::nullopt;
    }
}

} // namespace brindmar::cli
