#pragma once

#include <QString>
#include <atomic>
#include <cstdint>

namespace brindmar {

// How a conversion went: on failure, why, in words for the user.
struct PictureConversion {
    bool ok = false;
    QString error;
    int32_t width = 0;
    int32_t height = 0;
    bool stopped = false; // given up on request; error is empty then
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
