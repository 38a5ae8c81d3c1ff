#pragma once

#include <QString>

namespace brindmar {

// Work files hold the user's document in the clear, so none may outlive the run that made them,
// not even a run that was killed. Each run works in a folder of its own, made with a random name
// inside the private folder and locked (flock) for as long as the run lives: the kernel drops the
// lock when the process dies, however it dies, so a later run that can take the lock knows the
// folder's owner is gone and wipes the folder.

// Sweeps the private folder of the work folders of runs that are no longer alive, then makes and
// locks this run's folder. Ends in a separator; empty when no folder can be had.
QString claimRunFolder(const QString& privateFolder);

// Wipes and removes a folder claimed above, and drops its lock; any other folder is left alone.
void releaseRunFolder(const QString& runFolder);

// Wipes and removes every folder or file in privateFolder that no live run holds. The number of
// entries removed.
int sweepStaleRunFolders(const QString& privateFolder);

// The program's own part files and unpacking folders in a user's folder (".brindmar-" names,
// owned by this user) that no live run holds any more: wiped and removed. The number removed.
int sweepStaleParts(int folderFd);

// Notes in this run's folder that it unpacks into folder, through the staging folder name
// there, so that if the run dies, the next start undoes what it left half done and sweeps the
// staging folder. The record's path (removed when the unpacking ends), or empty.
QString recordUnpacking(const QString& runFolder, const QString& folder, const QByteArray& name);

// True when name is one of the program's own part files or unpacking folders: one that
// partName made, which carries a check of its own random part.
bool isOwnPartName(const char* name);

// A new random name for a part file or an unpacking folder: short, so that it fits beside any
// target whose own name is legal.
QByteArray partName(const char* suffix);

// Overwrites a regular file in place with zeros, flushes, then removes it; a folder is emptied
// the same way and removed. Links are removed, never followed. False when anything stays.
bool wipeEntry(int folderFd, const char* name);

} // namespace brindmar
