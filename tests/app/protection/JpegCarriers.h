#pragma once

#include <QByteArray>
#include <cstdint>

// JPEG carriers made for the tests with libjpeg from synthetic photographs: smooth sky, shapes
// with edges, and a noisy texture, so that the cost has busy and flat blocks to tell apart.
struct JpegCarrierKind {
    uint32_t width = 96;
    uint32_t height = 64;
    int quality = 85;
    bool progressive = false;
    bool subsampled = true; // 4:2:0, else 4:4:4
    bool optimized = false; // Huffman tables made for the picture
    unsigned restartRows = 0;
    bool exif = false;
    bool gps = false;
    bool icc = false;
    bool comment = false;
    bool grey = false;
    bool trailer = false; // bytes after the end marker, as some cameras write
    bool flat = false;    // one grey all over instead of a photograph

    // More scans than the reader takes: every AC coefficient in a scan of its own, twice over.
    bool scanBomb = false;
    uint32_t seed = 1;
};

QByteArray makeJpeg(const JpegCarrierKind& kind);

// An EXIF segment's data, "Exif\0\0" and a TIFF block in the byte order asked, with a GPS
// directory holding a latitude and longitude when gps is set.
QByteArray exifSegment(bool gps, bool bigEndian);

// The picture decoded to pixels and encoded again by libjpeg at this quality, as an editor or
// a site that recompresses uploads would.
QByteArray reencodeJpeg(const QByteArray& file, int quality, bool subsampled);
