#include "window/Embed1.h"
#include "window/TerminationSignals.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BrindMar"));
    // Lets Wayland desktops match the window to the installed desktop entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("brindmar"));

    brindmar::Embed1 window(brindmar::ShellEnvironment{});
    if (!window.startUp()) {
        return 1;
    }
    brindmar::TerminationSignals termination;
    QObject::connect(&termination, &brindmar::TerminationSignals::requested, &window,
                     &brindmar::Embed1::requestClose);
    window.show();
    // A carrier named on the command line (a desktop's "Open With") is chosen in the shown
    // window, so that its messages have the window to stand over.
    QTimer::singleShot(0, &window,
                       [&window] { window.openFromCommandLine(QCoreApplication::arguments()); });
    return QApplication::exec();
}
