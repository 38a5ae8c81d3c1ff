#include "operations/LibZipService.h"
#include "AppTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <zip.h>

using namespace brindmar;

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Every entry below the folder, hidden ones and dangling links included, relative and sorted.
QStringList entriesBelow(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        entries << QDir(folder).relativeFilePath(it.next());
    }
    entries.sort();
    return entries;
}

QByteArray randomBytes(int size, unsigned seed) {
    std::mt19937 generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

struct Member {
    std::string name;
    QByteArray content;
    bool symlink = false;
};

// Archives a hostile party could make: libzip itself writes whatever names it is given.
void writeRawArchive(const QString& path, const std::vector<Member>& members) {
    int error = 0;
    zip_t* archive =
        zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const Member& member : members) {
        zip_source_t* source =
            zip_source_buffer(archive, member.content.constData(),
                              static_cast<zip_uint64_t>(member.content.size()), 0);
        ASSERT_NE(source, nullptr);
        const zip_int64_t index =
            zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_RAW);
        ASSERT_GE(index, 0) << member.name;
        if (member.symlink) {
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0,
                                             ZIP_OPSYS_UNIX, (S_IFLNK | 0777u) << 16);
        }
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// Offset and length of the first member's stored data, from its local header.
std::pair<qsizetype, qsizetype> firstMemberData(const QByteArray& archive) {
    const auto u16 = [&](qsizetype at) {
        return static_cast<qsizetype>(static_cast<uint8_t>(archive[at]) |
                                      static_cast<uint8_t>(archive[at + 1]) << 8);
    };
    const qsizetype size = u16(18) | u16(20) << 16;
    return {30 + u16(26) + u16(28), size};
}

// Sets the uncompressed size that the first member's local header and its central directory
// entry declare, keeping the two consistent so that only the size is a lie.
void declareSize(QByteArray& archive, uint32_t size) {
    const auto put32 = [&](qsizetype at) {
        for (int i = 0; i < 4; ++i) {
            archive[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
        }
    };
    put32(22);
    const qsizetype central = archive.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    put32(central + 24);
}

class LibZipServiceTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return m_scratch.path(name); }
    QString folder(const QString& name) const {
        QDir().mkpath(path(name));
        return path(name) + u'/';
    }

    // An archive of one document made by the service.
    QString zipDocument(const QString& name, const QByteArray& content,
                        const std::string& password) {
        writeFile(path(name), content);
        const QString archive = path(name + QStringLiteral(".zip"));
        EXPECT_EQ(m_service.ZSCreateBlankZIPFile(archive), ZipStatus(kZipTrue));
        EXPECT_EQ(m_service.ZSZipFiles(archive, path(name), password), ZipStatus(0));
        return archive;
    }

    apptest::ScratchDir m_scratch;
    LibZipService m_service;
};

