// The main window in use: its menus and tooltips, the commands each state offers, the help, and
// the controls that hold one another (Strong protection, Stealth, the crop).
#include "Embed1Fixture.h"

class Embed1Test : public QObject, protected Embed1Fixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }

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
