#pragma once

#include "workflows/Outcome.h"
#include "workflows/WorkflowContext.h"

#include <QString>

namespace brindmar {

class ReplacementFile;

struct ImageCommit {
    bool stopped = false;
    // CannotWrite: the errno, or where there is none the encoder's words in failure.
    Reason reason = Reason::None;
    QString failure;
    int error = 0;
    // Why the PNG as written does not give the document back, when it does not: it was not
    // written then.
    Outcome readBack;
};

// Puts the embed's finished BMP image at output: the BMP itself, or a PNG made from it, which
// keeps a PNG carrier's colour and pixel size chunks and, under Stealth, takes output's place
// only once the file as written gives the document back. A stop asked meanwhile leaves output
// untouched.
ImageCommit CommitEmbeddedImage(WorkflowContext& ctx, ReplacementFile& image,
                                const QString& output);

} // namespace brindmar
