#pragma once

#include "operations/Engine.h"
#include "workflows/WorkflowContext.h"

#include <functional>
#include <optional>

namespace brindmar {

struct PayloadHeaderInfo;

enum class LoopEnd { Done, Failed, Stopped, Unavailable };

struct LoopResult {
    LoopEnd end = LoopEnd::Done;
    int32_t status = 0; // the engine's last answer
};

// Calls the engine block by block until it answers 0 (all done), fails, cannot be called, or the
// user asks to stop. Between calls the progress bar moves to base + blocks done x step and
// window events run, which is how a Stop click or a close request reaches the loop.
// call gets the block index and the engine's previous answer (the resume position of a
// run-length carrier).
LoopResult runEngineBlocks(WorkflowContext& ctx, float step, int base,
                           const std::function<EngineStatus(int16_t, int32_t)>& call);

// The engine's extraction of the payload info describes from image into output, block by block
// as runEngineBlocks runs them.
LoopResult extractPayloadBlocks(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                                int16_t rowsPerBlock, const QString& image, const QString& output,
                                float step, int base);

// Rows per engine call over an image whose rows hold rowBytes colour bytes: about 100000 colour
// bytes a call, always a multiple of 4 rows. The engine finds the payload header's bit pairs
// only in the first block, so that block holds them whole, however narrow the image; and rows
// rows take no more calls than the 16-bit block index counts. nullopt when no count that the
// engine's 16-bit slot can hold does all that.
std::optional<int16_t> blockRows(int64_t rowBytes, int64_t headerLength, int64_t rows);

// Before a run's success message: the bar full, the pointer normal, and nothing left to stop
// or to animate while the message shows.
void runCompleted(WorkflowContext& ctx, uint8_t readyAnimation);

// The end of an embed or extract run, whatever its outcome: the running bit goes (the bar keeps
// its value when asked), the commands come back, the pointer is normal and the caption hidden.
void endRun(WorkflowContext& ctx, uint8_t runningBit, bool keepProgress);

// Why the engine could not write into folder, as an errno: ENOSPC when the folder's file system
// has (almost) no room left, else EIO.
int writeFailureError(const Platform& platform, const QString& folder);

} // namespace brindmar
