// The free space an extraction asks for is the document's, not the image's that carries it.
#include "WorkflowHarness.h"
#include "payload/PayloadHeaderReader.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;

namespace {

TEST(ExtractSpace, TheDocumentsSizeIsHeldAgainstTheFreeSpace) {
    apptest::ScratchDir files;
    const QString out = files.folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    std::mt19937 random(22);
    std::string document(1000, ' ');
    for (char& c : document) {
        c = static_cast<char>(random());
    }
    files.write(QStringLiteral("doc.bin"), document);
    // 300 x 300: an image of 270 KB around a document of 1 KB.
    files.write(QStringLiteral("carrier.bmp"),
                bmptest::make24(300, 300, bmptest::Bytes(300 * 300 * 3, 0x55)));
    apptest::UserSession maker(QString{});
    maker.h.model.embedOutputFolder = out;
    maker.h.model.cropMode = 0; // the image keeps the carrier's size
    maker.chooseDocument(files.path(QStringLiteral("doc.bin")));
    maker.chooseCarrier(files.path(QStringLiteral("carrier.bmp")));
    EmbedDocument(maker.h.ctx);
    const QString image = out + QStringLiteral("carrier.bmp");
    ASSERT_TRUE(ReadPayloadHeader(image, {}).payloadFound());

    struct Row {
        uint64_t free;
        bool refused;
    };
    // Room for the document and its work copies, far from room for the image; then not even
    // room for the document.
    for (const Row row : {Row{20000, false}, Row{500, true}}) {
        apptest::UserSession reader(QString{});
        const QString back = files.folder() + QString::number(row.free) + u'/';
        QDir().mkpath(back);
        reader.h.model.extractOutputFolder = back;
        reader.chooseCarrier(image);
        apptest::FakePlatform platform;
        platform.free = row.free;
        apptest::Harness& h = reader.h;
        WorkflowContext ctx{h.model,  h.ui,   h.zip,          h.engine,
                            platform, h.view, h.dir.folder(), h.temp.folder()};
        const bool spaceRefused = ExtractDocument(ctx).reason == Reason::DiskFull;
        EXPECT_EQ(spaceRefused, row.refused) << row.free;
        EXPECT_EQ(QFile::exists(back + QStringLiteral("doc.bin")), !row.refused) << row.free;
    }
}

} // namespace
