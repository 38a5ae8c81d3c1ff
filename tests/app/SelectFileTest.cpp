#include "util/SelectFile.h"
#include "AppTestSupport.h"
#include "FakeUiServices.h"

#include <gtest/gtest.h>

using namespace brindmar;
using brindmar::testing::FakeUiServices;

namespace {

struct Case {
    const char* name;
    uint8_t mode;
    const char* requiredExtension;
    std::optional<QString> choice; // nullopt: the user cancels
    QString result;
    uint8_t modeAfter;
};

// Keeps the test names the same from build to build.
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class SelectFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(SelectFileTest, ReturnsTheChoiceAndItsMode) {
    const Case& c = GetParam();
    FakeUiServices ui;
    const bool folderKind = (c.mode & 3) == 3;
    if (folderKind) {
        ui.queueFolderChoice(c.choice);
    } else {
        ui.queueFileChoice(c.choice);
    }
    uint8_t mode = c.mode;
    QString extension = QString::fromUtf8(c.requiredExtension);
    FileDialogRequest request{QStringLiteral("  Select .bmp File "), QStringLiteral(".bmp|*.bmp"),
                              QStringLiteral("/pictures"), QStringLiteral("/pictures/preset.bmp")};

    EXPECT_EQ(SelectFile(mode, request, extension, ui), c.result);
    EXPECT_EQ(mode, c.modeAfter);
    EXPECT_EQ(ui.pendingEventRuns(), c.choice ? 0 : 1);

    const auto& dialogs = folderKind ? ui.folderDialogs() : ui.fileDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_TRUE((folderKind ? ui.fileDialogs() : ui.folderDialogs()).empty());
    EXPECT_EQ(dialogs[0].title, QStringLiteral("Select .bmp File"));
    EXPECT_EQ(dialogs[0].filter, QStringLiteral(".bmp|*.bmp"));
    EXPECT_EQ(dialogs[0].initialFolder, QStringLiteral("/pictures"));
    const bool keepsPreset = !folderKind && (c.mode & 64) != 0;
    EXPECT_EQ(dialogs[0].fileName,
              keepsPreset ? QStringLiteral("/pictures/preset.bmp") : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SelectFileTest,
    ::testing::Values(
        Case{"any_file", 0, "", QStringLiteral("/d/letter.txt"), "/d/letter.txt", 0},
        Case{"file_without_extension", 0, "", QStringLiteral("/d/README"), "/d/README", 0},
        Case{"cancelled", 0, "", std::nullopt, "", 64},
        Case{"only_an_extension", 0, "", QStringLiteral("/d/.bmp"), "", 65},
        Case{"only_an_extension_with_required", 0, "bmp", QStringLiteral("/d/.bmp"), "", 65},
        Case{"required_extension_added", 0, "bmp", QStringLiteral("/d/pic"), "/d/pic.bmp", 0},
        Case{"required_extension_after_final_dot", 0, "bmp", QStringLiteral("/d/pic."),
             "/d/pic.bmp", 0},
        Case{"required_extension_in_capitals", 0, " BMP ", QStringLiteral("/d/Pic.BMP"),
             "/d/Pic.BMP", 0},
        Case{"other_extension", 0, "bmp", QStringLiteral("/d/pic.jpg"), "", 66},
        Case{"double_extension_judged_by_the_last", 0, "bmp", QStringLiteral("/d/pic.bmp.jpg"), "",
             66},
        Case{"dot_in_folder_only", 0, "bmp", QStringLiteral("/d.v2/pic"), "/d.v2/pic.bmp", 0},
        Case{"preset_kept_and_chosen", 64, "", QStringLiteral("/pictures/preset.bmp"),
             "/pictures/preset.bmp", 0},
        Case{"preset_kept_but_cancelled", 64, "", std::nullopt, "", 64},
        Case{"blanks_around_the_choice", 0, "", QStringLiteral("  /d/a.txt  "), "/d/a.txt", 0},
        Case{"folder", 3, "", QStringLiteral("/home/ann/out"), "/home/ann/out/", 3},
        Case{"folder_with_separator", 3, "", QStringLiteral("/home/ann/out/"), "/home/ann/out/", 3},
        Case{"root_folder", 3, "", QStringLiteral("/"), "/", 3},
        Case{"folder_preset_ignored", 67, "", QStringLiteral("/x"), "/x/", 3},
        Case{"folder_cancelled", 3, "", std::nullopt, "", 64}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(SelectFile, RequiredExtensionIsTrimmedAndLowerCasedForTheCaller) {
    FakeUiServices ui;
    ui.queueFileChoice(QStringLiteral("/d/x.bmp"));
    uint8_t mode = 0;
    QString extension = QStringLiteral("  BmP ");
    SelectFile(mode, FileDialogRequest{}, extension, ui);
    EXPECT_EQ(extension, QStringLiteral("bmp"));
}

} // namespace
