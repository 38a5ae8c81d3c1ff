#include "window/Embed1.h"
#include "window/TerminationSignals.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BrindMar"));

    brindmar::Embed1 window(brindmar::ShellEnvironment{});
    if (!window.startUp()) {
        return 1;
    }
    brindmar::TerminationSignals termination;
    QObject::connect(&termination, &brindmar::TerminationSignals::requested, &window,
                     &brindmar::Embed1::requestClose);
    window.show();
    return QApplication::exec();
}
