// The main window's start and its end: the defaults, the settings read and written, a service
// that fails the start, and the work files and the run under way at the close.
#include "Embed1Fixture.h"

class Embed1StartUpTest : public QObject, protected Embed1Fixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }

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
};

QTEST_MAIN(Embed1StartUpTest)
#include "Embed1StartUpTest.moc"
