#include "Tiling.h"

#include <algorithm>
#include <cstdint>

namespace detect {

Tile halved(const Tile& picture) {
    Tile half(picture.width / 2, picture.height / 2);
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < half.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int sum = picture.at(2 * x, 2 * y, c) + picture.at(2 * x + 1, 2 * y, c) +
                                picture.at(2 * x, 2 * y + 1, c) +
                                picture.at(2 * x + 1, 2 * y + 1, c);
                half.at(x, y, c) = static_cast<uint8_t>((sum + 2) / 4);
            }
        }
    }
    return half;
}

void cutTiles(const Tile& picture, int size, int limit, std::vector<Tile>& out) {
    if (size <= 0 || limit <= 0) {
        return;
    }
    const int across = picture.width / size;
    const int down = picture.height / size;
    const int count = across * down;
    const int take = std::min(count, limit);
    for (int i = 0; i < take; ++i) {
        const int cell = static_cast<int>(static_cast<int64_t>(i) * count / take);
        const int left = (cell % across) * size;
        const int top = (cell / across) * size;
        Tile tile(size, size);
        const auto rowBytes = static_cast<size_t>(size) * 3;
        for (int y = 0; y < size; ++y) {
            const auto from = (static_cast<size_t>(top + y) * picture.width + left) * 3;
            std::copy_n(picture.bgr.begin() + static_cast<std::ptrdiff_t>(from), rowBytes,
                        tile.bgr.begin() + static_cast<std::ptrdiff_t>(y * rowBytes));
        }
        out.push_back(std::move(tile));
    }
}

} // namespace detect
