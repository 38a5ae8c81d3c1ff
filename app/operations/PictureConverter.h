#pragma once

#include <QString>
#include <atomic>
#include <cstdint>

namespace brindmar {

// Why a conversion failed, for the front ends to word.
enum class PictureFault {
    None,
    NotPicture,   // no picture the converter reads
    CannotRead,   // error holds the errno
    Damaged,      // damaged or cut short
    TooLarge,     // more than limit pixels a side
    TooDeep,      // would take more memory than a picture of limit x limit pixels
    TooManyScans, // a JPEG of more scans than limit
    CannotWrite,  // the carrier could not be written: the writer's words
};

// How a conversion went: on failure, what was wrong with which file.
struct PictureConversion {
    bool ok = false;
    PictureFault fault = PictureFault::None;
    // The file the fault concerns: the source, or for CannotWrite the target.
    QString file;
    int error = 0;
    int64_t limit = 0;
    // TooDeep: a progressive JPEG, whose coefficients come on top of its pixels.
    bool progressive = false;
    QString writerWords;
    int32_t width = 0;
    int32_t height = 0;
    bool stopped = false; // given up on request; no fault then
};

// Turns a picture as people have them (any BMP variant, PNG, JPEG, TIFF, WebP, the first frame
// of a GIF) into a carrier every reader takes: a 24-bit BMP with a 40-byte header, rows bottom
// up, alpha flattened onto white, sixteen bits a channel reduced to eight, a JPEG turned upright
// by its orientation tag, colour profiles ignored. The core knows only this interface and keeps
// to Qt Core; the window and the command line hand it the implementation over Qt Gui.
class PictureConverter {
public:
    virtual ~PictureConverter() = default;

    // Whether the file holds a picture this converter reads, judged by its content.
    virtual bool canRead(const QString& path) const = 0;

    // Writes the carrier to target, a path the caller has made ready (a replacement file's
    // write path); nothing is promised about target's contents when it fails.
    virtual PictureConversion convert(const QString& source, const QString& target) const = 0;

    // The same, giving up as soon as it can once stop is set, from any thread: a decode can take
    // seconds. It may run on a thread of its own. With half, the carrier is the picture at half
    // its width and height, each pixel the average of four.
    virtual PictureConversion convertUnlessStopped(const QString& source, const QString& target,
                                                   const std::atomic<bool>& stop,
                                                   bool half = false) const {
        (void)stop;
        (void)half;
        return convert(source, target);
    }

    // Whether the file is a JPEG by its content: a photo from a camera or a phone, whose 8 x 8
    // block traces a copy at half size removes.
    virtual bool isJpeg(const QString& path) const {
        (void)path;
        return false;
    }

    // The file dialog's filter for the pictures it reads ("Pictures|*.png;*.jpg;...").
    virtual QString dialogFilter() const = 0;
};

} // namespace brindmar
