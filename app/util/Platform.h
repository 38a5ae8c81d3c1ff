#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace brindmar {

// File times in whole seconds since 1970-01-01 UTC; finer parts are below what the stored date
// field can keep anyway.
struct FileTimes {
    int64_t creation = 0; // the birth time where the file system keeps one, else the last write
    int64_t lastAccess = 0;
    int64_t lastWrite = 0;
};

// What the operations ask of the operating system, behind one small interface so that tests
// can stand in for a full disk or a file system without birth times.
class Platform {
public:
    virtual ~Platform() = default;

    // nullopt when the file cannot be opened for reading.
    virtual std::optional<FileTimes> readFileTimes(const QString& path) const = 0;

    // Sets the last-write time and keeps the access time; false when the file cannot be opened
    // for writing. A creation time cannot be set on every system, so it is not offered.
    virtual bool writeLastWriteTime(const QString& path, int64_t seconds) const = 0;

    // Bytes this user may still write on the file system that holds the folder (or, for a
    // folder not created yet, its nearest existing parent); nullopt when unknown.
    virtual std::optional<uint64_t> freeBytes(const QString& folder) const = 0;
};

} // namespace brindmar
