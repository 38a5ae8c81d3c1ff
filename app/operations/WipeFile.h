#pragma once

#include <QString>
#include <cstdint>
#include <functional>

namespace brindmar {

class Engine;
class UiServices;

// The mode for the program's own work files: no overwrite question, no attribute warning.
inline constexpr uint8_t kWipeQuietly = 3;

// Results of WipeAndDeleteFile.
inline constexpr int16_t kWipeDone = -1;        // overwritten and deleted (or gone already)
inline constexpr int16_t kWipeKept = 0;         // overwritten; the user kept the emptied file
inline constexpr int16_t kWipeFailed = 1;       // not found, or not overwritten
inline constexpr int16_t kWipeDeleteFailed = 2; // overwritten, but the delete failed

// What the wipe does to the main window; an empty function is skipped.
struct WipeWindowHooks {
    std::function<void()> resetWindow; // runs once the file is found
    std::function<void(const QString&)> showProcessCaption;
    std::function<void()> hideProcessCaption;
};

// Why the file must not be wiped: a symbolic link or a file with other names (hard links),
// whose contents the overwrite would destroy under a name nobody chose; names counts them.
struct WipeRefusal {
    enum class Kind { None, Link, OtherNames } kind = Kind::None;
    uint64_t names = 0;
    explicit operator bool() const { return kind != Kind::None; }
};
WipeRefusal wipeRefusal(const QString& path);

// Overwrites the file with zero bytes through the engine and then deletes it, without the
// overwrite question; the attribute warning is asked unless mode has kConfirmSkipAttributeWarning.
// A file the engine cannot open for writing is reported as a failure and left in place: deleting
// it would let the user believe its contents had been destroyed. A file of 2 GiB or more is
// refused for the same reason, since the engine's count cannot cover it, and so is a file
// wipeRefusal names. An empty file has nothing to overwrite and is simply deleted.
// The overwrite is a best effort: it reaches the file's own blocks, not copies the file system
// or the disk may keep elsewhere.
int16_t WipeAndDeleteFile(const QString& path, uint8_t mode, Engine& engine, UiServices& ui,
                          const WipeWindowHooks& hooks);

} // namespace brindmar
