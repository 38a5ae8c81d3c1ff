#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace brindmar {

// An unpacking moves its members into the user's folder one by one. Before the first move it
// writes down what each move will do, so that a run killed among them leaves a record from which
// the next run puts the folder back as it was: all of the archive or none of it.
//
// The staging folder holds the members under "m/" and the record beside them, where no member
// name can reach it.
inline constexpr char kStagedMembers[] = "m";

struct SwapStep {
    QByteArray path;       // relative to the staging members and to the target folder alike
    bool folder = false;   // a folder the unpacking makes in the target
    bool replaced = false; // a file that takes the place of one of the user's
    uint64_t inode = 0;    // of the new member, which tells whether it moved yet
};

// Written and flushed to disk in the staging folder; false when it could not be.
bool writeSwapJournal(int stagingFd, const std::vector<SwapStep>& steps);
// The moves are complete or undone: the record goes.
void dropSwapJournal(int stagingFd);
// Undoes whatever moved of an interrupted unpacking whose staging folder is stagingFd, in the
// target folder targetFd: a replaced file swaps back into its place, a new one goes back into the
// staging folder, a folder made for it is removed when empty. Nothing when there is no record.
void undoInterruptedSwap(int targetFd, int stagingFd);

} // namespace brindmar
