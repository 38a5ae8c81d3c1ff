#include "workflows/ButtonAnimation.h"

namespace brindmar {

std::optional<AnimationStep> animationTick(WindowModel& model) {
    constexpr uint8_t bothReady = animation::EmbedReady | animation::ExtractReady;
    if (model.operationRunning() || (model.animationMarks & bothReady) == 0) {
        return std::nullopt;
    }
    if (model.animationCounter < 1) {
        model.animationCounter = 12;
    }
    --model.animationCounter;
    const int counter = model.animationCounter;

    if ((model.animationMarks & animation::ExtractReady) != 0) {
        const int frame = 11 - counter;
        if (frame >= 1 && frame <= kAnimationFrameCount) {
            return AnimationStep{Command::Extract, frame};
        }
        return std::nullopt;
    }
    if (counter >= 1 && counter <= kAnimationFrameCount) {
        return AnimationStep{Command::Embed, counter};
    }
    return std::nullopt;
}

} // namespace brindmar
