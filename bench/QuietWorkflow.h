#pragma once

// A workflow context's user side for benchmarks: UI services that answer every question with OK
// and every file dialog with a path set beforehand, and a view that draws nothing; and the small
// helpers the workflow benchmarks time and fail with.

#include "util/UiServices.h"
#include "workflows/View.h"

#include <QFile>
#include <QStringList>
#include <chrono>
#include <stdexcept>
#include <string>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

[[noreturn]] inline void fail(const std::string& what) {
    throw std::runtime_error(what);
}

inline std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

class QuietUi final : public brindmar::UiServices {
public:
    // What the next file dialog returns; nothing when empty.
    QString nextFile;
    // Kept only to say why a run went wrong.
    QStringList messages;

    brindmar::MessageAnswer showMessage(const brindmar::Message& m) override {
        messages << m.title + QStringLiteral(": ") + m.text;
        return brindmar::MessageAnswer::Ok;
    }
    bool soundOn() const override { return false; }
    void playSound(brindmar::Sound) override {}
    void beep(int) override {}
    // No benchmark seals: nothing is typed a second time.
    std::optional<QString> askCodeAgain(const brindmar::Message&) override { return std::nullopt; }
    std::optional<QString> chooseFile(const brindmar::FileDialogRequest&) override {
        if (nextFile.isEmpty()) {
            return std::nullopt;
        }
        return nextFile;
    }
    std::optional<QString> chooseFolder(const brindmar::FileDialogRequest&) override {
        return std::nullopt;
    }
    brindmar::MousePointer mousePointer() const override { return brindmar::MousePointer::Default; }
    void setMousePointer(brindmar::MousePointer) override {}
    void processPendingEvents() override {}
};

class NoView final : public brindmar::View {
public:
    void render() override {}
};

} // namespace bench
