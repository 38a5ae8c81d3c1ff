#pragma once

#include <QString>
#include <functional>

namespace brindmar {

class Engine;
class UiServices;
class ZipService;

// What the main window takes from outside. Every empty field means the real thing: the Qt
// services, the libzip service, the engine library beside the program, the user's settings file,
// the program's own folder, a private temporary folder and the sound devices Qt finds. Tests
// fill in the fields they need to control.
struct ShellEnvironment {
    UiServices* ui = nullptr;
    ZipService* zip = nullptr;
    Engine* engine = nullptr;
    QString settingsFile;
    QString startFolder;
    QString temporaryFolder;
    QString userDataFolder;
    std::function<int()> audioOutputCount;
};

} // namespace brindmar
