#pragma once

// The real main window under the offscreen platform, with the scripted UI services: no dialog
// ever opens, every message is recorded. Each test starts from a scratch folder of its own.

#include "AppTestSupport.h"
#include "FakeUiServices.h"
#include "FakeZipService.h"
#include "operations/EngineBinding.h"
#include "payload/DosDateTime.h"
#include "payload/PayloadHeader.h"
#include "util/ProfileFile.h"
#include "window/Embed1.h"
#include "window/HelpWindow.h"
#include "window/TerminationSignals.h"
#include "window/ThumbnailView.h"
#include "window/WindowPlacement.h"
#include "workflows/CommandRefresh.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>
#include <csignal>
#include <memory>

using namespace brindmar;
using brindmar::testing::FakeUiServices;
using brindmar::testing::FakeZipService;

namespace {

// The command buttons, '+' for each enabled one and '-' for the rest.
QString enabledCommands(const Embed1& window) {
    QString result;
    for (const QPushButton* button : window.FunctBtn) {
        result += button->isEnabled() ? u'+' : u'-';
    }
    return result;
}

} // namespace

class Embed1Fixture {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeUiServices> m_ui;
    std::unique_ptr<FakeZipService> m_zip;
    std::unique_ptr<EngineBinding> m_engine;
    int m_audioOutputs = 1;

    QString programFolder() const { return m_dir->filePath("prog") + u'/'; }
    QString settingsPath() const { return m_dir->filePath("config/voke0117.ini"); }
    QString tempFolder() const { return m_dir->filePath("tmp") + u'/'; }

    void writeSettings(const QByteArray& content) {
        QDir().mkpath(m_dir->filePath("config"));
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QString stored(const char* section, const char* key) const {
        return ProfileFile(settingsPath()).readString(section, key, "NOT FOUND");
    }

    void addSoundFiles() {
        for (const char* name : {"success.wav", "error.wav", "attention.wav"}) {
            QFile file(programFolder() + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    std::unique_ptr<Embed1> makeWindow() {
        ShellEnvironment environment;
        environment.ui = m_ui.get();
        environment.zip = m_zip.get();
        environment.engine = m_engine.get();
        environment.settingsFile = settingsPath();
        environment.startFolder = programFolder();
        environment.temporaryFolder = tempFolder();
        environment.userDataFolder = m_dir->filePath("data") + u'/';
        environment.audioOutputCount = [this] { return m_audioOutputs; };
        return std::make_unique<Embed1>(environment);
    }

    std::unique_ptr<Embed1> startedWindow() {
        auto window = makeWindow();
        if (!window->startUp()) {
            return nullptr;
        }
        window->show();
        return window;
    }

    void setUp() {
        m_dir = std::make_unique<QTemporaryDir>();
        QDir().mkpath(m_dir->filePath("prog"));
        QDir().mkpath(m_dir->filePath("tmp"));
        m_ui = std::make_unique<FakeUiServices>();
        m_zip = std::make_unique<FakeZipService>();
        m_engine = std::make_unique<EngineBinding>(QStringLiteral(BRINDMAR_ENGINE_DIR));
        m_audioOutputs = 1;
    }
};
