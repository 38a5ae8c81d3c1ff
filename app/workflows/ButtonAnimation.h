#pragma once

#include "workflows/WindowModel.h"

#include <optional>

namespace brindmar {

inline constexpr int kAnimationFrameCount = 9;
inline constexpr int kAnimationIntervalMs = 150;

struct AnimationStep {
    Command button; // Embed or Extract
    int frame;      // 1 to 9
};

// One tick of the button animation: advances the counter kept in the model and says which
// picture the ready button takes. Over twelve ticks the Extract button runs its frames upwards
// and the Embed button downwards, each followed by three ticks of rest.
std::optional<AnimationStep> animationTick(WindowModel& model);

} // namespace brindmar