TEST_F(LibZipServiceTest, RoundTripKeepsNameAndContent) {
    struct Case {
        const char* name;
        QByteArray content;
        std::string password;
    };
    const Case cases[] = {
        {"letter.txt", QByteArray("Dear Ann,\n").repeated(500), ""},
        {"noise.bin", randomBytes(200'000, 1), ""},
        {"empty", QByteArray(), ""},
        {"secret.doc", QByteArray("confidential ").repeated(300), "pw+/0Az9"},
        {"noise.enc", randomBytes(70'001, 2), "x"},
        {"Été 2024.txt", QByteArray("non-ASCII name"), "p"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromUtf8(c.name);
        const QString archive = zipDocument(name, c.content, c.password);
        EXPECT_EQ(m_service.ZSIsZIPFileQuick(archive), ZipStatus(0));

        const QString target = folder(QStringLiteral("out-") + name);
        EXPECT_EQ(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target,
                                         kUnzipReplaceExisting, c.password),
                  ZipStatus(0));
        EXPECT_EQ(entriesBelow(target), QStringList{name});
        EXPECT_EQ(readFile(target + name), c.content);
    }
}

TEST_F(LibZipServiceTest, PasswordProblemsFailWithATextAndWriteNothing) {
    const QByteArray content = QByteArray("top secret\n").repeated(100);
    const QString archive = zipDocument(QStringLiteral("doc.txt"), content, "right");

    for (const std::string& password : {std::string("wrong"), std::string(), std::string("righ")}) {
        SCOPED_TRACE(password);
        const QString target = folder(QStringLiteral("out-") + QString::fromStdString(password));
        writeFile(target + QStringLiteral("doc.txt"), "kept");
        const ZipStatus status = m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target,
                                                        kUnzipReplaceExisting, password);
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(*status, 0);
        EXPECT_FALSE(unzipFailureText(*status).isEmpty());
        EXPECT_EQ(entriesBelow(target), QStringList{QStringLiteral("doc.txt")});
        EXPECT_EQ(readFile(target + QStringLiteral("doc.txt")), QByteArray("kept"));
    }
}

TEST_F(LibZipServiceTest, DamagedArchiveFailsWithATextAndLeavesTheOldFile) {
    using Damage = std::function<void(QByteArray&)>;
    const auto flipAt = [](double where) -> Damage {
        return [where](QByteArray& bytes) {
            const auto [offset, size] = firstMemberData(bytes);
            bytes[offset + static_cast<qsizetype>(static_cast<double>(size - 1) * where)] ^= 0x5A;
        };
    };
    struct Case {
        const char* name;
        std::string password;
        Damage damage;
    };
    const Case cases[] = {
        {"plain data, middle", "", flipAt(0.5)},
        {"plain data, last byte", "", flipAt(1.0)},
        {"encrypted data, middle", "pw", flipAt(0.5)},
        // The authentication code sits after the data: only reading to the end finds this.
        {"encrypted authentication code", "pw", flipAt(1.0)},
        {"local name differs from the central one", "", [](QByteArray& bytes) { bytes[30] = 'X'; }},
        {"stored size grown", "",
         [](QByteArray& bytes) { bytes[18] = static_cast<char>(bytes[18] + 1); }},
        {"truncated", "", [](QByteArray& bytes) { bytes.chop(30); }},
        // The data inflates beyond what the directory declares.
        {"declared size smaller than the data", "",
         [](QByteArray& bytes) { declareSize(bytes, 1000); }},
        {"declared size larger than the data", "",
         [](QByteArray& bytes) { declareSize(bytes, 70'000); }},
        {"central directory cut off", "",
         [](QByteArray& bytes) {
             const auto [offset, size] = firstMemberData(bytes);
             bytes.truncate(offset + size);
         }},
    };
    const QByteArray content = randomBytes(50'000, 3).toBase64();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromUtf8(c.name).replace(u' ', u'_');
        const QString archive = zipDocument(name, content, c.password);
        QByteArray bytes = readFile(archive);
        c.damage(bytes);
        writeFile(archive, bytes);

        const QString target = folder(QStringLiteral("out-") + name);
        writeFile(target + name, "old");
        const ZipStatus status = m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target,
                                                        kUnzipReplaceExisting, c.password);
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(*status, 0);
        EXPECT_FALSE(unzipFailureText(*status).isEmpty()) << *status;
        EXPECT_EQ(entriesBelow(target), QStringList{name});
        EXPECT_EQ(readFile(target + name), QByteArray("old"));
    }
}

TEST_F(LibZipServiceTest, FileThatIsNoArchive) {
    writeFile(path(QStringLiteral("text.zip")), "PK but no archive at all");
    writeFile(path(QStringLiteral("empty.zip")), "");
    const QString target = folder(QStringLiteral("out"));
    struct Case {
        const char* name;
        int16_t unzipStatus;
    };
    for (const Case& c :
         {Case{"text.zip", kUnzipErrorInZipFile}, Case{"empty.zip", kUnzipErrorInZipFile},
          Case{"missing.zip", kUnzipFileNotFound}}) {
        SCOPED_TRACE(c.name);
        const QString archive = path(QString::fromUtf8(c.name));
        EXPECT_NE(m_service.ZSIsZIPFileQuick(archive), ZipStatus(0));
        EXPECT_EQ(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target,
                                         kUnzipReplaceExisting, ""),
                  ZipStatus(c.unzipStatus));
    }
    EXPECT_TRUE(entriesBelow(target).isEmpty());
}

TEST_F(LibZipServiceTest, SpecialFilesAreNeitherReadNorWrittenAsArchives) {
    // A named pipe would wait for the other end for ever; a device never ends.
    const QString pipe = path(QStringLiteral("pipe.zip"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    writeFile(path(QStringLiteral("doc")), "content");
    const QString target = folder(QStringLiteral("out"));
    for (const QString& special : {m_scratch.folder(), pipe, QStringLiteral("/dev/zero")}) {
        SCOPED_TRACE(special.toStdString());
        EXPECT_NE(m_service.ZSIsZIPFileQuick(special), ZipStatus(0));
        EXPECT_EQ(m_service.ZSUnzipFiles(special, QStringLiteral("*.*"), target,
                                         kUnzipReplaceExisting, ""),
                  ZipStatus(kUnzipErrorInZipFile));
        EXPECT_EQ(m_service.ZSZipFiles(path(QStringLiteral("a.zip")), special, ""),
                  ZipStatus(kZipCouldNotProcess));
        EXPECT_EQ(m_service.ZSCreateBlankZIPFile(special), ZipStatus(0));
        EXPECT_EQ(m_service.ZSZipFiles(special, path(QStringLiteral("doc")), ""),
                  ZipStatus(kZipDestinationError));
    }
    EXPECT_TRUE(entriesBelow(target).isEmpty());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(LibZipServiceTest, MemberClaimingMoreThanAProgramSizeIsRefusedBeforeWriting) {
    // A few kilobytes that claim 2 GiB: nothing may be written, not even the good member.
    writeRawArchive(path(QStringLiteral("bomb.zip")),
                    {{"bomb.bin", QByteArray(4096, '\0')}, {"good.txt", "fine"}});
    QByteArray bytes = readFile(path(QStringLiteral("bomb.zip")));
    declareSize(bytes, 0x8000'0000u);
    writeFile(path(QStringLiteral("bomb.zip")), bytes);
    const QString target = folder(QStringLiteral("out"));

    EXPECT_EQ(m_service.ZSUnzipFiles(path(QStringLiteral("bomb.zip")), QStringLiteral("*.*"),
                                     target, kUnzipReplaceExisting, ""),
              ZipStatus(kUnzipErrorInZipFile));
    EXPECT_TRUE(entriesBelow(target).isEmpty());
}

TEST_F(LibZipServiceTest, MemberNamesLeavingTheTargetFolderAreRefused) {
    const QString outside = folder(QStringLiteral("outside"));
    const std::string absolute =
        QFile::encodeName(outside + QStringLiteral("abs.txt")).toStdString();
    const std::string names[] = {
        "../escape.txt",
        "sub/../../escape.txt",
        "./../escape.txt",
        "..",
        absolute,
        "/etc/brindmar-escape.txt",
        "..\\escape.txt",
        "sub\\..\\..\\escape.txt",
        "C:escape.txt",
        "c:/escape.txt",
        "\\\\server\\share\\escape.txt",
    };
    int round = 0;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        // The good member comes first: refusing must happen before anything is written.
        const QString archive = path(QStringLiteral("hostile%1.zip").arg(++round));
        writeRawArchive(archive, {{"good.txt", "fine"}, {name, "evil"}});
        const QString target = folder(QStringLiteral("target%1/inner").arg(round));

        EXPECT_EQ(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target,
                                         kUnzipReplaceExisting, ""),
                  ZipStatus(kUnzipChangeNotPermitted));
        EXPECT_TRUE(entriesBelow(path(QStringLiteral("target%1").arg(round)))
                        .filter(QStringLiteral("escape"))
                        .isEmpty());
        EXPECT_TRUE(entriesBelow(target).isEmpty());
    }
    EXPECT_TRUE(entriesBelow(outside).isEmpty());
    EXPECT_FALSE(QFile::exists(QStringLiteral("/etc/brindmar-escape.txt")));
    EXPECT_FALSE(QFile::exists(m_scratch.path(QStringLiteral("escape.txt"))));
}

TEST_F(LibZipServiceTest, SymbolicLinksNeverCarryAMemberOutside) {
    const QString outside = folder(QStringLiteral("outside"));

    // A link that was already in the target folder.
    const QString target1 = folder(QStringLiteral("target1"));
    ASSERT_TRUE(QFile::link(outside, target1 + QStringLiteral("link")));
    writeRawArchive(path(QStringLiteral("a.zip")), {{"link/escape.txt", "evil"}});
    EXPECT_EQ(m_service.ZSUnzipFiles(path(QStringLiteral("a.zip")), QStringLiteral("*.*"), target1,
                                     kUnzipReplaceExisting, ""),
              ZipStatus(kUnzipChangeNotPermitted));

    // A link the archive itself plants before using it; it is written as a plain file.
    const QString target2 = folder(QStringLiteral("target2"));
    writeRawArchive(path(QStringLiteral("b.zip")),
                    {{"link", QFile::encodeName(outside), true}, {"link/escape.txt", "evil"}});
    EXPECT_NE(m_service.ZSUnzipFiles(path(QStringLiteral("b.zip")), QStringLiteral("*.*"), target2,
                                     kUnzipReplaceExisting, ""),
              ZipStatus(0));
    EXPECT_FALSE(QFileInfo(target2 + QStringLiteral("link")).isSymLink());

    // A link in place of the member's own name is replaced, not written through.
    const QString target3 = folder(QStringLiteral("target3"));
    ASSERT_TRUE(
        QFile::link(outside + QStringLiteral("victim.txt"), target3 + QStringLiteral("doc.txt")));
    writeRawArchive(path(QStringLiteral("c.zip")), {{"doc.txt", "new"}});
    EXPECT_EQ(m_service.ZSUnzipFiles(path(QStringLiteral("c.zip")), QStringLiteral("*.*"), target3,
                                     kUnzipReplaceExisting, ""),
              ZipStatus(0));
    EXPECT_FALSE(QFileInfo(target3 + QStringLiteral("doc.txt")).isSymLink());
    EXPECT_EQ(readFile(target3 + QStringLiteral("doc.txt")), QByteArray("new"));

    EXPECT_TRUE(entriesBelow(outside).isEmpty());
}

TEST_F(LibZipServiceTest, MembersInFoldersLandInFoldersBelowTheTarget) {
    writeRawArchive(
        path(QStringLiteral("tree.zip")),
        {{"top.txt", "1"}, {"sub/", ""}, {"sub/deeper/inner.txt", "2"}, {"./dot/x.txt", "3"}});
    const QString target = folder(QStringLiteral("out"));
    EXPECT_EQ(m_service.ZSUnzipFiles(path(QStringLiteral("tree.zip")), QStringLiteral("*.*"),
                                     target, kUnzipKeepExisting, ""),
              ZipStatus(0));
    EXPECT_EQ(entriesBelow(target), (QStringList{"dot", "dot/x.txt", "sub", "sub/deeper",
                                                 "sub/deeper/inner.txt", "top.txt"}));
    EXPECT_EQ(readFile(target + QStringLiteral("sub/deeper/inner.txt")), QByteArray("2"));
}

TEST_F(LibZipServiceTest, OnlyTheReplaceOptionOverwritesAnExistingFile) {
    const QString archive = zipDocument(QStringLiteral("doc.txt"), "new", "");
    struct Case {
        int16_t option;
        bool existing;
        int16_t status;
        QByteArray after;
    };
    const Case cases[] = {
        {kUnzipReplaceExisting, true, 0, "new"},
        {kUnzipReplaceExisting, false, 0, "new"},
        {kUnzipKeepExisting, true, kUnzipChangeNotPermitted, "user's own"},
        {kUnzipKeepExisting, false, 0, "new"},
        {0, true, kUnzipChangeNotPermitted, "user's own"},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "option " << c.option << " existing " << c.existing);
        const QString target = folder(QStringLiteral("out%1").arg(++round));
        if (c.existing) {
            writeFile(target + QStringLiteral("doc.txt"), "user's own");
        }
        EXPECT_EQ(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target, c.option, ""),
                  ZipStatus(c.status));
        EXPECT_EQ(entriesBelow(target), QStringList{QStringLiteral("doc.txt")});
        EXPECT_EQ(readFile(target + QStringLiteral("doc.txt")), c.after);
    }
}

TEST_F(LibZipServiceTest, MaskSelectsMembersByFileName) {
    writeRawArchive(path(QStringLiteral("mixed.zip")),
                    {{"a.txt", "1"}, {"B.TXT", "2"}, {"c.bin", "3"}, {"noext", "4"}});
    struct Case {
        const char* mask;
        QStringList written;
        int16_t status;
    };
    const Case cases[] = {
        {"*.*", {"B.TXT", "a.txt", "c.bin", "noext"}, 0},
        {"*.txt", {"B.TXT", "a.txt"}, 0},
        {"*.doc", {}, kUnzipFileEmpty},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const QString target = folder(QStringLiteral("out%1").arg(++round));
        EXPECT_EQ(m_service.ZSUnzipFiles(path(QStringLiteral("mixed.zip")),
                                         QString::fromUtf8(c.mask), target, kUnzipKeepExisting, ""),
                  ZipStatus(c.status));
        EXPECT_EQ(entriesBelow(target), c.written);
    }
}

TEST_F(LibZipServiceTest, BlankArchiveIsAnArchiveWithNothingToUnpack) {
    const QString archive = path(QStringLiteral("blank"));
    writeFile(archive, "whatever was there before");
    EXPECT_EQ(m_service.ZSCreateBlankZIPFile(archive), ZipStatus(kZipTrue));
    EXPECT_EQ(m_service.ZSIsZIPFileQuick(archive), ZipStatus(0));
    EXPECT_EQ(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), folder(QStringLiteral("out")),
                                     kUnzipReplaceExisting, ""),
              ZipStatus(kUnzipFileEmpty));

    QString name;
    EXPECT_EQ(m_service.ZSGetNewZIPName(name), ZipStatus(0));
    EXPECT_EQ(name, archive);

    EXPECT_EQ(m_service.ZSCreateBlankZIPFile(path(QStringLiteral("no/such/folder.zip"))),
              ZipStatus(0));
}

TEST_F(LibZipServiceTest, ZippingFailuresHaveTexts) {
    writeFile(path(QStringLiteral("doc")), "content");
    writeFile(path(QStringLiteral("notzip")), "this is text");
    struct Case {
        const char* name;
        QString archive;
        QString document;
        int16_t status;
    };
    const Case cases[] = {
        {"document missing", path(QStringLiteral("a.zip")), path(QStringLiteral("missing")),
         kZipCouldNotProcess},
        {"document is a folder", path(QStringLiteral("a.zip")), m_scratch.folder(),
         kZipCouldNotProcess},
        {"archive is another file", path(QStringLiteral("notzip")), path(QStringLiteral("doc")),
         kZipNotAZipFile},
        {"archive folder missing", path(QStringLiteral("no/such/a.zip")),
         path(QStringLiteral("doc")), kZipDestinationError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m_service.ZSZipFiles(c.archive, c.document, ""), ZipStatus(c.status));
        EXPECT_FALSE(zipFailureText(c.status).isEmpty());
    }
    EXPECT_EQ(readFile(path(QStringLiteral("notzip"))), QByteArray("this is text"));
}

TEST_F(LibZipServiceTest, ZippingTheSameNameAgainReplacesTheMember) {
    const QString archive = zipDocument(QStringLiteral("doc.txt"), "first", "");
    writeFile(path(QStringLiteral("doc.txt")), "second");
    ASSERT_EQ(m_service.ZSZipFiles(archive, path(QStringLiteral("doc.txt")), ""), ZipStatus(0));
    const QString target = folder(QStringLiteral("out"));
    ASSERT_EQ(
        m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target, kUnzipKeepExisting, ""),
        ZipStatus(0));
    EXPECT_EQ(readFile(target + QStringLiteral("doc.txt")), QByteArray("second"));
}

// Other tools must open what the service writes, and the service what they write.
class SevenZipTest : public LibZipServiceTest {
protected:
    void SetUp() override {
        m_sevenZip = QStandardPaths::findExecutable(QStringLiteral("7z"));
        if (m_sevenZip.isEmpty()) {
            GTEST_SKIP() << "7z is not installed (Debian package p7zip-full)";
        }
    }

    // Exit code and combined output.
    std::pair<int, QString> run(const QStringList& arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(m_sevenZip, arguments);
        process.closeWriteChannel();
        if (!process.waitForFinished(120'000)) {
            process.kill();
            process.waitForFinished();
            return {-1, QStringLiteral("7z did not finish")};
        }
        return {process.exitCode(), QString::fromLocal8Bit(process.readAll())};
    }

    QString m_sevenZip;
};

TEST_F(SevenZipTest, ListsAndExtractsAnEncryptedArchiveOfTheService) {
    const QByteArray content = randomBytes(100'000, 4);
    const QString archive = zipDocument(QStringLiteral("report.pdf"), content, "S3cret+/x");

    const auto [listCode, listing] =
        run({QStringLiteral("l"), QStringLiteral("-slt"), QStringLiteral("-pS3cret+/x"), archive});
    EXPECT_EQ(listCode, 0) << listing.toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("Path = report.pdf"))) << listing.toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("AES-256"))) << listing.toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("Encrypted = +"))) << listing.toStdString();

    const QString target = folder(QStringLiteral("by7z"));
    const auto [extractCode, output] =
        run({QStringLiteral("x"), QStringLiteral("-pS3cret+/x"), QStringLiteral("-o") + target,
             QStringLiteral("-y"), archive});
    EXPECT_EQ(extractCode, 0) << output.toStdString();
    EXPECT_EQ(readFile(target + QStringLiteral("report.pdf")), content);

    const auto [wrongCode, wrongOutput] =
        run({QStringLiteral("t"), QStringLiteral("-pwrong"), archive});
    EXPECT_NE(wrongCode, 0) << wrongOutput.toStdString();
}

