#include "util/ConfirmReplace.h"
#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "Unprivileged.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace brindmar;
using brindmar::testing::FakeUiServices;

namespace {

constexpr MessageAnswer Ok = MessageAnswer::Ok;
constexpr MessageAnswer Cancel = MessageAnswer::Cancel;

QString question(const QString& path) {
    return QStringLiteral("message Question|Confirm file overwrite|") + path +
           QStringLiteral("\n - already exists,\n\nOverwrite existing file ?");
}

QString warning(const QString& title, const QString& path, const QString& lines) {
    return QStringLiteral("message Exclamation|") + title + QStringLiteral("|** WARNING **\n") +
           path + lines + QStringLiteral("\n\nProcede anyway ?");
}

const QString kHidden = QStringLiteral("\n - is a HIDDEN file");
const QString kReadOnly = QStringLiteral("\n - is a READ ONLY file");
const QString kOverwriteTitle = QStringLiteral("Confirm file overwrite");
const QString kDeleteTitle = QStringLiteral("Confirm file delete");

struct Case {
    const char* name;
    const char* file; // created in the scratch folder; a leading "." makes it hidden
    bool readOnly;
    uint8_t mode;
    std::vector<MessageAnswer> answers;
    int16_t result;
    // The exchange, with %1 standing for the path.
    std::vector<QString> transcript;
};

// Keeps the test names the same from build to build.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class ConfirmReplaceTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConfirmReplaceTest, AsksWhatTheModeAndAttributesCallFor) {
    const Case& c = GetParam();
    apptest::ScratchDir scratch;
    const QString path = scratch.path(QString::fromUtf8(c.file));
    scratch.write(QString::fromUtf8(c.file), std::string("contents"));
    if (c.readOnly) {
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup));
    }
    FakeUiServices ui;
    for (MessageAnswer answer : c.answers) {
        ui.queueAnswer(answer);
    }
    ui.setMousePointer(MousePointer::Hourglass);

    EXPECT_EQ(ConfirmReplaceFile(path, c.mode, ui), c.result);

    QStringList expected;
    for (const QString& line : c.transcript) {
        expected << QString(line).replace(QStringLiteral("%1"), path);
    }
    EXPECT_EQ(ui.transcript(), expected);
    EXPECT_EQ(ui.pendingAnswers(), 0);
    EXPECT_EQ(ui.unscriptedPrompts(), 0);
    EXPECT_EQ(QFile::exists(path), c.result != kReplaceDeleted);
    EXPECT_EQ(ui.mousePointer(), MousePointer::Hourglass);
    for (const Message& message : ui.messages()) {
        EXPECT_EQ(message.buttons, MessageButtons::OkCancel);
        const bool isWarning = message.icon == MessageIcon::Exclamation;
        EXPECT_EQ(message.defaultButton, isWarning ? DefaultButton::Second : DefaultButton::First);
    }
    if (!c.transcript.empty()) {
        // The questions were asked under the arrow, which was put back afterwards.
        EXPECT_EQ(ui.pointerChanges().at(1), MousePointer::Default);
    }
}

const QString kAsk = question(QStringLiteral("%1"));

