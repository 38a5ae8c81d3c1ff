#pragma once

// What the benchmarks share: a fixed noise source for their carriers and documents, the median,
// and the floors every ratio is taken against (the same bytes moved by plain block reads and
// writes, measured in the same run).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace bench {

inline constexpr size_t kFloorBlock = 64 * 1024;

// xorshift: the same bytes on every machine, unlike the library's distributions.
class Noise {
public:
    explicit Noise(uint64_t seed) : m_s(seed) {}
    uint32_t next() {
        m_s ^= m_s << 13;
        m_s ^= m_s >> 7;
        m_s ^= m_s << 17;
        return static_cast<uint32_t>(m_s >> 11);
    }

private:
    uint64_t m_s;
};

// The quality Qt's PNG writer takes for a deflate level: it maps quality q to level
// (100 - q) * 9 / 91, rounded down, so 100 - 10 * level would ask for one level less.
inline int qtPngQuality(int level) {
    return 100 - (91 * level + 8) / 9;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// False when either file cannot be opened or the copy cannot be written.
inline bool copyFloor(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool written = in >= 0 && out >= 0;
    std::vector<uint8_t> buf(kFloorBlock);
    ssize_t n = 0;
    while (written && (n = ::read(in, buf.data(), buf.size())) > 0) {
        written = ::write(out, buf.data(), static_cast<size_t>(n)) == n;
    }
    if (in >= 0) {
        ::close(in);
    }
    if (out >= 0) {
        ::close(out);
    }
    return written && n == 0;
}

// A sum over the bytes read, so that the reads cannot be optimised away; nullopt when the file
// cannot be opened.
inline std::optional<uint64_t> readFloor(const std::string& from) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return std::nullopt;
    }
    std::vector<uint8_t> buf(kFloorBlock);
    uint64_t sum = 0;
    ssize_t n = 0;
    while ((n = ::read(in, buf.data(), buf.size())) > 0) {
        sum += buf[static_cast<size_t>(n - 1)];
    }
    ::close(in);
    return sum;
}

// The options the benchmarks take after Google Benchmark's own: --reps=N and --scratch=DIR, the
// folder a scratch folder is made in ($TMPDIR, else /tmp). unknown names an option none takes.
struct RunOptions {
    int reps = 5;
    std::string scratchParent;
    std::string unknown;
};

inline RunOptions runOptions(int argc, char** argv, int reps = 5) {
    RunOptions options;
    options.reps = reps;
    const char* tmp = std::getenv("TMPDIR");
    options.scratchParent = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    for (int i = 1; i < argc && options.unknown.empty(); ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--reps=", 0) == 0) {
            options.reps = std::max(1, std::atoi(arg.c_str() + 7));
        } else if (arg.rfind("--scratch=", 0) == 0) {
            options.scratchParent = arg.substr(10);
        } else {
            options.unknown = arg;
        }
    }
    return options;
}

// A new folder named prefix-XXXXXX under parent; empty when it cannot be made.
inline std::string scratchFolder(const std::string& parent, const std::string& prefix) {
    std::string folder = parent + "/" + prefix + "-XXXXXX";
    return ::mkdtemp(folder.data()) != nullptr ? folder : std::string();
}

// What every benchmark starts with: its repetitions and a scratch folder of its own. An unknown
// option, or a folder that cannot be made, ends the program with one line on stderr.
struct Run {
    int reps = 5;
    std::string folder;
};

inline Run startRun(int argc, char** argv, const char* program, const std::string& prefix) {
    const RunOptions options = runOptions(argc, argv);
    if (!options.unknown.empty()) {
        std::fprintf(stderr, "%s: unknown option %s\n", program, options.unknown.c_str());
        std::exit(1);
    }
    Run run{options.reps, scratchFolder(options.scratchParent, prefix)};
    if (run.folder.empty()) {
        std::fprintf(stderr, "%s: cannot create a scratch folder under %s\n", program,
                     options.scratchParent.c_str());
        std::exit(1);
    }
    return run;
}

} // namespace bench
