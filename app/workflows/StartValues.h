#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

class Settings;

// The options, crop choice and folders as the settings file holds them, then the window reset
// (the Reset command, and the last step of start-up). userDataFolder is where the default output
// folder goes when the program folder cannot take it.
void RestoreStartValues(WorkflowContext& ctx, Settings& settings, const QString& userDataFolder);

} // namespace brindmar
