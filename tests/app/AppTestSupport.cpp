#include "AppTestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

void PrintTo(const QStringList& lines, std::ostream* out) {
    *out << '{';
    for (const QString& line : lines) {
        *out << "\n  ";
        PrintTo(line, out);
    }
    *out << "\n}";
}

namespace apptest {

ScratchDir::ScratchDir() {
    if (!m_dir.isValid()) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
}

void ScratchDir::write(const QString& name, const Bytes& bytes) const {
    bmptest::writeFile(QFile::encodeName(path(name)).toStdString(), bytes);
}

void ScratchDir::write(const QString& name, const std::string& bytes) const {
    write(name, Bytes(bytes.begin(), bytes.end()));
}

std::optional<brindmar::FileTimes> FakePlatform::readFileTimes(const QString& path) const {
    const auto it = times.find(path);
    if (it == times.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool FakePlatform::writeLastWriteTime(const QString& path, int64_t seconds) const {
    writes.emplace_back(path, seconds);
    return everyFileSettable || times.count(path) != 0;
}

std::optional<uint64_t> FakePlatform::freeBytes(const QString& folder) const {
    freeAsked.push_back(folder);
    return free;
}

int64_t utcSeconds(int year, int month, int day, int hour, int minute, int second) {
    // Days from civil, independent of the code under test's own conversion.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

Bytes payloadImage(int32_t width, int32_t height, const std::string& payload) {
    Bytes bgr(static_cast<size_t>(width) * 3 * static_cast<size_t>(height));
    uint32_t state = 12345;
    for (auto& byte : bgr) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    size_t pair = 0;
    for (const char c : payload) {
        const auto value = static_cast<uint8_t>(c);
        for (int shift = 0; shift < 8 && pair < bgr.size(); shift += 2, ++pair) {
            bgr[pair] = static_cast<uint8_t>((bgr[pair] & 0xFC) | ((value >> shift) & 3));
        }
    }
    return bmptest::make24(width, height, bgr);
}

void put16(Bytes& bytes, size_t offset, uint16_t value) {
    bytes.at(offset) = static_cast<uint8_t>(value);
    bytes.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void put32(Bytes& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
    }
}

} // namespace apptest
