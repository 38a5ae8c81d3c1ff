#pragma once

#include <QString>
#include <cstdint>

namespace brindmar {

class UiServices;

// Confirmation mode bits.
inline constexpr uint8_t kConfirmSkipOverwriteQuestion = 1;
inline constexpr uint8_t kConfirmSkipAttributeWarning = 2;
inline constexpr uint8_t kConfirmDeleteWording = 4;
// Asks only: the file stays, for a caller that replaces it whole once its new file is complete;
// the answer yes is what lets that caller's commit replace it (agreeToReplace).
inline constexpr uint8_t kConfirmAskOnly = 8;

// Results of ConfirmReplaceFile.
inline constexpr int16_t kReplaceNoSuchFile = 0;
inline constexpr int16_t kReplaceDeleted = 1; // or, asking only, agreed to
inline constexpr int16_t kReplaceCancelled = 2;
inline constexpr int16_t kReplaceDeleteFailed = 3;

// The one place that asks before a file is overwritten or deleted: unless the mode skips them,
// asks whether to overwrite an existing file and warns when it is hidden or read-only, then
// deletes it so that the caller can create it afresh. A folder counts as no file. A symbolic
// link counts as a file, even a dangling one: it is the link that is deleted, so the caller's
// new file cannot be written through it.
//
// Read-only means the user may not write the file. A privileged user may write anything, so for
// them a file that grants nobody write permission counts as read-only: the owner marked it so.
int16_t ConfirmReplaceFile(const QString& path, uint8_t mode, UiServices& ui);

// Whether anything but a folder has the name, a dangling symbolic link included: the question
// above is due for it.
bool NameTaken(const QString& path);

} // namespace brindmar
