#pragma once

#include "operations/WipeFile.h"
#include "window/WindowModel.h"

#include <functional>

namespace brindmar {

class Engine;
class UiServices;

// What the Wipe command does to the window beyond the model; an empty function is skipped.
struct WipeCommandHooks {
    std::function<void()> normalPointer; // the crop pointer is shown
    std::function<void()> resetProgressBar;
    std::function<void()> clearDocumentPathBox; // after a rejected file name
    WipeWindowHooks wipe;
};

// The Wipe command: lets the user pick any file (offering the document just embedded), asks for
// confirmation, overwrites and deletes it, and says how it went.
void WipeCommand(WindowModel& model, Engine& engine, UiServices& ui, const WipeCommandHooks& hooks);

} // namespace brindmar
