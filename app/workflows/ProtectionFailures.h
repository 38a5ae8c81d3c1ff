#pragma once

#include "workflows/Outcome.h"

#include <cerrno>

namespace brindmar {

// How a new image failed to give its document back (Reason::NotReadBack, in detail).
namespace readback {
inline const QString kPayload = QStringLiteral("payload");      // its payload is not read
inline const QString kSeal = QStringLiteral("seal");            // the seal does not open
inline const QString kPicture = QStringLiteral("picture");      // the file is no picture
inline const QString kStealth = QStringLiteral("stealth");      // the pixels give nothing back
inline const QString kNoReader = QStringLiteral("no reader");   // nothing to decode it with
inline const QString kCoder = QStringLiteral("coder");          // the coder's own check failed
inline const QString kAsWritten = QStringLiteral("as written"); // the file differs from memory
} // namespace readback

// A decode that needs more memory for a progressive JPEG (Reason::PictureTooDeep, in detail).
inline const QString kProgressive = QStringLiteral("progressive");

// A seal's or a stealth coder's failure, about the file named, for a front end to word.
inline Outcome protectionFailure(Reason reason, const QString& about = {},
                                 const QString& detail = {}, int error = 0) {
    Outcome failed = Outcome::failed(reason, {}, detail);
    failed.about = about;
    failed.error = error;
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
    return failure;
}

} // namespace brindmar
