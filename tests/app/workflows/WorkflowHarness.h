#pragma once

// A workflow context over scripted UI services, the ZIP service over libzip, the real engine and
// the real platform, with a view that only counts render requests. Files live in scratch folders.

#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "FakeZipService.h"
#include "operations/EngineBinding.h"
#include "util/LinuxPlatform.h"
#include "window/OutcomeMessages.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DocumentSelection.h"
#include "workflows/WorkflowContext.h"

#include <cctype>
#include <memory>
#include <string>

namespace apptest {

class CountingView final : public brindmar::View {
public:
    int renders = 0;
    void render() override { ++renders; }
};

// The real platform, whose time reads a test can make fail or move: an editor saving, or a sync
// tool touching the document, between two reads of its time.
class MovingTimesPlatform final : public brindmar::Platform {
public:
    int64_t secondsPerRead = 0; // added to the last-write time at every read
    bool readsFail = false;
    mutable int64_t reads = 0;

    std::optional<brindmar::FileTimes> readFileTimes(const QString& path) const override {
        if (readsFail) {
            return std::nullopt;
        }
        std::optional<brindmar::FileTimes> times = m_real.readFileTimes(path);
        if (times) {
            times->lastWrite += secondsPerRead * reads++;
        }
        return times;
    }
    bool writeLastWriteTime(const QString& path, int64_t seconds) const override {
        return m_real.writeLastWriteTime(path, seconds);
    }
    std::optional<uint64_t> freeBytes(const QString& folder) const override {
        return m_real.freeBytes(folder);
    }

private:
    brindmar::LinuxPlatform m_real;
};

struct Harness {
    ScratchDir dir;
    ScratchDir temp;
    brindmar::WindowModel model;
    brindmar::testing::FakeUiServices ui;
    brindmar::testing::FakeZipService zip;
    // The library the program loads, or, for a test that must reach the engine's seams, the
    // engine linked into the test.
    std::unique_ptr<brindmar::EngineBinding> engineHolder;
    brindmar::EngineBinding& engine;
    MovingTimesPlatform platform;
    CountingView view;
    // The window's words for a command's end, so that a test sees the boxes the window shows.
    brindmar::OutcomeMessages outcomes;
    brindmar::WorkflowContext ctx{model,    ui,   zip,          engine,
                                  platform, view, dir.folder(), temp.folder()};

    explicit Harness(const brindmar::EngineBinding::Exports* linked = nullptr)
        : engineHolder(linked != nullptr ? std::make_unique<brindmar::EngineBinding>(*linked)
                                         : std::make_unique<brindmar::EngineBinding>(
                                               QStringLiteral(BRINDMAR_ENGINE_DIR))),
          engine(*engineHolder) {
        ctx.outcomes = &outcomes;
        ctx.notices = &outcomes;
        // A 184 x 168 pixel box at 96 dpi.
        model.thumbnailBoxWidth = 184 * 15;
        model.thumbnailBoxHeight = 168 * 15;
    }

    QString file(const QString& name, const Bytes& bytes) const {
        dir.write(name, bytes);
        return dir.path(name);
    }
};

// One run of the program: a user who types the code, sets Encrypt, picks the document and the
// carrier through the dialogs, and then presses Embed or Extract.
struct UserSession {
    Harness h;

    explicit UserSession(const QString& code, bool encrypt = false) {
        h.model.display.encryptBox =
            encrypt ? brindmar::kEncryptTicked : brindmar::kEncryptUnticked;
        brindmar::ChangeCode(h.ctx, code);
        h.ui.clear();
    }
    void chooseDocument(const QString& path) {
        h.ui.queueFileChoice(path);
        brindmar::ChooseDocument(h.ctx);
    }
    void chooseCarrier(const QString& path) {
        h.ui.queueFileChoice(path);
        brindmar::ChooseBmp(h.ctx);
    }
    // Every message shown, as "title|text".
    QStringList messages() const {
        QStringList texts;
        for (const brindmar::Message& m : h.ui.messages()) {
            texts << m.title + u'|' + m.text;
        }
        return texts;
    }
};

// A table row's name as GoogleTest accepts it: letters, digits and underscores.
struct RowName {
    template <typename Info> std::string operator()(const Info& row) const {
        std::string name = row.param.name;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        return name;
    }
};

} // namespace apptest
