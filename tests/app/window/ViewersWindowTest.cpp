// The information window and the full-size viewer on the offscreen platform: what they show,
// where they go, and that they close.
#include "WorkflowHarness.h"
#include "util/ProfileFile.h"
#include "util/Settings.h"
#include "viewers/bmpinfo1.h"
#include "viewers/bmpview1.h"
#include "window/HelpWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

using namespace brindmar;

class ViewersWindowTest : public QObject {
    Q_OBJECT

private slots:
    void informationWindowListsTheHeaderAndRemembersItsPlace() {
        apptest::Harness h;
        const QString ini = h.dir.path("voke0117.ini");
        Settings settings(ini, nullptr);
        settings.WriteSetting(setting::Forms, setting::InfoX, "100000"); // beyond the screen
        settings.WriteSetting(setting::Forms, setting::InfoY, "0");
        h.model.display.bmpPath = h.file("a.bmp", bmptest::make24(100, 50, bmptest::Bytes(100 * 50 * 3, 9)));
        int helpAsked = 0;
        bmpinfo1 info(h.ctx, settings, [&](int topic) { helpAsked = topic; }, 15, nullptr);

        const QRect screen = info.screen()->geometry();
        QCOMPARE(info.pos(), QPoint((screen.width() - 396) / 2, (screen.height() - 289) / 2));
        QStringList shown;
        QTimer::singleShot(0, &info, [&] {
            for (QLabel* value : info.BMPInfoLbl) {
                shown << value->text();
            }
            info.HelpBtn->click();
            info.CloseBtn->click();
        });
        info.showInformation();
        QCOMPARE(shown, QStringList({"BM", "15054", "54", "40", "100", "50", "1", "24", "0",
                                     "15000", "2835", "2835", "0", "0"}));
        QCOMPARE(info.BMPFileTxt->text(), h.model.display.bmpPath);
        QCOMPARE(helpAsked, int(topic::BmpInformation));

        // A file that is no BMP: the message, and the window stays away.
        h.model.display.bmpPath = h.file("mz.bmp", {'M', 'Z'});
        info.showInformation();
        QVERIFY(!info.isVisible());
        QCOMPARE(h.ui.messages().size(), size_t(1));

        info.move(30, 45);
        info.savePosition();
        QCOMPARE(ProfileFile(ini).readString("FORMS", "InfoX", "?"), QStringLiteral("450"));
        QCOMPARE(ProfileFile(ini).readString("FORMS", "InfoY", "?"), QStringLiteral("675"));
    }

    void viewerScrollsTheImageAndTheCropTogether() {
        apptest::Harness h;
        h.model.display.bmpPath = h.file("wide.bmp", bmptest::make24(3000, 100, bmptest::Bytes(3000 * 100 * 3, 9)));
        h.model.pointerMarks = pointer::FrameShown;
        h.model.crop = CropRect{0.5f, 0.25f, 0.2f, 0.5f};
        bmpview1 viewer(h.ctx, [](int) {}, 15, nullptr);
        QPoint before, after, cropBefore, cropAfter;
        bool horizontal = false;
        QTimer::singleShot(0, &viewer, [&] {
            horizontal = viewer.HScroll1->isVisible();
            before = viewer.Picture1->offset();
            cropBefore = viewer.Picture1->crop()->topLeft() + before;
            viewer.HScroll1->setValue(1000);
            after = viewer.Picture1->offset();
            cropAfter = viewer.Picture1->crop()->topLeft() + after;
            viewer.DummyBtn->click();
        });
        viewer.showImage();
        QVERIFY(horizontal);
        QCOMPARE(before, QPoint(0, 0));
        // Scrolled to the end, the image's last column meets the visible area's right edge.
        QCOMPARE(after.x() + 3000, viewer.Picture1->width());
        QCOMPARE(cropAfter - cropBefore, after - before);
        QCOMPARE(viewer.Picture1->crop()->topLeft(), QPoint(1500 - 1, 20 - 1));
        QVERIFY(!viewer.isVisible());
        QCOMPARE(h.ui.mousePointer(), MousePointer::Default);
    }

    // Help over the viewer: the viewer steps down from the top, and stays open, modal and showing
    // its picture until it is closed.
    void f1LeavesTheViewerRunning() {
        apptest::Harness h;
        h.model.display.bmpPath =
            h.file("small.bmp", bmptest::make24(40, 30, bmptest::Bytes(40 * 30 * 3, 9)));
        bmpview1* self = nullptr;
        int helpTopic = 0;
        bool topmostAtHelp = true;
        bmpview1 viewer(
            h.ctx,
            [&](int topic) {
                helpTopic = topic;
                topmostAtHelp = self->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            },
            15, nullptr);
        self = &viewer;
        bool checked = false;
        bool visible = false;
        bool modal = false;
        bool picture = false;
        bool topmostBefore = false;
        QTimer::singleShot(0, &viewer, [&] {
            topmostBefore = viewer.windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            QTest::keyRelease(&viewer, Qt::Key_F1);
            // Runs only while the viewer's own loop still runs.
            QTimer::singleShot(0, &viewer, [&] {
                checked = true;
                visible = viewer.isVisible();
                modal = QApplication::activeModalWidget() == &viewer;
                picture = viewer.Picture1->hasPicture();
                viewer.DummyBtn->click();
            });
        });
        viewer.showImage();
        QVERIFY(topmostBefore);
        QVERIFY(checked);
        QVERIFY(visible);
        QVERIFY(modal);
        QVERIFY(picture);
        QCOMPARE(helpTopic, int(topic::FullSizeView));
        QVERIFY(!topmostAtHelp);
        QVERIFY(!viewer.isVisible());
    }

    // F1 in the modal viewer: the help stands in front of the viewer, as its window, where the
    // viewer's modality lets it be used; asked for from the main window later, it is the main
    // window's again.
    void helpOverTheViewerIsTheViewersWindow() {
        apptest::Harness h;
        h.model.display.bmpPath =
            h.file("small.bmp", bmptest::make24(40, 30, bmptest::Bytes(40 * 30 * 3, 9)));
        QWidget main;
        HelpWindow help(h.dir.folder(), QStringLiteral("Help"), &main);
        bmpview1 viewer(
            h.ctx, [&](int topic) { help.showTopic(topic); }, 15, &main);
        QWidget* helpOwner = nullptr;
        bool helpShown = false;
        QTimer::singleShot(0, &viewer, [&] {
            QTest::keyRelease(&viewer, Qt::Key_F1);
            QTimer::singleShot(0, &viewer, [&] {
                helpOwner = help.parentWidget();
                helpShown = help.isVisible() && help.isWindow();
                viewer.DummyBtn->click();
            });
        });
        viewer.showImage();
        QCOMPARE(helpOwner, static_cast<QWidget*>(&viewer));
        QVERIFY(helpShown);
        help.showContents();
        QCOMPARE(help.parentWidget(), &main);
        QVERIFY(help.isVisible());
    }
};

QTEST_MAIN(ViewersWindowTest)
#include "ViewersWindowTest.moc"
