#include "util/Settings.h"
#include "FakeUiServices.h"
#include "util/ProfileFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace brindmar;

namespace {

QString read(const QByteArray& content, const QString& section, const QString& key) {
    return ProfileFile::readFrom(content, section, key, QStringLiteral("NOT FOUND"));
}

struct ReadCase {
    const char* name;
    QByteArray content;
    const char* section;
    const char* key;
    QString expected;
};

const QByteArray kFile = "; written by hand\n"
                         "[GENERAL]\n"
                         "DocDir =  /home/ann/docs/  \n"
                         "Quoted=\"  spaced  \"\n"
                         "Empty=\n"
                         "NoEquals\n"
                         "Stored=NOT FOUND\n"
                         "[FORMS]\n"
                         "EmbedX=-2000\n"
                         "[general]\n"
                         "Late=only in the second section\n";

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsWhatTheLookupWould) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(read(c.content, QString::fromLatin1(c.section), QString::fromLatin1(c.key)),
              c.expected)
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    ::testing::Values(
        ReadCase{"trimmed value", kFile, "GENERAL", "DocDir", "/home/ann/docs/"},
        ReadCase{"case-blind names", kFile, "general", "docdir", "/home/ann/docs/"},
        ReadCase{"quotes stripped, inside kept", kFile, "GENERAL", "Quoted", "  spaced  "},
        ReadCase{"empty value", kFile, "GENERAL", "Empty", ""},
        ReadCase{"line without = is no key", kFile, "GENERAL", "NoEquals", "NOT FOUND"},
        ReadCase{"key of another section", kFile, "FORMS", "DocDir", "NOT FOUND"},
        ReadCase{"missing section", kFile, "OTHER", "DocDir", "NOT FOUND"},
        ReadCase{"only the first section of a name", kFile, "GENERAL", "Late", "NOT FOUND"},
        ReadCase{"comment is no key", kFile, "GENERAL", "; written by hand", "NOT FOUND"},
        ReadCase{"CRLF lines", "[FORMS]\r\nEmbedY=15\r\n", "FORMS", "EmbedY", "15"},
        ReadCase{"empty file", "", "GENERAL", "DocDir", "NOT FOUND"}),
    [](const auto& param) { return std::to_string(param.index); });

TEST(ProfileFile, CutsValuesToTheBuffer) {
    const QString longValue(300, u'x');
    const QByteArray content = "[GENERAL]\nDocDir=" + longValue.toUtf8() + "\n";
    EXPECT_EQ(ProfileFile::readFrom(content, "GENERAL", "DocDir", "NOT FOUND").size(), 254);
    EXPECT_EQ(ProfileFile::readFrom(content, "GENERAL", "DocDir", "NOT FOUND", 10),
              QString(9, u'x'));
    // A character of two code units is not split.
    const QByteArray emoji = "[S]\nK=" + QString(253, u'a').toUtf8() + "\xF0\x9F\x98\x80\n";
    EXPECT_EQ(ProfileFile::readFrom(emoji, "S", "K", "").size(), 253);
}

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* section;
    const char* key;
    const char* value;
    QByteArray after;
};

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyTheOneKey) {
    const WriteCase& c = GetParam();
    EXPECT_EQ(ProfileFile::writeTo(c.before, QString::fromLatin1(c.section),
                                   QString::fromLatin1(c.key), QString::fromLatin1(c.value)),
              c.after)
        << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWrite,
    ::testing::Values(WriteCase{"new file", "", "GENERAL", "UseSnd", "True",
                                "[GENERAL]\nUseSnd=True\n"},
                      WriteCase{"replace keeps key spelling and neighbours",
                                "; mine\n[general]\nusesnd = False\nOther=1\n", "GENERAL", "UseSnd",
                                "True", "; mine\n[general]\nusesnd=True\nOther=1\n"},
                      WriteCase{"new key at the end of its section, before blank lines",
                                "[GENERAL]\nA=1\n\n[FORMS]\nEmbedX=0\n", "GENERAL", "B", "2",
                                "[GENERAL]\nA=1\nB=2\n\n[FORMS]\nEmbedX=0\n"},
                      WriteCase{"new section after a blank line", "[GENERAL]\nA=1", "FORMS",
                                "EmbedX", "15", "[GENERAL]\nA=1\n\n[FORMS]\nEmbedX=15\n"},
                      WriteCase{"line endings of the file", "[GENERAL]\r\nA=1\r\n", "GENERAL", "B",
                                "2", "[GENERAL]\r\nA=1\r\nB=2\r\n"},
                      WriteCase{"value written as given", "[S]\nK=old\n", "S", "K", " spaced ",
                                "[S]\nK= spaced \n"}),
    [](const auto& param) { return std::to_string(param.index); });

TEST(ProfileFile, WritesTheFileAndItsFolder) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("config/voke0117.ini"));
    ProfileFile file(path);
    ASSERT_TRUE(file.writeString("GENERAL", "DocDir", "/a/"));
    ASSERT_TRUE(file.writeString("FORMS", "EmbedX", "30"));
    EXPECT_EQ(file.readString("GENERAL", "DocDir", "NOT FOUND"), "/a/");
    EXPECT_EQ(file.readString("FORMS", "EmbedX", "NOT FOUND"), "30");
}

