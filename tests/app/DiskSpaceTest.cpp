#include "operations/DiskSpace.h"
#include "AppTestSupport.h"
#include "util/LinuxPlatform.h"

#include <gtest/gtest.h>

using namespace brindmar;

namespace {

constexpr int32_t kMax = 2147483647;

TEST(DriveFreeBytes, CapsAtTheLargest32BitValueAndReportsUnknownAsMinusOne) {
    const std::pair<std::optional<uint64_t>, int32_t> cases[] = {
        {std::nullopt, -1},
        {0, 0},
        {4096, 4096},
        {uint64_t{kMax}, kMax},
        {uint64_t{kMax} + 1, kMax},
        {5'000'000'000'000ULL, kMax},
    };
    for (const auto& [free, expected] : cases) {
        apptest::FakePlatform platform;
        platform.free = free;
        EXPECT_EQ(DriveFreeBytes(platform, QStringLiteral(" /tmp/work/ ")), expected);
        ASSERT_EQ(platform.freeAsked.size(), 1u);
        EXPECT_EQ(platform.freeAsked[0], QStringLiteral("/tmp/work/"));
    }
}

TEST(DriveFreeBytes, EmptyTextIsUnknownWithoutAskingTheSystem) {
    apptest::FakePlatform platform;
    platform.free = 100;
    EXPECT_EQ(DriveFreeBytes(platform, QStringLiteral("   ")), -1);
    EXPECT_TRUE(platform.freeAsked.empty());
}

struct SpaceCase {
    std::optional<uint64_t> free;
    int32_t needed;
    bool passes;
};

// Unknown space never blocks, equal space passes, one byte short fails, and a disk beyond the
// 32-bit range passes everything up to it. A shortage names the folder as it was passed.
const SpaceCase kSpaceCases[] = {
    {std::nullopt, kMax, true},
    {1000, 1000, true},
    {1000, 1001, false},
    {0, 0, true},
    {0, 1, false},
    {10'000'000'000ULL, kMax, true},
};

TEST(SpaceShortage, OnlyWhenTheNeededBytesAreNotFree) {
    for (const SpaceCase& c : kSpaceCases) {
        apptest::FakePlatform platform;
        platform.free = c.free;
        const auto work = TempSpaceShortage(platform, QStringLiteral("/tmp/"), c.needed);
        const auto output = OutputSpaceShortage(platform, QStringLiteral(" /media/usb/"), c.needed);
        ASSERT_EQ(!work, c.passes) << c.needed;
        ASSERT_EQ(!output, c.passes) << c.needed;
        if (!c.passes) {
            EXPECT_EQ(work->folder, QStringLiteral("/tmp/"));
            EXPECT_TRUE(work->workFolder);
            EXPECT_EQ(output->folder, QStringLiteral(" /media/usb/"));
            EXPECT_FALSE(output->workFolder);
            EXPECT_EQ(output->freeBytes, int32_t(*c.free));
        }
    }
}

TEST(LinuxPlatformFreeBytes, AsksTheFileSystemOfTheFolderOrItsNearestParent) {
    const LinuxPlatform platform;
    apptest::ScratchDir dir;
    EXPECT_TRUE(platform.freeBytes(dir.folder()));
    EXPECT_TRUE(platform.freeBytes(dir.folder() + QStringLiteral("not/made/yet/")));
    EXPECT_FALSE(platform.freeBytes(QStringLiteral("relative/folder")));
    EXPECT_FALSE(platform.freeBytes(QString()));
}

} // namespace
