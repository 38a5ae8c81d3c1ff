#include "cli/ImageWarnings.h"

#include <gtest/gtest.h>
#include <vector>

using brindmar::cli::isImageReaderChatter;

TEST(ImageWarnings, OnlyTheReadersOwnWarningsAreHidden) {
    struct Row {
        QtMsgType type;
        const char* category;
        bool hidden;
    };
    const std::vector<Row> rows = {
        {QtWarningMsg, "qt.gui.imageio", true}, // libpng: "iCCP: known incorrect sRGB profile"
        {QtWarningMsg, "qt.gui.imageio.jpeg", true},
        {QtInfoMsg, "qt.imageformats.tiff", true},
        {QtDebugMsg, "qt.gui.imageio", true},
        {QtCriticalMsg, "qt.gui.imageio", false},
        {QtWarningMsg, "default", false},
        {QtWarningMsg, "qt.qpa.xcb", false},
        {QtWarningMsg, "qt.gui", false},
        {QtWarningMsg, nullptr, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(isImageReaderChatter(row.type, row.category), row.hidden)
            << (row.category != nullptr ? row.category : "(none)") << " " << row.type;
    }
}
