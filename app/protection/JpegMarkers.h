#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace brindmar {

// What libjpeg keeps to itself about a file, read from the bytes: the scans the file is cut
// into, so that a file written again is cut the same way, and where a photograph was taken.

// A scan's header: its components by their ids, its band of coefficients in zigzag order
// (ss to se) and its bits of successive approximation.
struct JpegScan {
    std::vector<int> componentIds;
    int ss = 0;
    int se = 63;
    int ah = 0;
    int al = 0;
};

// Every scan header of the file in order; empty when the file's layout cannot be followed
// or it holds more scans than the reader takes.
std::vector<JpegScan> jpegScans(const QByteArray& file);

// Whether an APP1 segment's data (from "Exif") holds a GPS latitude and longitude that name a
// place. Offsets are taken from the segment and checked before any is followed; only the first
// directory and the GPS one are read, so a file cannot send the search round in circles.
bool exifHasGpsPosition(const QByteArray& app1);

// The same for an APP1 segment that carries XMP (the main packet or an extended part): a GPS
// latitude and longitude with a value that is not nought. A packet split over extended parts
// is looked at part by part.
bool xmpHasGpsPosition(const QByteArray& app1);

} // namespace brindmar
