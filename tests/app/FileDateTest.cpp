#include "payload/FileDate.h"
#include "AppTestSupport.h"
#include "payload/DosDateTime.h"
#include "util/LinuxPlatform.h"

#include <QFile>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brindmar;
using apptest::utcSeconds;

namespace {

struct DosCase {
    int64_t seconds;
    uint16_t date;
    uint16_t time;
};

TEST(DosDateTime, ConvertsTheClockReadingWithoutTimeZone) {
    const DosCase cases[] = {
        {utcSeconds(1980, 1, 1, 0, 0, 0), 0x0021, 0x0000},
        {utcSeconds(2017, 1, 1, 16, 0, 0), (37 << 9) | (1 << 5) | 1, 0x8000},
        {utcSeconds(2024, 2, 29, 16, 30, 59), (44 << 9) | (2 << 5) | 29,
         (16 << 11) | (30 << 5) | 29},
        {utcSeconds(2107, 12, 31, 23, 59, 58), (127 << 9) | (12 << 5) | 31,
         (23 << 11) | (59 << 5) | 29},
        // Outside the years the form can hold there are no words.
        {utcSeconds(1979, 12, 31, 23, 59, 59), 0, 0},
        {utcSeconds(2108, 1, 1, 0, 0, 0), 0, 0},
        {-1, 0, 0},
    };
    for (const DosCase& c : cases) {
        const DosDateTime dos = toDosDateTime(c.seconds);
        EXPECT_EQ(dos.date, c.date) << c.seconds;
        EXPECT_EQ(dos.time, c.time) << c.seconds;
    }
}

TEST(DosDateTime, RoundTripIsExactToTwoSeconds) {
    for (int64_t seconds = utcSeconds(1980, 1, 1, 0, 0, 0);
         seconds < utcSeconds(2107, 12, 31, 0, 0, 0); seconds += 86400LL * 397 + 3601 * 7 + 13) {
        EXPECT_EQ(fromDosDateTime(toDosDateTime(seconds)), seconds - seconds % 2) << seconds;
    }
}

TEST(DosDateTime, RefusesWordsThatNameNoMoment) {
    const auto date = [](int year, int month, int day) {
        return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    };
    const auto time = [](int hour, int minute, int halfSeconds) {
        return static_cast<uint16_t>((hour << 11) | (minute << 5) | halfSeconds);
    };
    EXPECT_TRUE(fromDosDateTime({date(2024, 2, 29), time(23, 59, 29)}));
    EXPECT_FALSE(fromDosDateTime({0, 0}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 2, 29), 0}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 13, 1), 0}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 4, 31), 0}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 1, 1), time(24, 0, 0)}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 1, 1), time(0, 60, 0)}));
    EXPECT_FALSE(fromDosDateTime({date(2023, 1, 1), time(0, 0, 30)}));
}

TEST(DateField, PrintsSignedNumbersLeftAlignedInSixCharacters) {
    EXPECT_EQ(formatDateField({0x5A21, 0x8000}, {0x5A21, 0x83C0}), "23073 -3276823073 -31808");
    EXPECT_EQ(formatDateField({}, {}), "0     0     0     0     ");
    EXPECT_EQ(formatDateField({1, 0xFFFF}, {0x7FFF, 2}), "1     -1    32767 2     ");
}

TEST(DateField, ReadsEachNumberModulo65536) {
    const std::pair<const char*, std::array<uint16_t, 4>> cases[] = {
        {"23073 -3276823073 -31808", {0x5A21, 0x8000, 0x5A21, 0x83C0}},
        {" 70000-1    x     12", {4464, 0xFFFF, 0, 12}},
        {"", {0, 0, 0, 0}},
        {"5", {5, 0, 0, 0}},
    };
    for (const auto& [field, words] : cases) {
        EXPECT_EQ(parseDateField(field), words) << '"' << field << '"';
    }
}

TEST(FileDate, ReadsCreationAndLastWriteOfTheFile) {
    apptest::FakePlatform platform;
    platform.times[QStringLiteral("/doc")] = {utcSeconds(2025, 1, 1, 16, 0, 1),
                                              utcSeconds(2020, 5, 5, 5, 5, 5),
                                              utcSeconds(2025, 1, 1, 16, 30, 0)};
    EXPECT_EQ(ReadFileDate(platform, QStringLiteral("/doc")), "23073 -3276823073 -31808");
    EXPECT_EQ(ReadFileDate(platform, QStringLiteral("/missing")), "0     0     0     0     ");
}

