// The real main window under the offscreen platform, with the scripted UI services: no dialog
// ever opens, every message is recorded.

#include "window/Embed1.h"
#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "FakeZipService.h"
#include "operations/EngineBinding.h"
#include "payload/DosDateTime.h"
#include "payload/PayloadHeader.h"
#include "util/ProfileFile.h"
#include "window/HelpWindow.h"
#include "window/TerminationSignals.h"
#include "window/ThumbnailView.h"
#include "window/WindowPlacement.h"
#include "workflows/CommandRefresh.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <csignal>
#include <memory>

using namespace brindmar;
using brindmar::testing::FakeUiServices;
using brindmar::testing::FakeZipService;

namespace {

QString enabledCommands(const Embed1& window) {
    QString result;
    for (const QPushButton* button : window.FunctBtn) {
        result += button->isEnabled() ? u'+' : u'-';
    }
    return result;
}

} // namespace

class Embed1Test : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeUiServices> m_ui;
    std::unique_ptr<FakeZipService> m_zip;
    std::unique_ptr<EngineBinding> m_engine;
    int m_audioOutputs = 1;

    QString programFolder() const { return m_dir->filePath("prog") + u'/'; }
    QString settingsPath() const { return m_dir->filePath("config/voke0117.ini"); }
    QString tempFolder() const { return m_dir->filePath("tmp") + u'/'; }

    void writeSettings(const QByteArray& content) {
        QDir().mkpath(m_dir->filePath("config"));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString stored(const char* section, const char* key) const {
        return ProfileFile(settingsPath()).readString(section, key, "NOT FOUND");
    }

    void addSoundFiles() {
        for (const char* name : {"success.wav", "error.wav", "attention.wav"}) {
            QFile file(programFolder() + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    std::unique_ptr<Embed1> makeWindow() {
        ShellEnvironment environment;
        environment.ui = m_ui.get();
        environment.zip = m_zip.get();
        environment.engine = m_engine.get();
        environment.settingsFile = settingsPath();
        environment.startFolder = programFolder();
        environment.temporaryFolder = tempFolder();
        environment.userDataFolder = m_dir->filePath("data") + u'/';
        environment.audioOutputCount = [this] { return m_audioOutputs; };
        return std::make_unique<Embed1>(environment);
    }

    std::unique_ptr<Embed1> startedWindow() {
        auto window = makeWindow();
        if (!window->startUp()) {
            return nullptr;
        }
        window->show();
        return window;
    }

private slots:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_dir->filePath("prog"));
        QDir().mkpath(m_dir->filePath("tmp"));
        m_ui = std::make_unique<FakeUiServices>();
        m_zip = std::make_unique<FakeZipService>();
        m_engine = std::make_unique<EngineBinding>(QStringLiteral(BRINDMAR_ENGINE_DIR));
        m_audioOutputs = 1;
    }

    void firstStartTakesEveryDefault() {
        addSoundFiles();
        auto window = startedWindow();
        QVERIFY(window);

        QCOMPARE(window->windowTitle(), QStringLiteral("BrindMar"));
        // document, BMP, output folder, wipe, help and exit; no Reset yet
        QCOMPARE(enabledCommands(*window), QStringLiteral("++--+---++-+"));
        QVERIFY(!window->ResetMIt->isEnabled());
        QVERIFY(window->SoundMIt->isEnabled());
        QVERIFY(window->SoundMIt->isChecked());
        QVERIFY(window->model().soundSwitch);
        QVERIFY(window->EncMIt->isChecked());
        QVERIFY(!window->EncMIt->isEnabled()); // no code yet
        QCOMPARE(window->EncCkB->checkState(), Qt::PartiallyChecked);
        QVERIFY(window->MaskCodeMIt->isChecked());
        QCOMPARE(window->CodeTxt->echoMode(), QLineEdit::Password);
        QCOMPARE(window->CodeTxt->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr,
                                                     window->CodeTxt),
                 int('*'));
        QVERIFY(window->OrigTmMIt->isChecked());
        QCOMPARE(window->model().cropMode, uint8_t(1));
        QVERIFY(window->CropMIt[1]->isChecked());
        QCOMPARE(window->model().embedOutputFolder, programFolder() + "Output/");
        QVERIFY(QFileInfo(programFolder() + "Output").isDir());
        QCOMPARE(window->model().extractOutputFolder, programFolder() + "Output/");
        QCOMPARE(window->ExToTxt->toolTip(), programFolder() + "Output/");
        QCOMPARE(window->OutToTypLbl->text(), QStringLiteral("Embed"));
        QCOMPARE(window->FunctBtn[4]->toolTip(), QStringLiteral("SELECT EMBED OUTPUT DIRECTORY"));
        QCOMPARE(window->CropBtn[13]->toolTip(), QStringLiteral("CROP TOP HORIZ. STRIP"));
        QCOMPARE(window->CropMIt[13]->text(), QStringLiteral("Top Horiz. Strip"));
        QCOMPARE(window->CropMIt[2]->text(), QStringLiteral("Centre-Bottom"));
        QCOMPARE(window->CropBtn[0]->toolTip(), QStringLiteral("NO CROP"));
        QCOMPARE(window->DocMIt->text(), QStringLiteral("&Document Select"));
        QCOMPARE(window->EmbedMnu->title(), QStringLiteral("&Embed"));
        QVERIFY(m_ui->events().empty());

        // Centred on the screen it opened on.
        const QRect screen = window->screen()->geometry();
        const double tpp = twipsPerPixel(window->screen()->logicalDotsPerInch());
        const int width = qRound(kMainWindowWidthTwips / tpp);
        QCOMPARE(window->size().width(), width);
        QCOMPARE(window->pos().x(),
                 screen.left() + qRound(std::trunc((screen.width() * tpp - 8205) / 2) / tpp));
    }

    void closeWritesTheSettings() {
        auto window = startedWindow();
        QVERIFY(window);
        QVERIFY(!QFile::exists(settingsPath()));
        window->move(30, 45);
        window->close();

        const double tpp = twipsPerPixel(window->screen()->logicalDotsPerInch());
        QCOMPARE(stored("GENERAL", "EmbToDir"), programFolder() + "Output/");
        QCOMPARE(stored("GENERAL", "ExtrToDir"), programFolder() + "Output/");
        QCOMPARE(stored("GENERAL", "DocDir"), QString());
        QCOMPARE(stored("GENERAL", "BMPDir"), QString());
        QCOMPARE(stored("GENERAL", "ZIPDir"), QString());
        // No sound on this run, but nobody switched it off.
        QCOMPARE(stored("GENERAL", "UseSnd"), QStringLiteral("True"));
        QCOMPARE(stored("GENERAL", "CropMode"), QStringLiteral("1"));
        QCOMPARE(stored("GENERAL", "Encrypt"), QStringLiteral("True"));
        QCOMPARE(stored("GENERAL", "Strong"), QStringLiteral("False"));
        QCOMPARE(stored("GENERAL", "Stealth"), QStringLiteral("False"));
        QCOMPARE(stored("GENERAL", "MaskCode"), QStringLiteral("True"));
        QCOMPARE(stored("GENERAL", "KeepBODT"), QStringLiteral("True"));
        QCOMPARE(stored("FORMS", "EmbedX"), textFromNumber(window->pos().x() * tpp));
        QCOMPARE(stored("FORMS", "EmbedY"), textFromNumber(window->pos().y() * tpp));
        QVERIFY(m_ui->events().empty());
    }

    void badValuesFallBack() {
        writeSettings("[GENERAL]\nCropMode=Centre\nEncrypt=NOT FOUND\nMaskCode=maybe\n"
                      "EmbToDir=/no/such/folder/\nExtrToDir=\nZIPDir=/no/such/zip/\n"
                      "[FORMS]\nEmbedX=-900000\nEmbedY=0\n");
        auto window = startedWindow();
        QVERIFY(window);
        QCOMPARE(window->model().cropMode, uint8_t(1));
        QVERIFY(window->EncMIt->isChecked());
        QVERIFY(window->MaskCodeMIt->isChecked());
        QCOMPARE(window->model().embedOutputFolder, programFolder() + "Output/");
        QCOMPARE(window->model().extractOutputFolder, programFolder() + "Output/");
        QCOMPARE(window->model().zipFolder, QString());
        // Off the screen on the left with the top at 0: centred.
        const QRect screen = window->screen()->geometry();
        const QPoint centre((screen.width() - window->width()) / 2,
                            (screen.height() - window->height()) / 2);
        QVERIFY(qAbs(window->pos().x() - centre.x()) <= 1);
        QVERIFY(qAbs(window->pos().y() - centre.y()) <= 1);
    }

    void storedValuesAreRestored() {
        addSoundFiles();
        const QString out = m_dir->filePath("out") + u'/';
        QDir().mkpath(out);
        const double tpp = twipsPerPixel(QGuiApplication::primaryScreen()->logicalDotsPerInch());
        writeSettings("; kept\n[GENERAL]\nCropMode=12\nEncrypt=False\nStrong=False\nStealth=True\n"
                      "MaskCode=False\nKeepBODT=False\nUseSnd=False\nEmbToDir=" +
                      out.toUtf8() + "\nBMPDir=/pictures/\nDocDir=/docs/\n[FORMS]\nEmbedX=" +
                      QByteArray::number(100 * tpp) + "\nEmbedY=" + QByteArray::number(60 * tpp) +
                      "\nInfoX=77\n[OTHER]\nKeep=this\n");
        auto window = startedWindow();
        QVERIFY(window);
        QCOMPARE(window->model().cropMode, uint8_t(12));
        QVERIFY(window->CropMIt[12]->isChecked());
        QVERIFY(!window->CropMIt[1]->isChecked());
        // Stealth stored ticked: it ticks Strong protection, which shows Encrypt waiting for a
        // code.
        QVERIFY(window->StealthCkB->isChecked());
        QVERIFY(window->StealthMIt->isChecked());
        QVERIFY(window->StrongCkB->isChecked());
        QVERIFY(!window->StrongCkB->isEnabled());
        QVERIFY(window->StrongMIt->isChecked());
        QCOMPARE(window->EncCkB->checkState(), Qt::PartiallyChecked);
        QVERIFY(!window->MaskCodeMIt->isChecked());
        QCOMPARE(window->CodeTxt->echoMode(), QLineEdit::Normal);
        QVERIFY(!window->OrigTmMIt->isChecked());
        QCOMPARE(window->model().embedOutputFolder, out);
        QCOMPARE(window->model().extractOutputFolder, out);
        // A stored folder in use: no default folder is made beside the program.
        QVERIFY(!QFileInfo::exists(programFolder() + "Output"));
        QCOMPARE(window->model().bmpFolder, QStringLiteral("/pictures/"));
        QCOMPARE(window->model().documentFolder, QStringLiteral("/docs/"));
        QCOMPARE(window->pos(), QPoint(100, 60));
        // Sound switched off by the user: the item stays offered, unticked.
        QVERIFY(window->SoundMIt->isEnabled());
        QVERIFY(!window->SoundMIt->isChecked());
        QVERIFY(!window->model().soundSwitch);

        window->close();
        QCOMPARE(stored("GENERAL", "UseSnd"), QStringLiteral("False"));
        QCOMPARE(stored("FORMS", "InfoX"), QStringLiteral("77"));
        QCOMPARE(stored("OTHER", "Keep"), QStringLiteral("this"));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("; kept\n[GENERAL]\n"));
    }

    void withoutSoundTheUsersChoiceIsKept() {
        addSoundFiles();
        m_audioOutputs = 0;
        writeSettings("[GENERAL]\nUseSnd=True\n");
        auto window = startedWindow();
        QVERIFY(window);
        QVERIFY(!window->SoundMIt->isEnabled());
        QVERIFY(!window->SoundMIt->isChecked());
        QVERIFY(!window->model().soundSwitch);
        window->close();
        QCOMPARE(stored("GENERAL", "UseSnd"), QStringLiteral("True"));
    }

    void zipServiceFailureEndsTheStart_data() {
        QTest::addColumn<bool>("withSound");
        QTest::addColumn<QString>("alert");
        QTest::newRow("no sound files") << false << QStringLiteral("beep 2");
        QTest::newRow("sound") << true << QStringLiteral("sound Error");
    }

    void zipServiceFailureEndsTheStart() {
        QFETCH(bool, withSound);
        QFETCH(QString, alert);
        if (withSound) {
            addSoundFiles();
        }
        m_zip->failWith(FakeZipService::Operation::Initialize, 2);
        auto window = makeWindow();
        QVERIFY(!window->startUp());
        QCOMPARE(m_ui->transcript(),
                 QStringList({alert, "message Exclamation|BrindMar|Start-up failure - "
                                     "application aborted"}));
        window->close();
        QVERIFY(!QFile::exists(settingsPath()));
    }

    void shutDownWipesTheWorkFiles() {
        auto window = startedWindow();
        QVERIFY(window);
        for (const char* name : {"vokbdat1.tmp", "vokbdat2.tmp"}) {
            QFile file(tempFolder() + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("the user's document");
        }
        window->close();
        QVERIFY(!QFile::exists(tempFolder() + "vokbdat1.tmp"));
        QVERIFY(!QFile::exists(tempFolder() + "vokbdat2.tmp"));
        QVERIFY(m_ui->events().empty());
    }

    // A close during a run waits for the run: it stops at its next block, removes the partial
    // image, and only then are the settings saved and the work files wiped. SIGTERM takes the
    // same way in.
    void closeDuringAnEmbedStopsItFirst() {
        auto window = startedWindow();
        QVERIFY(window);
        const QString document = m_dir->filePath("doc.txt");
        const QString carrier = m_dir->filePath("wide.bmp");
        bmptest::writeFile(document.toStdString(), apptest::Bytes(3000, 'd'));
        bmptest::writeFile(carrier.toStdString(),
                           bmptest::make24(400, 100, apptest::Bytes(400 * 100 * 3, 0x55)));
        m_ui->queueFileChoice(document);
        window->FunctBtn[0]->click();
        m_ui->queueFileChoice(carrier);
        window->FunctBtn[1]->click();
        window->CropBtn[0]->click(); // the whole image: two blocks of 80 rows
        QVERIFY(window->FunctBtn[5]->isEnabled());

        TerminationSignals termination;
        QVERIFY(termination.installed());
        connect(&termination, &TerminationSignals::requested, window.get(), &Embed1::requestClose);
        bool raised = false;
        m_ui->onPendingEvents = [&](int) {
            if (!raised && window->model().display.progress > 20) {
                raised = true;
                ::raise(SIGTERM);
                QCoreApplication::processEvents(); // the notifier fires here, as in the run
            }
        };
        window->FunctBtn[5]->click();
        QVERIFY(raised);
        QTRY_VERIFY(!window->isVisible());
        QVERIFY(!QFile::exists(window->model().embedOutputFolder + "wide.bmp"));
        QVERIFY(!QFile::exists(tempFolder() + "vokbdat1.tmp"));
        QCOMPARE(stored("GENERAL", "CropMode"), QStringLiteral("0")); // saved after all
        QVERIFY(m_ui->messages().empty());
    }

    void everyMenuTextAndTooltip() {
        auto window = startedWindow();
        QVERIFY(window);
        const std::vector<std::pair<QString, QString>> menus = {
            {window->FileMnu->title(), "&File"},
            {window->DocMIt->text(), "&Document Select"},
            {window->BMPMIt->text(), "&BMP Select"},
            {window->ExtrToMIt->text(), "&Output Directory Select"},
            {window->InfoMIt->text(), "BMP &Information"},
            {window->ViewMIt->text(), "BMP &View"},
            {window->ZIPMIt->text(), "&ZIP / UnZIP"},
            {window->WipeMIt->text(), "&Wipe file"},
            {window->ResetMIt->text(), "&Reset"},
            {window->ExitMIt->text(), "E&xit"},
            {window->EmbedMnu->title(), "&Embed"},
            {window->EmbedMIt->text(), "Em&bed"},
            {window->ExtractMIt->text(), "Ex&tract"},
            {window->StopMIt->text(), "&Stop Processing"},
            {window->EncMIt->text(), "&Encrypt"},
            {window->CropToMIt->title(), "&Crop to"},
            {window->OrigTmMIt->text(), "&Keep Original BMP Date/Time"},
            {window->MaskCodeMIt->text(), "&Mask Code"},
            {window->SoundMIt->text(), "Use &Sound"},
            {window->HelpMnu->title(), "&Help"},
            {window->HelpCurrentMIt->text(), "This &Window..."},
            {window->HelpContMIt->text(), "Help &Contents..."},
            {window->HelpSearchMIt->text(), "&Search for Help on..."},
        };
        for (const auto& [shown, expected] : menus) {
            QCOMPARE(shown, expected);
        }
        const QStringList tips = {"SELECT FILE TO EMBED",
                                  "SELECT BMP FOR EMBED OR EXTRACT",
                                  "VIEW BMP FILE INFO",
                                  "VIEW BMP FULL SIZE",
                                  "SELECT EMBED OUTPUT DIRECTORY",
                                  "EMBED FILE",
                                  "EXTRACT FILE",
                                  "STOP EMBED/EXTRACT",
                                  "SELECT FILE TO WIPE",
                                  "VIEW HELP",
                                  "TO START VALUES",
                                  "EXIT"};
        for (int i = 0; i < kCommandCount; ++i) {
            QCOMPARE(window->FunctBtn[static_cast<size_t>(i)]->toolTip(), tips[i]);
        }
        const QStringList steps = {"FIRST", "PREVIOUS", "NEXT", "LAST"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(window->BMPStepBtn[static_cast<size_t>(i)]->toolTip(), steps[i]);
        }
        QCOMPARE(window->CodeTxt->toolTip(),
                 QStringLiteral("The code wanted for embedding or neccessary to extract"));
        QCOMPARE(window->CodeLbl->text(), QStringLiteral("Code:-"));
        QCOMPARE(window->InvalidBMPLbl->text(), QStringLiteral("Invalid BMP file"));
        for (QLabel* blue : {window->EmbFLbl, window->OutToTypLbl, window->OutToLbl}) {
            QCOMPARE(blue->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        }
    }

    void menuShortcutsAndDispatch() {
        auto window = startedWindow();
        QVERIFY(window);
        QCOMPARE(window->WipeMIt->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_W));
        QCOMPARE(window->ResetMIt->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QCOMPARE(window->HelpCurrentMIt->shortcut(), QKeySequence(Qt::Key_F1));

        window->WipeMIt->trigger();
        QCOMPARE(m_ui->fileDialogs().size(), size_t(1));
        QCOMPARE(m_ui->fileDialogs()[0].title, QStringLiteral("Select File to 'Wipe'"));
        QCOMPARE(window->model().helpContext, topic::Wipe);
    }

    void stopOnlySetsTheStopRequest() {
        auto window = startedWindow();
        QVERIFY(window);
        window->model().windowState = state::DocumentChosen | state::BmpChosen | state::BmpUsable |
                                      state::EmbedPossible | state::Embedding;
        commandRefresh(window->model());
        window->render();
        QCOMPARE(enabledCommands(*window), QStringLiteral("-------+----"));
        QVERIFY(!window->BMPFme->isEnabled());
        QVERIFY(window->BMPStepBtn[0]->isHidden());
        QVERIFY(!window->HelpMnu->menuAction()->isEnabled());
        QCOMPARE(window->model().helpContext, topic::Embed);

        window->model().display.progress = 40;
        window->render();
        const WindowModel before = window->model();
        window->FunctBtn[7]->click();
        QVERIFY(window->model().stopRequest);
        QCOMPARE(window->model().windowState, before.windowState);
        QCOMPARE(window->model().optionMarks, before.optionMarks);
        QCOMPARE(window->model().helpContext, before.helpContext);
        QCOMPARE(window->ProgressBar1->value(), 40);
    }

    void extractModeOffersExtract() {
        auto window = startedWindow();
        QVERIFY(window);
        window->model().windowState = state::BmpChosen | state::BmpUsable | state::PayloadFound;
        commandRefresh(window->model());
        window->render();
        QVERIFY(window->FunctBtn[6]->isEnabled());
        QVERIFY(window->ExtractMIt->isEnabled());
        QVERIFY(!window->FunctBtn[0]->isEnabled());
        QVERIFY(!window->DocMIt->isEnabled());
        QCOMPARE(window->model().display.focus, FocusTarget::Command);
        QCOMPARE(window->model().display.focusIndex, 6);
        QCOMPARE(window->FunctBtn[4]->toolTip(), QStringLiteral("SELECT EXTRACT OUTPUT DIRECTORY"));
        QCOMPARE(window->model().animationMarks, animation::ExtractReady);
    }

    void keepProgressBitHoldsTheBarOnce() {
        auto window = startedWindow();
        QVERIFY(window);
        window->model().display.progress = 100;
        window->render();
        window->model().windowState = state::KeepProgress;
        commandRefresh(window->model());
        window->render();
        QCOMPARE(window->ProgressBar1->value(), 100);
        QCOMPARE(window->model().windowState, uint8_t(0));
        commandRefresh(window->model());
        window->render();
        QCOMPARE(window->ProgressBar1->value(), 0);
    }

    void runCommandsWithdrawTheWipeOffer() {
        auto window = startedWindow();
        QVERIFY(window);
        for (int index : {0, 1, 2, 3, 4, 5, 6, 7}) {
            window->model().optionMarks = option::JustEmbedded;
            window->FunctBtn_Click(index);
            QVERIFY2(!window->model().hasOption(option::JustEmbedded),
                     qPrintable(QString::number(index)));
        }
        window->model().optionMarks = option::JustEmbedded;
        window->FunctBtn_Click(9); // help keeps it
        QVERIFY(window->model().hasOption(option::JustEmbedded));
    }

    void resetBringsBackTheStartValues() {
        auto window = startedWindow();
        QVERIFY(window);
        window->CropBtn[5]->click();
        QVERIFY(window->ResetMIt->isEnabled());
        QCOMPARE(window->model().cropMode, uint8_t(5));
        QVERIFY(window->CropMIt[5]->isChecked());
        window->ResetMIt->trigger();
        QCOMPARE(window->model().cropMode, uint8_t(5)); // nothing stored yet: kept
        QVERIFY(!window->ResetMIt->isEnabled());
        QVERIFY(!window->FunctBtn[10]->isEnabled());
    }

    void helpShowsTheTopicOfTheContext() {
        const QString helpFolder = programFolder() + "help";
        QDir().mkpath(helpFolder);
        for (const QString& name : QDir(QStringLiteral(BRINDMAR_HELP_DIR)).entryList(QDir::Files)) {
            QFile::copy(QStringLiteral(BRINDMAR_HELP_DIR "/") + name, helpFolder + u'/' + name);
        }
        auto window = startedWindow();
        QVERIFY(window);
        window->model().helpContext = topic::Crop;
        window->FunctBtn_Click(static_cast<int>(Command::Help));
        auto* help = window->findChild<HelpWindow*>();
        QVERIFY(help);
        QVERIFY(help->isVisible());
        auto* browser = help->findChild<QTextBrowser*>();
        QCOMPARE(browser->source().fileName(), QStringLiteral("crop.html"));
        window->HelpSearchMIt->trigger();
        QCOMPARE(browser->source().fileName(), QStringLiteral("index.html"));
    }

    void carrierChoiceIsRenderedAndTypingIsLeftAlone() {
        auto window = startedWindow();
        QVERIFY(window);
        const QString plain = m_dir->filePath("plain.bmp");
        bmptest::writeFile(plain.toStdString(),
                           bmptest::make24(100, 100, apptest::Bytes(30000, 0x80)));
        m_ui->queueFileChoice(plain);
        window->FunctBtn[1]->click();
        QCOMPARE(window->BMPFileTxt->text(), plain);
        QCOMPARE(window->EmbMaxLbl->text(), QStringLiteral("7398"));
        QVERIFY(window->BMPImg->hasPicture());
        QVERIFY(!window->InvalidBMPLbl->isVisible());
        QVERIFY(window->FunctBtn[2]->isEnabled()); // information on the chosen BMP

        // A carrier whose payload opens: the extract layout.
        const std::string header =
            composePayloadHeader(QString(), formatDateField({}, {}), StorageMode::AsIs,
                                 NameRoute::Own, 5, QStringLiteral("a.txt"));
        const QString hidden = m_dir->filePath("hidden.bmp");
        bmptest::writeFile(hidden.toStdString(), apptest::payloadImage(60, 60, header + "hello"));
        m_ui->queueFileChoice(hidden);
        window->FunctBtn[1]->click();
        QCOMPARE(window->EmbFLbl->text(), QStringLiteral("To Extract:"));
        QCOMPARE(window->DocFileTxt->text(), QStringLiteral("a.txt"));
        QCOMPARE(window->OutToTypLbl->text(), QStringLiteral("Extract"));
        QVERIFY(window->EncCkB->isHidden());
        QVERIFY(window->FunctBtn[6]->isEnabled());

        // Typing goes through the workflow and the box keeps its text and cursor.
        window->CodeTxt->setFocus();
        QTest::keyClicks(window->CodeTxt, QStringLiteral("abc"));
        QCOMPARE(window->CodeTxt->text(), QStringLiteral("abc"));
        QCOMPARE(window->CodeTxt->cursorPosition(), 3);
        QCOMPARE(window->model().code, QStringLiteral("abc"));

        // An unusable file says why over the empty thumbnail.
        const QString mz = m_dir->filePath("mz.bmp");
        bmptest::writeFile(mz.toStdString(), {'M', 'Z', 0, 0});
        window->CodeTxt->clear();
        m_ui->queueFileChoice(mz);
        window->FunctBtn[1]->click();
        QVERIFY(window->InvalidBMPLbl->isVisible());
        QCOMPARE(window->InvalidBMPLbl->text(), QStringLiteral("Not in BMP format"));
        QVERIFY(!window->BMPImg->hasPicture());
        QCOMPARE(window->EmbFLbl->text(), QStringLiteral("To Embed:"));
    }

    // The box and its menu item are one switch; ticked, Encrypt shows ticked and cannot be
    // taken off, and without a code long enough it cannot be ticked in the first place.
    void strongProtectionImpliesEncrypt() {
        auto window = startedWindow();
        QVERIFY(window);
        QVERIFY(!window->StrongCkB->isEnabled());
        window->CodeTxt->setText(QStringLiteral("0123456789"));
        QVERIFY(window->StrongCkB->isEnabled());
        window->StrongCkB->click();
        QVERIFY(window->StrongMIt->isChecked());
        QVERIFY(window->model().hasPacking(packing::StrongWanted));
        QCOMPARE(window->EncCkB->checkState(), Qt::Checked);
        QVERIFY(!window->EncCkB->isEnabled());
        QVERIFY(!window->EncMIt->isEnabled());
        window->StrongMIt->trigger();
        QVERIFY(!window->StrongCkB->isChecked());
        QVERIFY(window->EncCkB->isEnabled());
        QVERIFY(!window->model().hasPacking(packing::StrongWanted));
    }

    // Stealth's box and item are one switch too; ticked, Strong protection is held on and the
    // crop controls are off.
    void stealthLocksStrongAndCrop() {
        auto window = startedWindow();
        QVERIFY(window);
        QVERIFY(!window->StealthCkB->isEnabled());
        window->CodeTxt->setText(QStringLiteral("0123456789"));
        for (int round = 0; round < 4; ++round) {
            const bool on = round % 2 == 0;
            round < 2 ? window->StealthCkB->click() : window->StealthMIt->trigger();
            QCOMPARE(window->StealthCkB->isChecked(), on);
            QCOMPARE(window->StealthMIt->isChecked(), on);
            QVERIFY(window->StrongCkB->isChecked() && window->StrongMIt->isChecked());
            QCOMPARE(window->StrongCkB->isEnabled(), !on);
            QCOMPARE(window->StrongMIt->isEnabled(), !on);
            for (size_t i = 0; i < window->CropBtn.size(); ++i) {
                QCOMPARE(window->CropBtn[i]->isEnabled(), !on);
                QCOMPARE(window->CropMIt[i]->isEnabled(), !on);
            }
        }
    }

    void everyTopicHasAPage() {
        const QDir help(QStringLiteral(BRINDMAR_HELP_DIR));
        for (const int topic : {3, 5, 6, 7, 8, 10, 11, 12, 13, 14, 16, 18, 19, 20}) {
            const auto page = HelpWindow::topicPages().find(topic);
            QVERIFY2(page != HelpWindow::topicPages().end(), qPrintable(QString::number(topic)));
            QVERIFY2(help.exists(page->second), qPrintable(page->second));
        }
        // Every link between the pages leads somewhere.
        const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)\""));
        for (const QString& name : help.entryList({"*.html"})) {
            QFile page(help.filePath(name));
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(page.readAll());
            for (auto it = link.globalMatch(html); it.hasNext();) {
                const QString target = it.next().captured(1);
                QVERIFY2(help.exists(target), qPrintable(name + " -> " + target));
            }
        }
    }
};

QTEST_MAIN(Embed1Test)
#include "Embed1Test.moc"
