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

// Where embedded images go when no usable folder is stored: "Output" under the program folder,
// created when missing, else the program folder itself. An installed program's folder is
// usually not the user's to write, so when neither can be written the same "Output" is made
// in the user's data folder instead. Every result ends in a separator.
QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder);

// A stored folder that still exists is taken as stored (with its separator made sure of);
// otherwise the fallback.
QString existingFolderOr(const QString& stored, const QString& fallback);

// The user's data folder for the program (XDG_DATA_HOME, else ~/.local/share, then the product
// name), not created.
QString userDataFolder();

// A folder only this user can read, for the work files that hold the user's document: created
// with mode 0700 under XDG_RUNTIME_DIR, else TMPDIR or /tmp, and refused when another user owns
// it. Ends in a separator; empty when no such folder can be had.
QString privateTemporaryFolder();

} // namespace brindmar
