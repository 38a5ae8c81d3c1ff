#include "cli/ImageWarnings.h"

#include <QMessageLogContext>
#include <QString>
#include <cstring>

namespace brindmar::cli {

namespace {

QtMessageHandler g_previous = nullptr;

// Qt's own readers log under qt.gui.imageio (libpng's warnings among them), the format plugins
// under qt.imageformats.
bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

void filtered(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (isImageReaderChatter(type, context.category) || g_previous == nullptr) {
        return;
    }
    g_previous(type, context, message);
}

} // namespace

bool isImageReaderChatter(QtMsgType type, const char* category) {
    // A critical or fatal message is a fault of the program, and is never hidden.
    if (category == nullptr || type == QtCriticalMsg || type == QtFatalMsg) {
        return false;
    }
    return startsWith(category, "qt.gui.imageio") || startsWith(category, "qt.imageformats");
}

void silenceImageReaderChatter() {
    g_previous = qInstallMessageHandler(filtered);
}

} // namespace brindmar::cli
