#pragma once

// Rows that each switch one thing about the stealth coder, so that what the colour rich model
// keys on shows as the row that moves it: the coder's costs without the coder, the salt and head
// apart from the stream, the places apart from the directions. Named "diag..." so that
// `detect_bench --only=diag` runs them alone; the pixel-sum coder's rows are named "psum...".

#include "StealthAdapter.h"

#include <vector>

namespace detect {

std::vector<StealthEmbedding> diagnosisEmbeddings();

} // namespace detect
