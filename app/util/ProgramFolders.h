#pragma once

#include <QString>
#include <functional>

namespace brindmar {

// The program folder as the program names it: proper-cased, with the product folder spelt the
// product's way, and ending in a separator. File systems here tell case apart, so the
// proper-cased spelling is only taken when it still names the folder the program runs from.
QString programFolderFrom(const QString& startFolder,
                          const std::function<bool(const QString&)>& namesStartFolder);
QString programFolderFrom(const QString& startFolder);

// The product folder's name comes out of proper-casing with a small m; put it back.
QString withProductFolderSpelling(const QString& folder);

// Where the engine library and the program's data (help/ and the sounds) are. In the build tree
// they sit beside the program; installed, the engine is a private library and the data is shared,
// each at a fixed place relative to the program's folder. What is found beside the program wins;
// otherwise the installed place is named, found or not, so that a message about a missing file
// points where the file belongs. The engine's folder ends in a separator; a data entry is the
// path of the file or folder of that name.
QString engineFolder(const QString& programFolder);
QString dataEntry(const QString& programFolder, const QString& name);

// Where embedded images go when no usable folder is stored. A program run from a folder of the
// user's own keeps "Output" beside itself (created when missing), else that folder itself. An
// installed program (a system folder, or one the user cannot write) never writes beside itself:
// what it leaves there outlives its removal. Its images go to "BrindMar" in the user's pictures
// folder, else to "Output" in the user's data folder; neither is made here, only when the first
// file is written into it (makeOutputFolder), so that a window merely opened leaves nothing
// behind. Every result ends in a separator.
QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder, const QString& picturesFolder);
// The same with the user's pictures folder as the desktop names it (XDG_PICTURES_DIR).
QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder);

// Makes a missing output folder, with its missing parents, just before a file goes into it. True
// when the folder is there afterwards.
bool makeOutputFolder(const QString& folder);

// Installed with the system: under /usr, /opt, /bin and their kind, or not writable by the user.
bool isSystemFolder(const QString& folder);

// A stored folder that still exists is taken as stored (with its separator made sure of);
// otherwise the fallback.
QString existingFolderOr(const QString& stored, const QString& fallback);

// The user's data folder for the program (XDG_DATA_HOME, else ~/.local/share, then the product
// name), not created.
QString userDataFolder();

// A folder only this user can read, for the work files that hold the user's document: created
// with mode 0700 under XDG_RUNTIME_DIR, else TMPDIR or /tmp. When another user owns the folder of
// that name, a folder of a random name is made instead. Ends in a separator; empty when no such
// folder can be had.
QString privateTemporaryFolder();

} // namespace brindmar