INSTANTIATE_TEST_SUITE_P(
    Modes, ConfirmReplaceTest,
    ::testing::Values(
        Case{"plain_overwrite_ok", "doc.txt", false, 0, {Ok}, kReplaceDeleted, {"beep 1", kAsk}},
        Case{"plain_overwrite_cancel",
             "doc.txt",
             false,
             0,
             {Cancel},
             kReplaceCancelled,
             {"beep 1", kAsk}},
        Case{"plain_no_question", "doc.txt", false, 1, {}, kReplaceDeleted, {}},
        Case{"hidden_read_only_both_ok",
             ".doc",
             true,
             0,
             {Ok, Ok},
             kReplaceDeleted,
             {"beep 1", kAsk, "beep 1", warning(kOverwriteTitle, "%1", kHidden + kReadOnly)}},
        Case{"hidden_read_only_cancel_at_warning",
             ".doc",
             true,
             0,
             {Ok, Cancel},
             kReplaceCancelled,
             {"beep 1", kAsk, "beep 1", warning(kOverwriteTitle, "%1", kHidden + kReadOnly)}},
        Case{"hidden_read_only_cancel_at_question",
             ".doc",
             true,
             0,
             {Cancel},
             kReplaceCancelled,
             {"beep 1", kAsk}},
        Case{"hidden_only",
             ".doc",
             false,
             1,
             {Ok},
             kReplaceDeleted,
             {"beep 1", warning(kOverwriteTitle, "%1", kHidden)}},
        Case{"read_only_wipe_command",
             "doc.txt",
             true,
             5,
             {Ok},
             kReplaceDeleted,
             {"beep 1", warning(kDeleteTitle, "%1", kReadOnly)}},
        Case{"read_only_wipe_command_cancel",
             "doc.txt",
             true,
             5,
             {Cancel},
             kReplaceCancelled,
             {"beep 1", warning(kDeleteTitle, "%1", kReadOnly)}},
        Case{"hidden_read_only_silent", ".doc", true, 3, {}, kReplaceDeleted, {}},
        Case{"hidden_read_only_shut_down", ".doc", true, 7, {}, kReplaceDeleted, {}},
        Case{"plain_no_warning_needed", "doc.txt", false, 5, {}, kReplaceDeleted, {}},
        // Only a leading dot hides a file.
        Case{"trailing_dot", "doc.", false, 1, {}, kReplaceDeleted, {}}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(ConfirmReplaceFile, NothingToReplaceAsksNothing) {
    apptest::ScratchDir scratch;
    QDir().mkpath(scratch.path(QStringLiteral("folder")));
    for (const QString& path :
         {scratch.path(QStringLiteral("missing")), scratch.path(QStringLiteral("folder")),
          scratch.path(QStringLiteral("no/such/file")), QString()}) {
        FakeUiServices ui;
        EXPECT_EQ(ConfirmReplaceFile(path, 0, ui), kReplaceNoSuchFile) << path.toStdString();
        EXPECT_TRUE(ui.events().empty());
        EXPECT_TRUE(ui.pointerChanges().empty());
    }
    EXPECT_TRUE(QFileInfo(scratch.path(QStringLiteral("folder"))).isDir());
}

TEST(ConfirmReplaceFile, AttentionSoundReplacesTheBeepWhenSoundIsOn) {
    apptest::ScratchDir scratch;
    scratch.write(QStringLiteral(".doc"), std::string("x"));
    const QString path = scratch.path(QStringLiteral(".doc"));
    FakeUiServices ui(true);
    ui.queueAnswer(Ok);
    ui.queueAnswer(Ok);
    EXPECT_EQ(ConfirmReplaceFile(path, 0, ui), kReplaceDeleted);
    EXPECT_EQ(ui.transcript(), (QStringList{"sound Attention", question(path), "sound Attention",
                                            warning(kOverwriteTitle, path, kHidden)}));
}

TEST(ConfirmReplaceFile, LinksAreDeletedNotFollowed) {
    apptest::ScratchDir scratch;
    scratch.write(QStringLiteral("target"), std::string("kept"));
    const QString link = scratch.path(QStringLiteral("link"));
    const QString dangling = scratch.path(QStringLiteral("dangling"));
    ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("target")), link));
    ASSERT_TRUE(QFile::link(scratch.path(QStringLiteral("nowhere")), dangling));

    FakeUiServices ui;
    EXPECT_EQ(ConfirmReplaceFile(link, 1, ui), kReplaceDeleted);
    EXPECT_EQ(ConfirmReplaceFile(dangling, 1, ui), kReplaceDeleted);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_FALSE(QFileInfo(dangling).isSymLink());
    EXPECT_TRUE(QFile::exists(scratch.path(QStringLiteral("target"))));
}

TEST(ConfirmReplaceFile, FailedDeleteIsResultThree) {
    // A file system that refuses the delete even to a privileged user.
    const QString path = QStringLiteral("/proc/version");
    if (!QFile::exists(path)) {
        GTEST_SKIP() << "no /proc";
    }
    FakeUiServices ui;
    EXPECT_EQ(ConfirmReplaceFile(path, 3, ui), kReplaceDeleteFailed);
    EXPECT_TRUE(ui.events().empty());
}

TEST(ConfirmReplaceFile, FileInAFolderWithoutWritePermissionCannotBeDeleted) {
    apptest::ScratchDir scratch;
    ASSERT_TRUE(testsupport::handOverFolder(QFile::encodeName(scratch.folder()).toStdString()));
    const QString folder = scratch.path(QStringLiteral("locked"));
    const QByteArray locked = QFile::encodeName(folder);
    const QString doc = scratch.path(QStringLiteral("locked/doc"));
    testsupport::runUnprivileged([&] {
        ASSERT_TRUE(QDir().mkpath(folder));
        scratch.write(QStringLiteral("locked/doc"), std::string("x"));
        ASSERT_EQ(::chmod(locked.constData(), 0555), 0);
        FakeUiServices ui;
        EXPECT_EQ(ConfirmReplaceFile(doc, 1, ui), kReplaceDeleteFailed);
        EXPECT_TRUE(QFile::exists(doc));
        ::chmod(locked.constData(), 0755);
    });
}

} // namespace
