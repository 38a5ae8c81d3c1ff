#pragma once

// Cost models the stealth coder may be given in place of its own (HILL of each channel plus HILL
// of the channel differences), for weighing one against another on the same tiles.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace detect {

using CostFunction =
    std::function<void(const unsigned char* colour, uint32_t width, uint32_t height, float* out)>;

struct CostModel {
    std::string name;
    CostFunction costs;
    bool flatWet = true;
};

std::vector<CostModel> costModels();

} // namespace detect
