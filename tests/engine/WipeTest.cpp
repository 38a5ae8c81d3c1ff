// wipefile: the file's own blocks hold zeros on the disk and it ends at byteCount, or it is left
// alone.

#include "Streams.h"
#include "TestSupport.h"
#include "Unprivileged.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace enginetest {
namespace {

TEST(Wipe, LeavesExactlyByteCountZeros) {
    struct Case {
        const char* what;
        std::optional<size_t> before; // size of the file beforehand; none: no file
        int32_t byteCount;
        int32_t status;
        std::optional<Bytes> after; // none: still no file
        int syncFault = 0;          // the errno the sync fails with
    };
    const Case cases[] = {
        {"same length", 1000, 1000, -1, Bytes(1000, 0)},
        {"nothing to do", 1000, 0, 0, Bytes(1000, 'x')},
        {"negative count empties", 1000, -5, -1, Bytes{}},
        {"shorter count truncates", 1000, 10, -1, Bytes(10, 0)},
        {"longer count grows", 10, 1000, -1, Bytes(1000, 0)},
        {"missing file is not created", std::nullopt, 5, -6, std::nullopt},
        {"missing file and count 0", std::nullopt, 0, 0, std::nullopt},
        // Zeros the disk never got are no wipe: the caller must not delete the file.
        {"a sync that fails is not done", 1000, 1000, -6, Bytes(1000, 0), EIO},
    };
    TempDir dir;
    const std::string path = dir.file("secret.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        if (c.before) {
            bmptest::writeFile(path, Bytes(*c.before, 'x'));
        }
        vokb::failNextSync(c.syncFault);
        EXPECT_EQ(wipefile(c.byteCount, path.c_str()), c.status);
        vokb::failNextSync(0);
        if (c.after) {
            EXPECT_EQ(bmptest::readFile(path), *c.after);
        } else {
            EXPECT_FALSE(std::filesystem::exists(path));
        }
    }
}

TEST(Wipe, EmptyPathDoesNothing) {
    EXPECT_EQ(wipefile(10, ""), 0);
    EXPECT_EQ(wipefile(10, nullptr), 0);
}

TEST(Wipe, UnwritablePathsFail) {
    TempDir dir;
    EXPECT_EQ(wipefile(10, dir.file("").c_str()), -6); // a folder
    EXPECT_EQ(wipefile(10, dir.file("no-such-folder/file.bin").c_str()), -6);
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(wipefile(10, dir.file("fifo").c_str()), -6); // neither stalls nor taken for a file
}

// The file's extents as the file system maps them, after a sync or as they are now; nullopt
// where the file system cannot say (tmpfs has no FIEMAP).
std::optional<std::vector<fiemap_extent>> extentsOf(const std::string& path, bool syncFirst) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    if (syncFirst) {
        fsync(fd);
    }
    constexpr uint32_t kMaxExtents = 256;
    std::vector<uint64_t> storage(
        (sizeof(fiemap) + kMaxExtents * sizeof(fiemap_extent)) / sizeof(uint64_t) + 1);
    auto* map = reinterpret_cast<fiemap*>(storage.data());
    map->fm_start = 0;
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_extent_count = kMaxExtents;
    const int result = ioctl(fd, FS_IOC_FIEMAP, map);
    close(fd);
    if (result != 0 || map->fm_mapped_extents == 0) {
        return std::nullopt;
    }
    return std::vector<fiemap_extent>(map->fm_extents, map->fm_extents + map->fm_mapped_extents);
}

// A truncating wipe hands the old blocks back with the document in them and leaves its zeros in
// the page cache, where the delete drops them: the same blocks must hold zeros on the disk.
TEST(Wipe, OverwritesTheFilesOwnBlocksOnTheDisk) {
    // The system's temporary folder may be tmpfs; the build folder is on a disk.
    TempDir temporary;
    const std::filesystem::path buildFolder =
        std::filesystem::path(ENGINE_TEST_BINARY_DIR) / ("wipe-" + std::to_string(getpid()));
    std::filesystem::create_directories(buildFolder);
    const std::string candidates[] = {temporary.file("secret.bin"),
                                      (buildFolder / "secret.bin").string()};
    std::mt19937 rng(23);
    const Bytes secret = randomBytes(rng, 300 * 1024 + 17);
    std::string path;
    std::optional<std::vector<fiemap_extent>> before;
    for (const std::string& candidate : candidates) {
        bmptest::writeFile(candidate, secret);
        before = extentsOf(candidate, true);
        if (before) {
            path = candidate;
            break;
        }
    }
    if (!before) {
        std::filesystem::remove_all(buildFolder);
        GTEST_SKIP() << "neither the temporary nor the build folder maps extents (no FIEMAP)";
    }
    EXPECT_EQ(wipefile(static_cast<int32_t>(secret.size()), path.c_str()), -1);
    const std::optional<std::vector<fiemap_extent>> after = extentsOf(path, false);
    EXPECT_EQ(bmptest::readFile(path), Bytes(secret.size(), 0));
    std::filesystem::remove_all(buildFolder);

    ASSERT_TRUE(after);
    ASSERT_EQ(after->size(), before->size());
    constexpr uint32_t kNotOnDisk =
        FIEMAP_EXTENT_UNWRITTEN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_UNKNOWN;
    for (size_t i = 0; i < after->size(); ++i) {
        const fiemap_extent &was = (*before)[i], &is = (*after)[i];
        EXPECT_EQ(std::pair(is.fe_physical, is.fe_length),
                  std::pair(was.fe_physical, was.fe_length))
            << i;
        EXPECT_EQ(is.fe_flags & kNotOnDisk, 0u) << i << ' ' << std::hex << is.fe_flags;
    }
}

TEST(Wipe, SymbolicLinkIsRefusedAndItsTargetKept) {
    TempDir dir;
    const std::string target = dir.file("target.bin");
    const std::string link = dir.file("link.bin");
    bmptest::writeFile(target, Bytes(100, 'x'));
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(wipefile(100, link.c_str()), -6);
    EXPECT_EQ(bmptest::readFile(target), Bytes(100, 'x'));
}

TEST(Wipe, ReadOnlyFileIsLeftAlone) {
    TempDir dir;
    ASSERT_TRUE(testsupport::handOverFolder(dir.file("")));
    const std::string path = dir.file("readonly.bin");
    testsupport::runUnprivileged([&] {
        bmptest::writeFile(path, Bytes(100, 'x'));
        std::filesystem::permissions(path, std::filesystem::perms::owner_read);
        EXPECT_EQ(wipefile(100, path.c_str()), -6);
        EXPECT_EQ(bmptest::readFile(path), Bytes(100, 'x'));
    });
}

} // namespace
} // namespace enginetest
