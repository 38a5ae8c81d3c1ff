#include "operations/WipeFile.h"
#include "AppTestSupport.h"
#include "FakeEngine.h"
#include "FakeUiServices.h"
#include "Unprivileged.h"
#include "operations/EngineBinding.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace brindmar;
using brindmar::testing::FakeEngine;
using brindmar::testing::FakeUiServices;

namespace {

const QString kEngineFolder = QStringLiteral(BRINDMAR_ENGINE_DIR);

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Records what the wipe did to the window.
struct WindowLog {
    QStringList steps;
    WipeWindowHooks hooks() {
        return {[this] { steps << QStringLiteral("reset"); },
                [this](const QString& caption) { steps << QStringLiteral("show ") + caption; },
                [this] { steps << QStringLiteral("hide"); }};
    }
};

class WipeFileTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& content) {
        m_scratch.write(name, content.toStdString());
        return m_scratch.path(name);
    }

    apptest::ScratchDir m_scratch;
    FakeUiServices m_ui;
    WindowLog m_window;
};

const QStringList kFoundFile = {"show File 'Wipe'", "reset", "hide"};
const QStringList kNoFile = {"show File 'Wipe'", "hide"};

TEST_F(WipeFileTest, OverwritesInPlaceThenDeletes) {
    const QByteArray secret = QByteArray("secret ").repeated(150);
    const QString path = write(QStringLiteral("doc.txt"), secret);
    // A descriptor kept open on the file shows what the wipe left in it after the delete (a
    // second name would make the wipe refuse the file).
    const int witness = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(witness, 0);
    EngineBinding engine(kEngineFolder);

    EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeDone);

    EXPECT_FALSE(QFile::exists(path));
    QByteArray left(secret.size() + 10, 'x');
    EXPECT_EQ(::pread(witness, left.data(), size_t(left.size()), 0), secret.size());
    ::close(witness);
    EXPECT_EQ(left.left(secret.size()), QByteArray(secret.size(), '\0'));
    EXPECT_TRUE(m_ui.events().empty());
    EXPECT_EQ(m_window.steps, kFoundFile);
    EXPECT_EQ(m_ui.mousePointer(), MousePointer::Default);
}

TEST_F(WipeFileTest, CancelAtTheAttributeWarningKeepsTheEmptiedFile) {
    const QString path = write(QStringLiteral(".hidden"), QByteArray(300, 'x'));
    EngineBinding engine(kEngineFolder);
    m_ui.queueAnswer(MessageAnswer::Cancel);

    EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeKept);

    EXPECT_EQ(readFile(path), QByteArray(300, '\0'));
    ASSERT_EQ(m_ui.messages().size(), 1u);
    EXPECT_EQ(m_ui.messages()[0].title, QStringLiteral("Confirm file delete"));
    EXPECT_EQ(m_ui.messages()[0].text,
              QStringLiteral("** WARNING **\n") + path +
                  QStringLiteral("\n - is a HIDDEN file\n\nProcede anyway ?"));
}

TEST_F(WipeFileTest, OverwriteQuestionIsNeverAskedWhateverTheMode) {
    const QString path = write(QStringLiteral("doc"), QByteArray(10, 'x'));
    FakeEngine engine;
    EXPECT_EQ(WipeAndDeleteFile(path, 0, engine, m_ui, m_window.hooks()), kWipeDone);
    EXPECT_TRUE(m_ui.events().empty());
    ASSERT_EQ(engine.calls().size(), 1u);
    EXPECT_EQ(engine.calls()[0].blockIndex, 10); // the file's length as byteCount
}

TEST_F(WipeFileTest, NothingOverwrittenMeansFailureAndTheFileStays) {
    struct Case {
        const char* name;
        QByteArray content;
        EngineStatus engineStatus;
    };
    const Case cases[] = {
        {"cannot open for writing", "intact", -6},
        {"engine library missing", "intact", std::nullopt},
        {"unexpected status", "intact", 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = write(QStringLiteral("doc"), c.content);
        FakeEngine engine;
        engine.queue(FakeEngine::Export::Wipefile, c.engineStatus);
        FakeUiServices ui;
        WindowLog window;
        EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, ui, window.hooks()), kWipeFailed);
        EXPECT_EQ(readFile(path), c.content);
        EXPECT_TRUE(ui.events().empty());
        EXPECT_EQ(window.steps, kFoundFile);
        EXPECT_EQ(ui.mousePointer(), MousePointer::Default);
    }
}

