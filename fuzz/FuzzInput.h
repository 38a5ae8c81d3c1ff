#pragma once

// Shared by the fuzz targets and the seed generator, so that seeds decode to exactly the
// arguments they were written for.
//
// Every numeric argument is coded as one selector byte and four value bytes (little endian).
// The selector's low two bits pick how the value is read, so that the fuzzer reaches small,
// negative, 16-bit wrapped and extreme values with single-byte mutations:
//   0  exact: the value as written, folded into the argument's range
//   1  tiny: 0 to 16
//   2  tiny negative: -1 to -17
//   3  16-bit arguments: the value's low half, plus a multiple of 65536 taken from the
//      selector's upper bits (the engine must read only the low half);
//      32-bit arguments: one of the range's edges

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace fuzzin {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<uint32_t>(byte()) << (8 * i);
        }
        return v;
    }

    uint16_t u16() {
        const uint32_t lo = byte();
        return static_cast<uint16_t>(lo | (static_cast<uint32_t>(byte()) << 8));
    }

    std::vector<uint8_t> take(size_t n) {
        const size_t k = n < size_ - pos_ ? n : size_ - pos_;
        std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + k);
        pos_ += k;
        return out;
    }

    std::vector<uint8_t> rest() { return take(size_ - pos_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Folds v into [lo, hi] (lo <= hi) keeping values already inside unchanged.
inline int32_t fold(int64_t v, int32_t lo, int32_t hi) {
    if (v >= lo && v <= hi) {
        return static_cast<int32_t>(v);
    }
    const int64_t span = static_cast<int64_t>(hi) - lo + 1;
    int64_t r = (v - lo) % span;
    if (r < 0) {
        r += span;
    }
    return static_cast<int32_t>(lo + r);
}

// The value a 16-bit argument has once the engine has read it.
inline int32_t low16(int32_t v) {
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu));
}

struct Arg16 {
    int32_t passed; // what goes into the 32-bit slot
    int32_t seen;   // what the engine must read from it
};

// A 16-bit argument whose read value lies in [lo, hi] (within -32768 to 32767).
inline Arg16 arg16(Reader& in, int32_t lo, int32_t hi) {
    const uint8_t sel = in.byte();
    const uint32_t raw = in.u32();
    int32_t seen = 0;
    switch (sel & 3) {
    case 0:
        seen = fold(static_cast<int32_t>(raw), lo, hi);
        break;
    case 1:
        seen = fold(raw % 17, lo, hi);
        break;
    case 2:
        seen = fold(-static_cast<int64_t>(raw % 17) - 1, lo, hi);
        break;
    default:
        seen = fold(low16(static_cast<int32_t>(raw)), lo, hi);
        break;
    }
    int32_t passed = seen;
    if ((sel & 3) == 3) {
        // A nonzero multiple of 65536, positive or negative, so the high half is never clean.
        const int32_t k = static_cast<int8_t>(sel & 0xFC) / 4;
        const uint32_t high = static_cast<uint32_t>(k == 0 ? 1 : k) << 16;
        passed = static_cast<int32_t>(static_cast<uint32_t>(seen) + high);
    }
    return {passed, seen};
}

// A 32-bit argument in [lo, hi].
inline int32_t arg32(Reader& in, int32_t lo, int32_t hi) {
    const uint8_t sel = in.byte();
    const uint32_t raw = in.u32();
    switch (sel & 3) {
    case 0:
        return fold(static_cast<int32_t>(raw), lo, hi);
    case 1:
        return fold(raw % 17, lo, hi);
    case 2:
        return fold(-static_cast<int64_t>(raw % 17) - 1, lo, hi);
    default: {
        const int64_t edges[] = {
            lo, hi, 0, 1, -1, static_cast<int64_t>(lo) + 1, static_cast<int64_t>(hi) - 1};
        return fold(edges[raw % (sizeof edges / sizeof edges[0])], lo, hi);
    }
    }
}

// Writers for the seed generator: an exact value (selector 0).
inline void put32(std::vector<uint8_t>& out, int32_t v) {
    out.push_back(0);
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

// An exact 16-bit value passed with its high half set, to exercise the engine's truncation.
inline void put16Wrapped(std::vector<uint8_t>& out, int16_t v, int8_t k) {
    out.push_back(static_cast<uint8_t>((k * 4) | 3));
    const auto u = static_cast<uint32_t>(static_cast<uint16_t>(v));
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

inline void fail(const char* what, long long a, long long b) {
    std::fprintf(stderr, "invariant violated: %s (%lld vs %lld)\n", what, a, b);
    std::abort();
}

// Bytes of one 24-bit output row: colour bytes plus the padding the engine writes after them.
// For a negative width no colour byte is written; the padding formula then yields a small
// count the engine may or may not honour, bounded by 3 * |width| + 3.
inline int64_t outRowBytesBound(int32_t width) {
    const int64_t c = 3 * static_cast<int64_t>(width);
    if (width > 0) {
        return ((c - 1) / 4) * 4 + 4;
    }
    return -c + 3;
}

// One scratch folder per process, made on first use and removed at exit, so parallel fuzzing
// jobs never share files and a long campaign does not litter the temp folder.
inline const std::string& workDir() {
    // Never destroyed: the exit handler below still needs it after static destructors ran.
    static const std::string* const dir = [] {
        // Memory-backed by default: every run rewrites its files from empty, which a disk file
        // system may turn into real writes (ext4 flushes a truncated-and-rewritten file on
        // close), cutting the run rate by an order of magnitude.
        const char* env = std::getenv("TMPDIR");
        std::string base = env != nullptr && *env != '\0' ? env : "";
        if (base.empty()) {
            std::error_code ec;
            base = std::filesystem::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                       ? "/dev/shm"
                       : "/tmp";
        }
        auto* path = new std::string(base + "/brindmar-fuzz-XXXXXX");
        if (mkdtemp(path->data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(workDir(), ec);
        });
        return path;
    }();
    return *dir;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, f) != size) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(f);
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    writeFile(path, bytes.data(), bytes.size());
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> out;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    uint8_t buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.insert(out.end(), buf, buf + n);
    }
    std::fclose(f);
    return out;
}

// -1 when the file does not exist.
inline int64_t fileSize(const std::string& path) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<int64_t>(n);
}

} // namespace fuzzin
