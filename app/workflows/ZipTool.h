#pragma once

#include "workflows/WorkflowContext.h"

namespace brindmar {

// The ZIP / UnZIP tool of the File menu: a ZIP archive the user picks is unpacked into the
// folder that holds it, all members or none, with the overwrite question for each member that
// would replace a file there; any other file is packed into an archive beside it. No password, and
// nothing of the window's selections is touched.
Outcome RunZipTool(WorkflowContext& ctx);

// Where the tool packs a file: its folder and base name with ".zip" ("z1.txt" gives "z1.zip"),
// or the whole name with ".zip" added where that would name the file itself.
QString zipToolArchivePath(const QString& path);

} // namespace brindmar
