#include "workflows/EngineLoop.h"

#include "workflows/WindowReset.h"

#include <QFile>
#include <algorithm>
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

int16_t blockRows(int64_t rows) {
    if (rows < 4 || rows > std::numeric_limits<int16_t>::max()) {
        return 4;
    }
    return static_cast<int16_t>(rows);
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

void removePartialOutput(const QString& path) {
    QFile::remove(path);
}

} // namespace brindmar
