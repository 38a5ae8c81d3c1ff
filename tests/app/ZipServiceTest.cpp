#include "operations/ZipService.h"
#include "AppTestSupport.h"
#include "FakeZipService.h"

#include <gtest/gtest.h>

using namespace brindmar;
using brindmar::testing::FakeZipService;
using Operation = FakeZipService::Operation;

namespace {

TEST(ZipServiceTexts, FailureTextsCarryTheirCode) {
    struct Case {
        int code;
        const char16_t* unzipText;
        const char16_t* zipText;
    };
    const Case cases[] = {
        {0, u"", u""},
        {1, u"Internal error (1)", u""},
        {2, u"File not found (2)", u"Destination file (*.ZIP) error (2)"},
        {3, u"File corrupted (3)", u"Internal error (3)"},
        {6, u"Not enough memory (6)", u"Couldn't process - file may be open (6)"},
        {11, u"File omitted as locked (11)", u"<unknown> (11)"},
        {17, u"Change not permitted (17)", u"User abort (17)"},
        {18, u"", u""},
        {-1, u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(unzipFailureText(c.code), QString::fromUtf16(c.unzipText)) << c.code;
        EXPECT_EQ(zipFailureText(c.code), QString::fromUtf16(c.zipText)) << c.code;
    }
    EXPECT_EQ(createFailureText(), QStringLiteral("Cannot create ZIP file"));
}

TEST(FakeZipService, MissingServiceFailsEveryCallWithoutAStatus) {
    apptest::ScratchDir scratch;
    FakeZipService service;
    service.setMissing(true);
    QString name;
    const QString archive = scratch.path(QStringLiteral("a.zip"));
    EXPECT_EQ(service.ZSInitialize(), std::nullopt);
    EXPECT_EQ(service.ZSCreateBlankZIPFile(archive), std::nullopt);
    EXPECT_EQ(service.ZSGetNewZIPName(name), std::nullopt);
    EXPECT_EQ(service.ZSZipFiles(archive, archive, ""), std::nullopt);
    EXPECT_EQ(service.ZSIsZIPFileQuick(archive), std::nullopt);
    EXPECT_EQ(service.ZSUnzipFiles(archive, QStringLiteral("*.*"), scratch.folder(), 1, ""),
              std::nullopt);
    EXPECT_FALSE(QFile::exists(archive));
    EXPECT_EQ(service.calls().size(), 6u);
}

TEST(FakeZipService, FailsTheChosenOperationAndPassesTheOthersOn) {
    apptest::ScratchDir scratch;
    scratch.write(QStringLiteral("doc"), std::string("content"));
    FakeZipService service;
    service.failWith(Operation::ZipFiles, 15);
    const QString archive = scratch.path(QStringLiteral("a.zip"));

    EXPECT_EQ(service.ZSCreateBlankZIPFile(archive), ZipStatus(kZipTrue));
    EXPECT_EQ(service.ZSZipFiles(archive, scratch.path(QStringLiteral("doc")), "pw"),
              ZipStatus(15));
    EXPECT_EQ(service.ZSIsZIPFileQuick(archive), ZipStatus(0));
    EXPECT_EQ(service.ZSUnzipFiles(archive, QStringLiteral("*.*"), scratch.folder(), 2, ""),
              ZipStatus(kUnzipFileEmpty));
    EXPECT_EQ(service.operations(),
              (std::vector<Operation>{Operation::CreateBlank, Operation::ZipFiles,
                                      Operation::IsZipQuick, Operation::UnzipFiles}));
    EXPECT_EQ(service.calls().at(1).password, "pw");
    EXPECT_EQ(service.calls().at(3).unzipOption, 2);
}

} // namespace
