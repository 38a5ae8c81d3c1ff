#pragma once

// The JPEG rows' covers and the peer they are measured against. Both go through the
// libjpeg-turbo and steghide programs (bench/jpeg_detect_setup installs them): the tiles are cut
// by jpegtran in the DCT domain, so that each keeps its photograph's quantisation and block grid
// and is never decoded and compressed again.

#include <QByteArray>
#include <filesystem>
#include <optional>
#include <vector>

namespace detect {

struct JpegTile {
    QByteArray file;
    int quality = 0; // estimated from the luminance table
    int picture = 0; // the photograph's number, in the order given
};

// Up to `limit` size x size tiles on the grid from the top left (size a multiple of 16, so that
// every tile starts on a whole MCU), spread evenly over the grid in reading order, metadata
// dropped. Nothing when the file is no JPEG, too small, or jpegtran is missing.
std::vector<QByteArray> cutJpegTiles(const std::filesystem::path& picture, int size, int limit);

// The tile with `payload` hidden by steghide under a passphrase drawn from the seed, neither
// compressed (-Z: the payload is random and would not shrink) nor encrypted (-e none: it is
// random already, and encryption would only add its own block); nothing when steghide refuses,
// most often as the tile has too little room.
std::optional<QByteArray> steghideEmbed(const QByteArray& tile, const QByteArray& payload,
                                        uint64_t seed);

} // namespace detect
