#pragma once

// The colour rich model's features of a tile: many residuals' symmetrised 4-D co-occurrences,
// pooled over the three channels; 3-D co-occurrences of the three channels' residuals at one
// pixel; and the same 4-D co-occurrences on the colour differences R - G and B - G, where
// independent changes per channel show most.

#include "RichResiduals.h"
#include "Tile.h"

#include <cstddef>
#include <vector>

namespace detect {

// One scan of a submodel: a single residual, or the min and max over several, read along rows
// or along columns.
struct Scan {
    std::vector<Residual> residuals;
    bool alongRows;
};

// A submodel pools its scans' counts. With one residual a scan it gives the sign- and
// reversal-symmetric bins; with several, the min/max bins.
struct Submodel {
    const char* name;
    bool minMax;
    std::vector<Scan> scans;
};

const std::vector<Submodel>& richSubmodels();

// Residuals whose three channels' symbols at one pixel are counted together, one group a
// feature set (each group's members pooled).
const std::vector<std::vector<Residual>>& colourGroups();

// Quantisation steps, in multiples of each residual's scale.
inline constexpr int kRichSteps[] = {1, 2};

struct RichLayout {
    size_t spatial;     // submodels for each step, pooled over B, G and R
    size_t colour;      // 3-D co-occurrences for each step
    size_t differences; // the spatial features again, pooled over R - G and B - G
    size_t total() const { return spatial + colour + differences; }
};

RichLayout richLayout();

// The spatial features (every submodel at every step) of a set of planes pooled together.
// Planes smaller than 2 * kResidualMargin + 4 on a side give zeros.
std::vector<float> spatialFeatures(const std::vector<Plane>& planes);

// The three colour planes of a tile (B, G, R), and its differences R - G and B - G.
std::vector<Plane> colourPlanes(const Tile& tile);
std::vector<Plane> differencePlanes(const Tile& tile);

// spatial, then colour, then differences, as richLayout() gives their lengths.
std::vector<float> richFeatures(const Tile& tile);

} // namespace detect
