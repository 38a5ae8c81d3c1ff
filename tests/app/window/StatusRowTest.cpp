// The main window's bottom row at the window's own size: the progress bar and the caption beside
// it lie whole inside the window, the caption at its font's full height.
#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "FakeZipService.h"
#include "operations/EngineBinding.h"
#include "window/Embed1.h"
#include "window/WindowPlacement.h"
#include "workflows/CommandRefresh.h"

#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

using namespace brindmar;

class StatusRowTest : public QObject {
    Q_OBJECT

private slots:
    void bottomRowIsWhole() {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("prog"));
        QDir().mkpath(dir.filePath("tmp"));
        testing::FakeUiServices ui;
        testing::FakeZipService zip;
        EngineBinding engine(QStringLiteral(BRINDMAR_ENGINE_DIR));
        ShellEnvironment environment;
        environment.ui = &ui;
        environment.zip = &zip;
        environment.engine = &engine;
        environment.settingsFile = dir.filePath("config/voke0117.ini");
        environment.startFolder = dir.filePath("prog") + u'/';
        environment.temporaryFolder = dir.filePath("tmp") + u'/';
        environment.userDataFolder = dir.filePath("data") + u'/';
        environment.audioOutputCount = [] { return 0; };
        Embed1 window(environment);
        QVERIFY(window.startUp());
        window.show();
        window.model().display.processCaption = QStringLiteral("File Extract gjpqy");
        window.model().windowState = state::DocumentChosen | state::BmpChosen | state::BmpUsable |
                                     state::EmbedPossible | state::Embedding;
        window.model().display.progress = 40;
        window.render();
        QTest::qWait(50);
        if (!qEnvironmentVariableIsEmpty("BRINDMAR_GRAB")) {
            window.grab().save(qEnvironmentVariable("BRINDMAR_GRAB"));
        }
        QCOMPARE(window.width(),
                 qRound(kMainWindowWidthTwips / twipsPerPixel(window.logicalDpiY())));
        const QRect inside = window.centralWidget()->rect();
        for (QWidget* part :
             {static_cast<QWidget*>(window.ProgressBar1), static_cast<QWidget*>(window.ProcLbl)}) {
            QVERIFY(part->isVisible());
            const QRect at(part->mapTo(window.centralWidget(), QPoint(0, 0)), part->size());
            QVERIFY2(inside.contains(at), qPrintable(part->objectName()));
        }
        QVERIFY(window.ProcLbl->height() >= window.ProcLbl->fontMetrics().height());

        // The row's tooltip follows where its words came from, not what they say: a caption
        // that reads like the Embed max. status is still the caption.
        QCOMPARE(window.ProcLbl->toolTip(), QStringLiteral("File Extract gjpqy"));
        WindowDisplay& shown = window.model().display;
        shown.embedMaxStatus = QStringLiteral("nothing fits");
        shown.embedMaxNote = QStringLiteral("why nothing fits, at length");
        shown.processCaption.clear();
        window.render();
        QCOMPARE(window.ProcLbl->toolTip(), shown.embedMaxNote);
        shown.processCaption = shown.embedMaxStatus;
        window.render();
        QCOMPARE(window.ProcLbl->toolTip(), shown.embedMaxStatus);
    }
};

QTEST_MAIN(StatusRowTest)
#include "StatusRowTest.moc"
