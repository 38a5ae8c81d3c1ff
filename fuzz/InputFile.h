#pragma once

// The fuzz input as a file, for targets whose code under test reads files by path.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzfile {

inline std::string& pathStorage() {
    static std::string path;
    return path;
}

inline void removeInput() {
    if (!pathStorage().empty()) {
        std::remove(pathStorage().c_str());
    }
}

// One file per process, rewritten for every input, so parallel fuzzing jobs never share it.
inline const std::string& inputPath(const char* stem) {
    std::string& path = pathStorage();
    if (path.empty()) {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                              "/" + stem + "_fuzz_XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        ::close(fd);
        path = pattern;
        std::atexit(removeInput);
    }
    return path;
}

inline void writeInput(const char* stem, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(inputPath(stem).c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
        std::perror("writing the fuzz input");
        std::abort();
    }
    std::fclose(file);
}

} // namespace fuzzfile