TEST(ProfileFile, RefusesLineBreaksThatWouldForgeKeys) {
    QTemporaryDir dir;
    ProfileFile file(dir.filePath(QStringLiteral("a.ini")));
    EXPECT_FALSE(file.writeString("GENERAL", "DocDir", "/x\nUseSnd=False"));
    EXPECT_FALSE(file.writeString("GENERAL", "Doc=Dir", "x"));
    EXPECT_EQ(file.readString("GENERAL", "UseSnd", "NOT FOUND"), "NOT FOUND");
}

TEST(Settings, NotFoundAndEmptyReadAsEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.ini"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("[GENERAL]\nBMPDir=NOT FOUND\nDocDir=   \nZIPDir=  /z/ \n");
    out.close();

    brindmar::testing::FakeUiServices ui;
    Settings settings(path, &ui);
    EXPECT_EQ(settings.ReadSetting("GENERAL", "BMPDir"), "");
    EXPECT_EQ(settings.ReadSetting("GENERAL", "DocDir"), "");
    EXPECT_EQ(settings.ReadSetting("GENERAL", "Missing"), "");
    EXPECT_EQ(settings.ReadSetting("GENERAL", "ZIPDir"), "/z/");
    // Every access lets the window's pending events run.
    EXPECT_EQ(ui.pendingEventRuns(), 4);
}

struct BooleanCase {
    const char* text;
    std::optional<bool> converted;
    bool option; // what an option stored so reads as
};

class BooleanSetting : public ::testing::TestWithParam<BooleanCase> {};

TEST_P(BooleanSetting, FailedConversionSwitchesTheOptionOn) {
    const BooleanCase& c = GetParam();
    EXPECT_EQ(booleanFromText(QString::fromLatin1(c.text)), c.converted) << c.text;

    QTemporaryDir dir;
    Settings settings(dir.filePath(QStringLiteral("s.ini")), nullptr);
    settings.WriteSetting(setting::General, setting::Encrypt, QString::fromLatin1(c.text));
    EXPECT_EQ(settings.readOption(setting::Encrypt), c.option) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BooleanSetting,
    ::testing::Values(BooleanCase{"True", true, true}, BooleanCase{"False", false, false},
                      BooleanCase{"false", false, false}, BooleanCase{"0", false, false},
                      BooleanCase{"-1", true, true}, BooleanCase{"0.0", false, false},
                      BooleanCase{"2.5", true, true}, BooleanCase{"", std::nullopt, true},
                      BooleanCase{"NOT FOUND", std::nullopt, true},
                      BooleanCase{"yes", std::nullopt, true},
                      BooleanCase{"Falsch", std::nullopt, true}));

TEST(CropModeSetting, OnlyABytePassesAndRoundsHalfToEven) {
    struct Case {
        const char* text;
        std::optional<uint8_t> mode;
    };
    for (const Case c : {Case{"0", 0}, Case{"15", 15}, Case{" 7 ", 7}, Case{"16", 16},
                         Case{"255", 255}, Case{"256", std::nullopt}, Case{"-1", std::nullopt},
                         Case{"2.5", 2}, Case{"3.5", 4}, Case{"Centre", std::nullopt},
                         Case{"", std::nullopt}, Case{"1e1", 10}, Case{"nan", std::nullopt}}) {
        EXPECT_EQ(byteFromText(QString::fromLatin1(c.text)), c.mode) << c.text;
    }
}

TEST(PositionSetting, ReadsLenientlyAndWritesPlainDecimals) {
    struct Case {
        const char* text;
        double value;
    };
    for (const Case c : {Case{"1500", 1500}, Case{"-2000", -2000}, Case{" 1 2 0 ", 120},
                         Case{"12.5px", 12.5}, Case{"abc", 0}, Case{"", 0}, Case{"-", 0},
                         Case{"1e3", 1000}, Case{"7e", 7}, Case{"NOT FOUND", 0}}) {
        EXPECT_DOUBLE_EQ(numberFromText(QString::fromLatin1(c.text)), c.value) << c.text;
    }
    EXPECT_EQ(textFromNumber(4500), "4500");
    EXPECT_EQ(textFromNumber(-15), "-15");
    EXPECT_EQ(textFromNumber(1309.0909090909), "1309.090909");
    EXPECT_EQ(textFromNumber(12.5), "12.5");
}

TEST(SettingsFile, LivesInTheUserConfigurationFolder) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg-test");
    EXPECT_EQ(defaultSettingsFilePath(), "/tmp/cfg-test/voke0117.ini");
    // A relative value is not a configuration folder.
    qputenv("XDG_CONFIG_HOME", "relative");
    EXPECT_TRUE(defaultSettingsFilePath().endsWith("/.config/voke0117.ini"));
    if (saved.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", saved);
    }
}

} // namespace
