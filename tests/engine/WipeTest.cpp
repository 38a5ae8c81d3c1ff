// wipefile: the file ends up as byteCount zero bytes, or is left alone.

#include "TestSupport.h"
#include "Unprivileged.h"
#include "vokbfn1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

namespace enginetest {
namespace {

TEST(Wipe, LeavesExactlyByteCountZeros) {
    struct Case {
        const char* what;
        std::optional<size_t> before; // size of the file beforehand; none: no file
        int32_t byteCount;
        int32_t status;
        std::optional<Bytes> after; // none: still no file
    };
    const Case cases[] = {
        {"same length", 1000, 1000, -1, Bytes(1000, 0)},
        {"nothing to do", 1000, 0, 0, Bytes(1000, 'x')},
        {"negative count empties", 1000, -5, -1, Bytes{}},
        {"shorter count truncates", 1000, 10, -1, Bytes(10, 0)},
        {"longer count grows", 10, 1000, -1, Bytes(1000, 0)},
        {"missing file is created", std::nullopt, 5, -1, Bytes(5, 0)},
        {"missing file and count 0", std::nullopt, 0, 0, std::nullopt},
    };
    TempDir dir;
    const std::string path = dir.file("secret.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(path);
        if (c.before) {
            bmptest::writeFile(path, Bytes(*c.before, 'x'));
        }
        EXPECT_EQ(wipefile(c.byteCount, path.c_str()), c.status);
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
