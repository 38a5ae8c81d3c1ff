#include "window/Embed1.h"
#include "window/TerminationSignals.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

bool set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Without a display Qt aborts with advice to reinstall, which helps no one. A platform chosen
// by hand (offscreen, a VNC server) is the user's to answer for.
bool displayReachable() {
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char** argv) {
    if (!displayReachable()) {
        std::fputs("BrindMar20E: this program needs a graphical session (no display was found); "
                   "on a terminal, use brindmar instead (brindmar --help)\n",
                   stderr);
        return 1;
    }
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
