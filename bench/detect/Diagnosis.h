#pragma once

// Rows that each switch one thing about the stealth coder, so that what the colour rich model
// keys on shows as the row that moves it: the coder's costs without the coder, the salt and head
// apart from the stream, the places apart from the directions. Named "diag..." so that
// `detect_bench --only=diag` runs them alone; the pixel-sum coder's rows are named "psum...":
// "psum 3 passes triple F", "psum 3 passes coupled triple F" and "psum bound triple F" for each
// price factor F of the all-three move (0.5 to 3, or "one channel only"), "psum shipped coder"
// under the same seeds, and the rows that tell the trellis's loss from the layers': "psum 3
// passes layer costs" (and "coupled layer costs"), "psum 3 passes one layer", "psum 3 passes
// layers repriced", "psum 3 passes 4 tries" and "16 tries", and "psum bounds in expectation".
// All share one row number, so their seeds follow the rate's place in --rates alone.

#include "StealthAdapter.h"

#include <vector>

namespace detect {

std::vector<StealthEmbedding> diagnosisEmbeddings();

} // namespace detect
