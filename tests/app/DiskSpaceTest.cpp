#include "operations/DiskSpace.h"
#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "util/LinuxPlatform.h"

#include <gtest/gtest.h>

using namespace brindmar;
using brindmar::testing::FakeUiServices;

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
// 32-bit range passes everything up to it.
const SpaceCase kSpaceCases[] = {
    {std::nullopt, kMax, true},
    {1000, 1000, true},
    {1000, 1001, false},
    {0, 0, true},
    {0, 1, false},
    {10'000'000'000ULL, kMax, true},
};

TEST(CheckSpace, PassesOrFailsOnTheNeededBytes) {
    for (const SpaceCase& c : kSpaceCases) {
        apptest::FakePlatform platform;
        platform.free = c.free;
        FakeUiServices ui;
        EXPECT_EQ(CheckTempSpace(ui, platform, QStringLiteral("/tmp/"), c.needed), c.passes)
            << c.needed;
        EXPECT_EQ(CheckOutputSpace(ui, platform, QStringLiteral("/out/"), c.needed), c.passes)
            << c.needed;
        EXPECT_EQ(ui.messages().size(), c.passes ? 0u : 2u);
    }
}

TEST(CheckSpace, TempFolderMessageWithBeepsWhenSoundIsOff) {
    apptest::FakePlatform platform;
    platform.free = 100;
    FakeUiServices ui(false);
    ui.setMousePointer(MousePointer::Hourglass);

    EXPECT_FALSE(CheckTempSpace(ui, platform, QStringLiteral("/run/user/1000/brindmar/"), 101));

    EXPECT_EQ(ui.transcript(),
              QStringList({QStringLiteral("beep 2"),
                           QStringLiteral("message Critical|Disk Space Problem|"
                                          "The Hard Disk used for temporary files has insufficient "
                                          "space for  \\nBrindMar to run.\n"
                                          "Space available on drive /run/user/1000/brindmar/ = 100 "
                                          "bytes.\n"
                                          "Please re-run after freeing-up disk space.")}));
    EXPECT_EQ(ui.mousePointer(), MousePointer::Default);
}

TEST(CheckSpace, OutputMessageNamesTheFolderAsPassedWithTheErrorSound) {
    apptest::FakePlatform platform;
    platform.free = 12;
    FakeUiServices ui(true);

    EXPECT_FALSE(CheckOutputSpace(ui, platform, QStringLiteral(" /media/usb/"), 13));

    EXPECT_EQ(ui.transcript(),
              QStringList({QStringLiteral("sound Error"),
                           QStringLiteral("message Critical|Disk Space Problem|"
                                          "The disk for the output file has insufficient space.\n"
                                          "Space available on drive  /media/usb/ = 12 bytes.\n"
                                          "Please re-run after freeing-up disk space.")}));
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
