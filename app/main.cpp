#include "window/Embed1.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("BrindMar"));

    brindmar::Embed1 window(brindmar::ShellEnvironment{});
    if (!window.startUp()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