TEST_F(SevenZipTest, ServiceUnzipsAnEncryptedArchiveOf7Zip) {
    const QByteArray content = QByteArray("made elsewhere\n").repeated(1000);
    writeFile(path(QStringLiteral("theirs.txt")), content);
    const QString archive = path(QStringLiteral("theirs.zip"));
    const auto [code, output] =
        run({QStringLiteral("a"), QStringLiteral("-tzip"), QStringLiteral("-mem=AES256"),
             QStringLiteral("-pK3y"), archive, path(QStringLiteral("theirs.txt"))});
    ASSERT_EQ(code, 0) << output.toStdString();

    const QString target = folder(QStringLiteral("out"));
    EXPECT_NE(
        m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target, kUnzipKeepExisting, "k3y"),
        ZipStatus(0));
    EXPECT_TRUE(entriesBelow(target).isEmpty());
    EXPECT_EQ(
        m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), target, kUnzipKeepExisting, "K3y"),
        ZipStatus(0));
    EXPECT_EQ(readFile(target + QStringLiteral("theirs.txt")), content);

    // Its members carry no CRC, only the authentication code: damage must still be caught.
    const QByteArray original = readFile(archive);
    for (const double where : {0.5, 1.0}) {
        SCOPED_TRACE(where);
        QByteArray bytes = original;
        const auto [offset, size] = firstMemberData(bytes);
        ASSERT_GT(size, 0) << "sizes only in a data descriptor";
        bytes[offset + static_cast<qsizetype>(static_cast<double>(size - 1) * where)] ^= 0x01;
        writeFile(archive, bytes);
        const QString damagedTarget = folder(QStringLiteral("damaged%1").arg(where));
        EXPECT_NE(m_service.ZSUnzipFiles(archive, QStringLiteral("*.*"), damagedTarget,
                                         kUnzipKeepExisting, "K3y"),
                  ZipStatus(0));
        EXPECT_TRUE(entriesBelow(damagedTarget).isEmpty());
    }
}

} // namespace
