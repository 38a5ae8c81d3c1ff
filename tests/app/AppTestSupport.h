#pragma once

// Helpers shared by the core tests: readable QString output in failures, a scratch folder, a
// platform whose clock and disk the test decides, and carriers with a payload laid into their
// low bits by a writer of the tests' own (independent of the engine).

#include "BmpBuilder.h"
#include "util/Platform.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

void PrintTo(const QString& text, std::ostream* out);
void PrintTo(const QStringList& lines, std::ostream* out);

namespace apptest {

using bmptest::Bytes;

class ScratchDir {
public:
    ScratchDir();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path() + u'/'; }
    void write(const QString& name, const Bytes& bytes) const;
    void write(const QString& name, const std::string& bytes) const;

private:
    QTemporaryDir m_dir;
};

class FakePlatform final : public brindmar::Platform {
public:
    std::map<QString, brindmar::FileTimes> times;
    // Every file takes a time, not only those whose times are known.
    bool everyFileSettable = false;
    std::optional<uint64_t> free;
    mutable std::vector<QString> freeAsked;
    mutable std::vector<std::pair<QString, int64_t>> writes;

    std::optional<brindmar::FileTimes> readFileTimes(const QString& path) const override;
    bool writeLastWriteTime(const QString& path, int64_t seconds) const override;
    std::optional<uint64_t> freeBytes(const QString& folder) const override;
};

// Seconds since 1970 of a UTC clock reading.
int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second);

// A 24-bit carrier of width x height with deterministic colours, the payload carried in the two
// low bits of its colour bytes in file order, least significant pair first.
Bytes payloadImage(int32_t width, int32_t height, const std::string& payload);

void put16(Bytes& bytes, size_t offset, uint16_t value);
void put32(Bytes& bytes, size_t offset, uint32_t value);

} // namespace apptest