TEST_F(WipeFileTest, FileBeyondTheEngineCountIsNotHalfWiped) {
    // Sparse: the length is what matters, not the blocks.
    const QString path = write(QStringLiteral("huge"), "x");
    ASSERT_TRUE(QFile::resize(path, qint64{1} << 31));
    FakeEngine engine;
    EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeFailed);
    EXPECT_TRUE(engine.calls().empty());
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(WipeFileTest, FileWithoutWritePermissionIsLeftUntouched) {
    ASSERT_TRUE(testsupport::handOverFolder(QFile::encodeName(m_scratch.folder()).toStdString()));
    const testsupport::ReadableCopy library(
        QFile::encodeName(EngineBinding(kEngineFolder).libraryPath()).toStdString());
    const QString engineFolder = QFile::decodeName(library.folder().c_str());
    testsupport::runUnprivileged([&] {
        const QString path = write(QStringLiteral("doc"), "intact");
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner));
        EngineBinding engine(engineFolder);
        EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeFailed);
        // The engine itself refused the file; a library it could not load fails the same way.
        EXPECT_EQ(engine.lastLoadError(), QString());
        EXPECT_EQ(engine.wipefile(6, path), EngineStatus(-6));
        EXPECT_EQ(readFile(path), QByteArray("intact"));
        EXPECT_TRUE(m_ui.events().empty());
    });
}

TEST_F(WipeFileTest, EmptyFileHasNothingToOverwriteAndIsDeleted) {
    const QString path = write(QStringLiteral("empty"), QByteArray());
    FakeEngine engine;
    EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeDone);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(engine.calls().empty());
    EXPECT_EQ(m_window.steps, kFoundFile);
}

// Zeroing a file with another name destroys it under that name, which the delete then does
// not remove: such files are refused before anything is touched, with the reason.
TEST_F(WipeFileTest, LinksAndFilesWithOtherNamesAreRefused) {
    struct Case {
        const char* what;
        int (*makeName)(const char*, const char*);
        WipeRefusal refusal;
    };
    const Case cases[] = {
        {"symbolic link", ::symlink, {WipeRefusal::Kind::Link, 1}},
        {"hard link", ::link, {WipeRefusal::Kind::OtherNames, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString target = write(QStringLiteral("target"), "keep me");
        const QString name = m_scratch.path(QStringLiteral("name"));
        QFile::remove(name);
        ASSERT_EQ(
            c.makeName(QFile::encodeName(target).constData(), QFile::encodeName(name).constData()),
            0);
        EXPECT_EQ(wipeRefusal(name).kind, c.refusal.kind);
        EXPECT_EQ(wipeRefusal(name).names, c.refusal.names);
        FakeEngine engine;
        WindowLog window;
        EXPECT_EQ(WipeAndDeleteFile(name, 1, engine, m_ui, window.hooks()), kWipeFailed);
        EXPECT_TRUE(engine.calls().empty());
        EXPECT_EQ(window.steps, kNoFile);
        EXPECT_EQ(readFile(target), QByteArray("keep me"));
        EXPECT_TRUE(QFileInfo::exists(name) || QFileInfo(name).isSymLink());
    }
    EXPECT_FALSE(wipeRefusal(write(QStringLiteral("plain"), "x")));
}

TEST_F(WipeFileTest, MissingEngineLibraryIsAFailure) {
    const QString path = write(QStringLiteral("doc"), "intact");
    QTemporaryDir noEngine;
    EngineBinding engine(noEngine.path());
    EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, m_window.hooks()), kWipeFailed);
    EXPECT_EQ(readFile(path), QByteArray("intact"));
    EXPECT_EQ(m_ui.mousePointer(), MousePointer::Default);
    EXPECT_EQ(m_window.steps, kFoundFile);
}

TEST_F(WipeFileTest, MissingFileFailsBeforeTheWindowIsReset) {
    FakeEngine engine;
    for (const QString& path :
         {m_scratch.path(QStringLiteral("gone")), m_scratch.folder(), QString()}) {
        WindowLog window;
        EXPECT_EQ(WipeAndDeleteFile(path, 1, engine, m_ui, window.hooks()), kWipeFailed);
        EXPECT_EQ(window.steps, kNoFile);
    }
    EXPECT_TRUE(engine.calls().empty());
}

TEST_F(WipeFileTest, FailedDeleteAfterTheOverwriteIsResultTwo) {
    // The scripted engine writes nothing; the delete of a /proc file fails even for root.
    const QString path = QStringLiteral("/proc/version");
    if (!QFile::exists(path)) {
        GTEST_SKIP() << "no /proc";
    }
    FakeEngine engine;
    EXPECT_EQ(WipeAndDeleteFile(path, 3, engine, m_ui, m_window.hooks()), kWipeDeleteFailed);
}

} // namespace
