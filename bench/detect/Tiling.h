#pragma once

#include "Tile.h"

#include <vector>

namespace detect {

// The picture at half size, each pixel the rounded mean of a 2 x 2 block; an odd last row or
// column is dropped.
Tile halved(const Tile& picture);

// The grid's size x size tiles from the top left corner (which keeps a JPEG's 8 x 8 blocks
// aligned), at most `limit` of them, spread evenly over the grid in reading order.
void cutTiles(const Tile& picture, int size, int limit, std::vector<Tile>& out);

} // namespace detect
