#pragma once

#include "workflows/BesideEvents.h"
#include "workflows/StrongProtection.h"
#include "workflows/WorkflowContext.h"

#include <QString>
#include <cstdint>
#include <memory>

namespace brindmar {

class ReplacementFile;

// What the empty document box shows greyed while no document is chosen: how to search the chosen
// image for a stealth payload, or nothing when it cannot hold one.
QString stealthSearchHint(const WindowModel& m);

// Extract may search the chosen image for a stealth payload: a 24-bit image without a plain
// payload, no document chosen for embedding, and a code that could have sealed one.
bool stealthSearchOffered(const WindowModel& m);

// Extract would write into the extract output folder: in extract mode, and while a stealth search
// is offered, so that the output row shows the folder the search writes to.
bool outputIsExtract(const WindowModel& m);

// The output row as outputIsExtract says.
void showOutputFolder(WindowModel& m);

// Whether Stealth cannot use the chosen carrier as it is: a 24-bit image that already carries a
// plain payload (under any code) would show it.
bool stealthCarrierRefused(const WindowModel& m);

// The archive the stealth coder carries: the packed document before it is sealed.
int64_t stealthArchiveLength(const WindowModel& m);

// Under Stealth, Embed max. is what the coder takes from this carrier, there is no crop, and
// the document fits or not by that figure. Nothing changes otherwise.
void applyStealthCapacity(WindowModel& m);

// The Stealth box or its menu item: implies strong protection and locks it on, turns the crop
// off, and shows the carrier's figures for the new choice.
void ToggleStealth(WorkflowContext& ctx);

struct StealthOutcome {
    bool done = false;
    bool stopped = false;
    // Nothing opened with the code: no stealth payload, or one made with another code.
    bool notFound = false;
    // Something opened with the code, and what follows it has been altered.
    bool damaged = false;
    // CodeLength where the code can make no seal; the front end words it.
    Reason reason = Reason::None;
    // Why it failed otherwise, for the front end to word.
    Outcome failure;
};

// The packed work archive, read whole for a stealth coder; why in failure when it cannot be (a
// read the disk refused would otherwise hide what was read so far, or nothing at all).
bool ReadStealthArchive(const WindowModel& m, QByteArray& archive, Outcome& failure);

// Runs a stealth coder's job beside the window's events, with the progress a user sees; false,
// with the outcome saying why, when the code cannot be held or the user stopped.
template <typename Job>
bool RunStealthJob(WorkflowContext& ctx, const std::shared_ptr<Job>& job, StealthOutcome& outcome);

// Writes the stealth image of carrier carrying the work archive into out, without committing
// it, and reads it back with the model's code meanwhile; done only when the archive comes back
// whole and the file is written. out is shared with the coder's thread, which a Stop leaves to
// finish alone and which then drops what it wrote. Warns first when the document is above the
// recommended rate.
StealthOutcome EmbedStealthImage(WorkflowContext& ctx, const QString& carrier,
                                 std::shared_ptr<ReplacementFile> out);

// Reads the stealth PNG written at png, before it is committed, as any reader would: its
// pixels decoded from the file and the payload opened from them, with the key the embed
// derived (the model's stealthKey, which it takes) or, without one, the model's code. Done
// only when that gives the work archive back byte for byte; the decoded copy goes either way.
StealthOutcome ReadBackStealthPng(WorkflowContext& ctx, const QString& png);

// Puts an archive a search found where a plain extraction leaves its own; false, with why in
// failure, when it cannot be written.
bool LeaveStealthArchive(WorkflowContext& ctx, const QByteArray& found, Outcome& failure);

// Looks for a stealth payload in image with the model's code; when done the work archive holds
// what it carried, and nothing is written otherwise.
StealthOutcome SearchStealthPayload(WorkflowContext& ctx, const QString& image);

template <typename Job>
bool RunStealthJob(WorkflowContext& ctx, const std::shared_ptr<Job>& job, StealthOutcome& outcome) {
    if (!job->code.valid()) {
        outcome.failure = protectionFailure(Reason::NoMemory);
        return false;
    }
    ctx.model.display.progress = 20;
    ctx.render();
    if (!finishedBesideEvents(ctx, job) || ctx.model.stopRequest) {
        outcome.stopped = true;
        return false;
    }
    ctx.model.display.progress = 90;
    return true;
}

} // namespace brindmar