TEST(FileDate, WritesOnlyAValidLastWriteTime) {
    apptest::FakePlatform platform;
    platform.times[QStringLiteral("/doc")] = {};
    WriteFileDate(platform, QStringLiteral("/doc"), "0     0     23073 -31808");
    WriteFileDate(platform, QStringLiteral("/doc"), "23073 -327680     0     ");
    WriteFileDate(platform, QStringLiteral("/doc"), "");
    ASSERT_EQ(platform.writes.size(), 1u);
    EXPECT_EQ(platform.writes[0].second, utcSeconds(2025, 1, 1, 16, 30, 0));
}

class LinuxFileDate : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir.write(QStringLiteral("doc.txt"), std::string("content"));
        m_path = m_dir.path(QStringLiteral("doc.txt"));
    }

    struct stat stat() const {
        struct stat info {};
        EXPECT_EQ(::stat(QFile::encodeName(m_path).constData(), &info), 0);
        return info;
    }

    void setTimes(int64_t access, int64_t write) const {
        struct timespec times[2] = {};
        times[0].tv_sec = static_cast<time_t>(access);
        times[1].tv_sec = static_cast<time_t>(write);
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(m_path).constData(), times, 0), 0);
    }

    apptest::ScratchDir m_dir;
    QString m_path;
    LinuxPlatform m_platform;
};

TEST_F(LinuxFileDate, AfternoonTimeSurvivesTheRoundTripAndAccessTimeIsKept) {
    const int64_t access = utcSeconds(2001, 2, 3, 4, 5, 6);
    setTimes(access, utcSeconds(2005, 6, 7, 8, 9, 10));
    const std::string field = formatDateField(toDosDateTime(utcSeconds(2010, 1, 1, 0, 0, 0)),
                                              toDosDateTime(utcSeconds(2025, 1, 1, 16, 30, 44)));
    ASSERT_EQ(field.substr(18, 6), "-31786");

    WriteFileDate(m_platform, m_path, field);

    EXPECT_EQ(stat().st_mtim.tv_sec, utcSeconds(2025, 1, 1, 16, 30, 44));
    EXPECT_EQ(stat().st_atim.tv_sec, access);
    EXPECT_EQ(ReadFileDate(m_platform, m_path).substr(12), field.substr(12));
}

TEST_F(LinuxFileDate, CreationIsTheBirthTimeOrElseTheLastWrite) {
    setTimes(0, utcSeconds(2001, 5, 5, 12, 0, 0));
    const auto times = m_platform.readFileTimes(m_path);
    ASSERT_TRUE(times);
    const int64_t now = std::time(nullptr);
    EXPECT_TRUE(times->creation == times->lastWrite || std::abs(times->creation - now) < 300)
        << times->creation;
}

TEST_F(LinuxFileDate, FilesThatCannotBeOpenedGiveZerosAndStayUnchanged) {
    const QString fifo = m_dir.path(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const std::string zeros = "0     0     0     0     ";
    EXPECT_EQ(ReadFileDate(m_platform, m_dir.path(QStringLiteral("missing"))), zeros);
    EXPECT_EQ(ReadFileDate(m_platform, fifo), zeros);
    EXPECT_EQ(ReadFileDate(m_platform, m_dir.folder()), zeros);

    setTimes(utcSeconds(2001, 2, 3, 4, 5, 6), utcSeconds(2005, 6, 7, 8, 9, 10));
    WriteFileDate(m_platform, m_dir.path(QStringLiteral("missing")), "23073 -3276823073 -31808");
    EXPECT_FALSE(QFile::exists(m_dir.path(QStringLiteral("missing"))));
    // A field whose last-write words name no moment leaves the file alone.
    WriteFileDate(m_platform, m_path, "23073 -327680     0     ");
    EXPECT_EQ(stat().st_mtim.tv_sec, utcSeconds(2005, 6, 7, 8, 9, 10));
}

} // namespace
