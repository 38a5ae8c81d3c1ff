#pragma once

#include "workflows/Outcome.h"

#include <cerrno>

namespace brindmar {

// A seal's or a stealth coder's failure, about the file named, for a front end to word.
inline Outcome protectionFailure(Reason reason, const QString& about = {},
                                 const QString& detail = {}, int error = 0) {
    Outcome failed = Outcome::failed(reason, {}, detail);
    failed.about = about;
    failed.error = error;
    return failed;
}
inline Outcome protectionFailure(Reason reason, const QString& about, Cause cause) {
    Outcome failed = protectionFailure(reason, about);
    failed.cause = cause;
    return failed;
}

// A file that could not be written: the errno, never none.
inline Outcome notWritten(Reason reason, const QString& about, int error) {
    return protectionFailure(reason, about, {}, error != 0 ? error : EIO);
}

// A seal's or a coder's failure as the end of the command of task on subject; unwritten names
// the file a failed check of it kept from being written.
inline Outcome failedIn(Task task, const QString& subject, Outcome failure,
                        const QString& unwritten = {}) {
    failure.task = task;
    failure.subject = subject;
    failure.unwritten = unwritten;
    // A failure left as it was built is still one: it never ends the command a success.
    if (failure.done()) {
        failure.ending = Ending::Failed;
    }
    return failure;
}

} // namespace brindmar
