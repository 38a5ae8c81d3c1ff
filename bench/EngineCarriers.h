#pragma once

// The engine benchmark's inputs: full-size carriers of the three kinds the engine embeds into
// (24-bit, 8-bit palette, 8-bit run-length encoded) and a document of noise.

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace engine_bench {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kDocLength = 8 * 1024 * 1024;
constexpr int32_t kPaletteOffset = 54 + 4 * 256;

inline int32_t stride24() {
    return (3 * kWidth + 3) / 4 * 4;
}
inline int32_t stride8() {
    return (kWidth + 3) / 4 * 4;
}

// A file written whole, every failure thrown.
class OutFile {
public:
    explicit OutFile(const std::string& path) : m_f(std::fopen(path.c_str(), "wb")), m_path(path) {
        if (m_f == nullptr) {
            throw std::runtime_error("cannot create " + path);
        }
    }
    ~OutFile() {
        if (m_f != nullptr) {
            std::fclose(m_f);
        }
    }
    OutFile(const OutFile&) = delete;
    OutFile& operator=(const OutFile&) = delete;

    void write(const std::vector<uint8_t>& b) { write(b.data(), b.size()); }
    void write(const uint8_t* p, size_t n) {
        if (std::fwrite(p, 1, n, m_f) != n) {
            throw std::runtime_error("cannot write " + m_path);
        }
    }
    void rewriteAt(long pos, const std::vector<uint8_t>& b) {
        if (std::fseek(m_f, pos, SEEK_SET) != 0) {
            throw std::runtime_error("cannot seek in " + m_path);
        }
        write(b);
    }

private:
    std::FILE* m_f;
    std::string m_path;
};

std::vector<uint8_t> bmpHeaders(int32_t width, int32_t height, int bits, uint32_t compression,
                                uint32_t dataOffset, uint32_t imageBytes);
void makeCarrier24(const std::string& path);
void makeCarrier8(const std::string& path);
void makeCarrierRle(const std::string& path);
void makeDocument(const std::string& path);

} // namespace engine_bench
