#include "workflows/EngineLoop.h"

#include "payload/PayloadHeaderReader.h"
#include "util/Platform.h"
#include "util/ReplacementFile.h"
#include "workflows/WindowReset.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

namespace brindmar {

LoopResult runEngineBlocks(WorkflowContext& ctx, float step, int base,
                           const std::function<EngineStatus(int16_t, int32_t)>& call) {
    WindowModel& m = ctx.model;
    int16_t blockIndex = 0;
    int32_t previous = 0;
    while (true) {
        if (m.stopRequest) {
            return {LoopEnd::Stopped, previous};
        }
        const EngineStatus status = call(blockIndex, previous);
        if (!status) {
            return {LoopEnd::Unavailable, 0};
        }
        ++blockIndex;
        previous = *status;
        if (previous > 0) {
            const double value = std::floor(blockIndex * double{step} + base);
            m.display.progress = static_cast<int>(std::clamp(value, 0.0, 100.0));
        }
        ctx.letEventsRun();
        if (previous == 0) {
            return {LoopEnd::Done, 0};
        }
        if (previous < 0) {
            return {LoopEnd::Failed, previous};
        }
        if (blockIndex == std::numeric_limits<int16_t>::max()) {
            // No carrier the program accepts needs this many blocks; a loop that does has gone
            // wrong and must not run forever.
            return {LoopEnd::Failed, 0};
        }
    }
}

LoopResult extractPayloadBlocks(WorkflowContext& ctx, const PayloadHeaderInfo& info,
                                int16_t rowsPerBlock, const QString& image, const QString& output,
                                float step, int base) {
    ExtractArgs args;
    args.rowsPerBlock = rowsPerBlock;
    args.dataOffset = info.dataOffset;
    args.rowBytes = info.rowBytes;
    args.docLength = info.documentLength;
    args.headerLength = static_cast<int16_t>(info.headerLength());
    args.carrierPath = image;
    args.outputPath = output;
    return runEngineBlocks(ctx, step, base, [&](int16_t block, int32_t) {
        args.blockIndex = block;
        return ctx.engine.extract(args);
    });
}

std::optional<int16_t> blockRows(int64_t rowBytes, int64_t headerLength, int64_t rows) {
    constexpr int64_t kBytesPerCall = 100000;
    constexpr int64_t kLargestCount = std::numeric_limits<int16_t>::max() / 4 * 4;
    constexpr int64_t kMostBlocks = std::numeric_limits<int16_t>::max() - 1;
    if (rowBytes < 1 || headerLength < 0 || rows < 0) {
        return std::nullopt;
    }
    const auto wholeGroups = [](int64_t count) { return (count + 3) / 4 * 4; };
    int64_t count = std::clamp<int64_t>(kBytesPerCall / rowBytes / 4 * 4, 4, kLargestCount);
    // The header ends strictly inside the first block: the engine needs a bit pair after it.
    count = std::max(count, wholeGroups(4 * headerLength / rowBytes + 1));
    count = std::max(count, wholeGroups((rows + kMostBlocks - 1) / kMostBlocks));
    if (count > kLargestCount) {
        return std::nullopt;
    }
    return static_cast<int16_t>(count);
}

void runCompleted(WorkflowContext& ctx, uint8_t readyAnimation) {
    WindowModel& m = ctx.model;
    m.display.progress = 100;
    normalPointer(ctx);
    m.animationMarks &= static_cast<uint8_t>(~readyAnimation);
    m.display.commandEnabled[static_cast<size_t>(Command::Stop)] = false;
}

void endRun(WorkflowContext& ctx, uint8_t runningBit, bool keepProgress) {
    WindowModel& m = ctx.model;
    m.setState(state::KeepProgress, keepProgress);
    m.setState(runningBit, false);
    ctx.refresh();
    normalPointer(ctx);
    m.display.processCaption.clear();
}

int writeFailureError(const Platform& platform, const QString& folder) {
    // A buffered writer fails once fewer bytes are free than its buffer holds.
    constexpr uint64_t kAlmostFull = 1 << 20;
    const std::optional<uint64_t> free = platform.freeBytes(folder);
    return free && *free < kAlmostFull ? ENOSPC : EIO;
}

} // namespace brindmar
