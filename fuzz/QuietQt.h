#pragma once

#include <QtGlobal>

namespace fuzzin {

// Every refused input makes the image plugins warn; the warnings are expected, not findings.
inline void quietQt() {
    static const bool quiet = [] {
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        return true;
    }();
    (void)quiet;
}

} // namespace fuzzin
