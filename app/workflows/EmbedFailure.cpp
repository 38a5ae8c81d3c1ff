#include "workflows/EmbedDocument.h"

#include "util/ReplacementFile.h"
#include "workflows/EngineLoop.h"
#include "workflows/WorkflowContext.h"

#include <cerrno>

namespace brindmar {

namespace {

enum class Culprit { None, Carrier, Document, Output };
struct FailureMeaning {
    Culprit culprit = Culprit::None;
    Fault fault = Fault::Invalid;
};

FailureMeaning meaningOf(int32_t status) {
    switch (status) {
    case -9:
    case -29:
    case -51:
        return {Culprit::Carrier, Fault::CannotOpen};
    case -10:
    case -30:
    case -52:
        return {Culprit::Document, Fault::CannotOpen};
    case -11:
    case -31:
    case -53:
        return {Culprit::Output, Fault::CannotOpen};
    case -6:
    case -13:
    case -26:
    case -32:
    case -34:
    case -48:
    case -54:
    case -56:
        return {Culprit::Carrier, Fault::Invalid};
    case -7:
    case -12:
    case -27:
    case -33:
    case -49:
    case -55:
        return {Culprit::Document, Fault::Invalid};
    case -8:
    case -28:
    case -50:
        return {Culprit::Output, Fault::Invalid};
    case -15:
    case -36:
    case -62:
        return {Culprit::Output, Fault::CannotWrite};
    case -63:
        // A run-length carrier whose stream runs past what a 32-bit resume position reaches.
        return {Culprit::Carrier, Fault::TooLarge};
    default:
        // A damaged run-length row, in any of its forms, makes the carrier invalid.
        if (status <= -57 && status >= -61) {
            return {Culprit::Carrier, Fault::Invalid};
        }
        return {};
    }
}

// The statuses of positioning in a file being read, which is also how the engine fails a read.
bool isReadStatus(int32_t status) {
    switch (status) {
    case -12:
    case -13:
    case -32:
    case -33:
    case -34:
    case -54:
    case -55:
    case -56:
        return true;
    default:
        return false;
    }
}

} // namespace

Reason embedFailureReason(int systemError) {
    if (systemError == ENOSPC) {
        return Reason::DiskFull;
    }
    return systemError != 0 ? Reason::CannotRead : Reason::NotCarrier;
}

int engineWriteError(int systemError, const Platform& platform, const QString& folder) {
    if (systemError == ENOSPC || systemError == EDQUOT) {
        return ENOSPC;
    }
    if (systemError != 0) {
        return systemError;
    }
    return writeFailureError(platform, folder);
}

void describeEmbedFailure(Outcome& outcome, int32_t status, const QString& carrierPath,
                          const QString& documentPath, const QString& outputPath, int writeError,
                          int systemError) {
    FailureMeaning meaning = meaningOf(status);
    // A read the disk refused is no sign of a bad file: it is the disk the user must look at.
    if (systemError != 0 && isReadStatus(status)) {
        meaning.fault = Fault::CannotRead;
    }
    switch (meaning.culprit) {
    case Culprit::Carrier:
        outcome.about = carrierPath;
        break;
    case Culprit::Document:
        outcome.about = documentPath;
        break;
    case Culprit::Output:
        outcome.about = outputPath;
        break;
    case Culprit::None:
        outcome.about.clear();
        break;
    }
    outcome.fault = meaning.fault;
    outcome.error = meaning.fault == Fault::CannotWrite ? writeError : systemError;
    outcome.figure = -int64_t{status};
}

Outcome writeFailure(Task task, const QString& named, const QString& file, int error,
                     const QString& words) {
    Outcome failed = Outcome::failed(Reason::CannotWrite, named, words);
    failed.task = task;
    failed.about = file;
    failed.error = error;
    return failed;
}

Outcome timesNotKept(Task task, const QString& named, const QString& written) {
    Outcome failed = Outcome::failed(Reason::TimesNotKept, named);
    failed.task = task;
    failed.written = QStringList{written};
    return failed;
}

Outcome sealingCodeFailure(const QString& named) {
    Outcome failed = Outcome::failed(Reason::CodeLength, named);
    failed.task = Task::Seal;
    return failed;
}

} // namespace brindmar
