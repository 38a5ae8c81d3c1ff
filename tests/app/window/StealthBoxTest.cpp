// The Stealth box and its menu item are one switch: ticked, Strong protection shows ticked and
// cannot be taken off, and the crop buttons and menu items are off; unticked, all come back.
#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "FakeZipService.h"
#include "operations/EngineBinding.h"
#include "window/Embed1.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace brindmar;

class StealthBoxTest : public QObject {
    Q_OBJECT

private slots:
    void stealthLocksStrongAndTurnsCropOff() {
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

        QVERIFY(!window.StealthCkB->isEnabled());
        QVERIFY(!window.StealthMIt->isEnabled());
        window.CodeTxt->setText(QStringLiteral("0123456789"));
        // Ticked by the box, then by the item, then off again by each.
        for (int round = 0; round < 4; ++round) {
            const bool on = round % 2 == 0;
            if (round < 2) {
                window.StealthCkB->click();
            } else {
                window.StealthMIt->trigger();
            }
            QCOMPARE(window.StealthCkB->isChecked(), on);
            QCOMPARE(window.StealthMIt->isChecked(), on);
            QCOMPARE(window.model().stealthWanted, on);
            QVERIFY(window.StrongCkB->isChecked());
            QVERIFY(window.StrongMIt->isChecked());
            QCOMPARE(window.StrongCkB->isEnabled(), !on);
            QCOMPARE(window.StrongMIt->isEnabled(), !on);
            for (size_t i = 0; i < window.CropBtn.size(); ++i) {
                QCOMPARE(window.CropBtn[i]->isEnabled(), !on);
                QCOMPARE(window.CropMIt[i]->isEnabled(), !on);
            }
        }
    }
};

QTEST_MAIN(StealthBoxTest)
#include "StealthBoxTest.moc"
