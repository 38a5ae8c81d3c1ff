#include "workflows/WipeCommand.h"
#include "WorkflowHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace brindmar;
using brindmar::testing::FakeUiServices;

namespace {

class WipeCommandTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& content) {
        m_h.dir.write(name, content.toStdString());
        return m_h.dir.path(name);
    }

    // What the command did to the window, read off the model: the progress bar set back, the
    // window reset (it empties the BMP box), the document box emptied.
    void run() {
        m_model.display.progress = 50;
        m_model.display.bmpPath = "carrier.bmp";
        m_model.display.documentBox = "document";
        WipeCommand(m_h.ctx);
        m_steps.clear();
        if (m_model.display.progress == 0) {
            m_steps << "progress 0";
        }
        if (m_model.display.bmpPath.isEmpty()) {
            m_steps << "reset";
        } else if (m_model.display.documentBox.isEmpty()) {
            m_steps << "clear document box";
        }
    }

    apptest::Harness m_h;
    WindowModel& m_model = m_h.model;
    FakeUiServices& m_ui = m_h.ui;
    QStringList m_steps;
};

TEST_F(WipeCommandTest, ConfirmedWipeDeletesAndRemembersTheFolder) {
    const QString path = write("notes.txt", QByteArray(500, 'n'));
    m_ui.queueFileChoice("  " + path + "  ");
    m_ui.queueAnswer(MessageAnswer::Ok);
    m_model.documentFolder = "/somewhere/else/";

    run();

    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(m_ui.transcript(),
              QStringList({"beep 1", "message Exclamation|File 'Wipe'|Confirm Delete of: " + path,
                           "beep 1",
                           "message NoIcon|Completion Message|File 'Wipe' and Delete processed "
                           "successfully"}));
    EXPECT_EQ(m_ui.messages()[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(m_ui.messages()[1].buttons, MessageButtons::Ok);
    EXPECT_EQ(m_model.documentFolder, m_h.dir.folder());
    EXPECT_EQ(m_model.helpContext, topic::Wipe);
    EXPECT_EQ(m_steps, QStringList({"progress 0", "reset"}));
    EXPECT_EQ(m_ui.mousePointer(), MousePointer::Default);

    ASSERT_EQ(m_ui.fileDialogs().size(), 1u);
    const FileDialogRequest& dialog = m_ui.fileDialogs()[0];
    EXPECT_EQ(dialog.title, "Select File to 'Wipe'");
    EXPECT_EQ(dialog.filter, "All Files|*.*");
    EXPECT_EQ(dialog.initialFolder, "/somewhere/else/");
    EXPECT_EQ(dialog.fileName, "");
}

TEST_F(WipeCommandTest, SoundsInsteadOfBeepsWhenSwitchedOn) {
    const QString path = write("notes.txt", "x");
    m_ui.setSoundOn(true);
    m_ui.queueFileChoice(path);
    m_ui.queueAnswer(MessageAnswer::Ok);
    run();
    const QStringList transcript = m_ui.transcript();
    ASSERT_EQ(transcript.size(), 4);
    EXPECT_EQ(transcript[0], "sound Attention");
    EXPECT_EQ(transcript[2], "sound Success");
}

TEST_F(WipeCommandTest, CancelAtTheConfirmationLeavesTheFile) {
    const QString path = write("keep.txt", "keep me");
    m_ui.queueFileChoice(path);
    m_ui.queueAnswer(MessageAnswer::Cancel);
    m_model.optionMarks = option::JustEmbedded | option::ValueChanged;
    m_model.documentFolder = "/docs/";

    run();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep me");
    EXPECT_EQ(m_ui.messages().size(), 1u);
    EXPECT_EQ(m_model.documentFolder, "/docs/");
    EXPECT_EQ(m_model.optionMarks, option::ValueChanged);
    EXPECT_EQ(m_steps, QStringList({"progress 0"}));
    EXPECT_EQ(m_ui.mousePointer(), MousePointer::Default);
}

TEST_F(WipeCommandTest, EmptyFileIsDeleted) {
    const QString path = write("empty.txt", QByteArray());
    m_ui.queueFileChoice(path);
    m_ui.queueAnswer(MessageAnswer::Ok);

    run();

    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(m_ui.transcript().mid(2),
              QStringList({"beep 1", "message NoIcon|Completion Message|File 'Wipe' and Delete "
                                     "processed successfully"}));
}

// A link, or a file with a second name, is refused before the confirmation, saying why; nothing
// is touched under either name.
TEST_F(WipeCommandTest, LinksAndFilesWithOtherNamesAreRefusedSayingWhy) {
    struct Case {
        const char* what;
        int (*makeName)(const char*, const char*);
        const char* reason;
    };
    const Case cases[] = {
        {"symbolic link", ::symlink, " is a symbolic link; "},
        {"hard link", ::link, " has 2 names (hard links): "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString target = write("target.txt", "keep me");
        const QString name = m_h.dir.path("other name.txt");
        QFile::remove(name);
        ASSERT_EQ(
            c.makeName(QFile::encodeName(target).constData(), QFile::encodeName(name).constData()),
            0);
        m_ui.clear();
        m_ui.queueFileChoice(name);
        run();
        ASSERT_EQ(m_ui.messages().size(), 1u);
        EXPECT_EQ(m_ui.messages()[0].title, "File 'Wipe'");
        EXPECT_TRUE(m_ui.messages()[0].text.startsWith(name + QString::fromLatin1(c.reason)))
            << m_ui.messages()[0].text.toStdString();
        EXPECT_EQ(m_ui.pendingAnswers(), 0);
        QFile kept(target);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), "keep me");
        EXPECT_TRUE(QFileInfo(name).isSymLink() || QFileInfo::exists(name));
    }
}

TEST_F(WipeCommandTest, FileGoneBeforeTheWipeIsAnError) {
    const QString path = m_h.dir.path("vanished.txt");
    m_ui.queueFileChoice(path);
    m_ui.queueAnswer(MessageAnswer::Ok);
    run();
    EXPECT_EQ(m_ui.transcript().last(),
              "message Exclamation|File 'Wipe'|Error during 'Wipe' function");
    // The window is reset only once the file has been found.
    EXPECT_EQ(m_steps, QStringList({"progress 0"}));
}

TEST_F(WipeCommandTest, OffersTheDocumentJustEmbedded) {
    const QString embedded = write("report.pdf", "pdf");
    m_model.optionMarks = option::JustEmbedded;
    m_model.documentPathCopy = embedded;
    m_ui.queueFileChoice(std::nullopt);

    run();

    ASSERT_EQ(m_ui.fileDialogs().size(), 1u);
    EXPECT_EQ(m_ui.fileDialogs()[0].fileName, embedded);
    EXPECT_TRUE(m_ui.events().empty()); // a cancelled dialog says nothing
    EXPECT_EQ(m_model.optionMarks, 0);  // the offer is made once
    EXPECT_TRUE(QFile::exists(embedded));
}

TEST_F(WipeCommandTest, NoOfferWithoutTheMarkOrTheFile) {
    struct Case {
        uint8_t marks;
        bool fileExists;
    };
    for (const Case c : {Case{0, true}, Case{option::JustEmbedded, false}}) {
        m_model.optionMarks = c.marks;
        m_model.documentPathCopy =
            c.fileExists ? write("report.pdf", "pdf") : m_h.dir.path("gone.pdf");
        m_ui.clear();
        m_ui.queueFileChoice(std::nullopt);
        run();
        ASSERT_EQ(m_ui.fileDialogs().size(), 1u);
        EXPECT_EQ(m_ui.fileDialogs()[0].fileName, "");
    }
}

TEST_F(WipeCommandTest, NameWithoutBaseNameIsRejected) {
    const QString path = write(".profile", "x");
    m_ui.queueFileChoice(path);
    run();
    EXPECT_EQ(m_ui.transcript(),
              QStringList({"beep 2", "message Critical|File select error|Invalid filename"}));
    EXPECT_EQ(m_steps, QStringList({"progress 0", "clear document box"}));
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(WipeCommandTest, CropPointerIsPutBackFirst) {
    m_model.pointerMarks = pointer::FrameShown | pointer::CropShape;
    m_ui.queueFileChoice(std::nullopt);
    run();
    EXPECT_EQ(m_model.pointerMarks, pointer::FrameShown);
    EXPECT_EQ(m_ui.pointerChanges().front(), MousePointer::Default);
}

} // namespace
