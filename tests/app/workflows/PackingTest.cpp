#include "WorkflowHarness.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentPacking.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <random>

using namespace brindmar;
using brindmar::testing::FakeZipService;

namespace {

std::string randomBytes(size_t n) {
    std::mt19937 random(7);
    std::string bytes(n, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

struct PackCase {
    const char* name;
    QString fileName;
    std::string content;
    bool encrypt;
    uint8_t packed; // packing marks 1, 16 and 32 afterwards
    bool substitute;
    bool archiveStored;
};

class Packing : public ::testing::TestWithParam<PackCase> {};

TEST_P(Packing, StoresWhatPays) {
    const PackCase& c = GetParam();
    apptest::Harness h;
    h.dir.write(c.fileName, c.content);
    const QString path = h.dir.path(c.fileName);
    h.model.documentPath = path;
    h.model.display.documentName = path;
    h.model.code = "0123456789";
    h.model.setPacking(packing::EncryptionWanted, c.encrypt);
    PackDocument(h.ctx, true);

    constexpr uint8_t kinds =
        packing::Packed | packing::PackedEncrypted | packing::PackedCompressed;
    EXPECT_EQ(h.model.packingMarks & kinds, c.packed);
    EXPECT_EQ(h.model.hasOption(option::SubstituteName), c.substitute);
    EXPECT_EQ(QFileInfo::exists(h.temp.path(kWorkCopyName)), c.substitute);
    const QString archive = h.temp.path(kWorkArchiveName);
    EXPECT_EQ(h.model.storedDocumentPath, c.archiveStored ? archive : path);
    const auto stored = c.archiveStored ? QFileInfo(archive).size() : qint64(c.content.size());
    EXPECT_EQ(h.model.documentLength, stored);
    EXPECT_EQ(h.model.display.documentSize, QString::number(stored));
    EXPECT_EQ(h.model.nameLength, c.fileName.size());
    EXPECT_EQ(h.model.payloadLength, stored + c.fileName.size() + 90);
    EXPECT_TRUE(h.model.hasState(state::DocumentChosen));
    EXPECT_TRUE(h.ui.events().empty());
    EXPECT_TRUE(h.model.display.codeEnabled);
}

const std::string kText(5000, 'a');

INSTANTIATE_TEST_SUITE_P(
    Documents, Packing,
    ::testing::Values(PackCase{"compressible", "notes.txt", kText, false,
                               packing::Packed | packing::PackedCompressed, false, true},
                      PackCase{"incompressible", "noise.bin", randomBytes(5000), false,
                               packing::PackedCompressed, false, false},
                      PackCase{"encrypted kept when larger", "noise.bin", randomBytes(5000), true,
                               packing::Packed | packing::PackedEncrypted, false, true},
                      PackCase{"twelve characters keep their name", "abcdefgh.txt", kText, false,
                               packing::Packed | packing::PackedCompressed, false, true},
                      PackCase{"fifteen characters travel as the copy", "abcdefghijk.txt", kText,
                               false, packing::Packed | packing::PackedCompressed, true, true}),
    apptest::RowName());

TEST(PackingFailure, MissingServiceStoresTheDocumentAndUnticksEncrypt) {
    apptest::Harness h;
    h.dir.write("notes.txt", kText);
    h.model.documentPath = h.dir.path("notes.txt");
    h.model.display.documentName = h.model.documentPath;
    h.model.code = "0123456789";
    h.model.display.encryptBox = kEncryptTicked;
    ApplyCode(h.ctx); // no document chosen yet: no packing
    ASSERT_TRUE(h.model.hasPacking(packing::EncryptionWanted));
    h.zip.setMissing(true);
    PackDocument(h.ctx, true);

    EXPECT_EQ(h.ui.transcript(),
              QStringList({"beep 2", "message Exclamation|Document Processing|Error during "
                                     "document file encrypt\n\nCannot create ZIP file\n\n"
                                     "Processing will be without encrytion/compression"}));
    EXPECT_EQ(h.model.display.encryptBox, kEncryptUnticked);
    EXPECT_FALSE(h.model.hasPacking(packing::EncryptionWanted));
    EXPECT_FALSE(h.model.hasPacking(packing::EncryptTicked));
    EXPECT_EQ(h.model.storedDocumentPath, h.model.documentPath);
    EXPECT_EQ(h.model.documentLength, 5000);
}

TEST(ArchivePassword, FollowsTheCodeAndTheLastWriteTime) {
    const std::string a = DeriveArchivePassword("0123456789", 1);
    EXPECT_EQ(a.size(), 76u);
    EXPECT_EQ(a, DeriveArchivePassword("  0123456789 ", 1)); // the code is trimmed
    EXPECT_NE(a, DeriveArchivePassword("0123456789", 2));
    EXPECT_EQ(a, DeriveArchivePassword("0123456789", 12)); // only the remainder by 11 counts
    EXPECT_NE(a, DeriveArchivePassword("0123456780", 1));
    EXPECT_NE(DeriveArchivePassword("0123456789", -3), DeriveArchivePassword("0123456789", 3));

    // Two documents with the same code, written at different times, get different passwords.
    apptest::Harness h;
    std::vector<int32_t> numbers;
    for (const int minute : {10, 11}) {
        h.dir.write("doc.txt", kText);
        QFile file(h.dir.path("doc.txt"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2024, 5, 1), QTime(9, minute)),
                                     QFileDevice::FileModificationTime));
        file.close();
        h.model.documentPath = h.dir.path("doc.txt");
        h.model.display.documentName = h.model.documentPath;
        h.model.code = "0123456789";
        h.model.setPacking(packing::EncryptionWanted, true);
        PackDocument(h.ctx, true);
        numbers.push_back(h.model.passwordNumber);
    }
    EXPECT_NE(numbers[0] % 11, numbers[1] % 11);
}

} // namespace
