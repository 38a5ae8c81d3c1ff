#pragma once

#include <QString>
#include <functional>
#include <optional>

namespace brindmar {

// What a new image is written as. Only lossless formats: a lossy one changes the pixels that
// carry the document.
enum class ImageFormat { Bmp, Png };

// The format named on the command line or in the settings ("bmp" or "png", any case).
std::optional<ImageFormat> parseImageFormat(const QString& word);
QString imageFormatName(ImageFormat format);

// A file's format by its first bytes, whatever it is called: Bmp for "BM", Png for the PNG
// signature, nothing for anything else or a file that does not open.
std::optional<ImageFormat> sniffImageFormat(const QString& path, int* readError = nullptr);

// The new image's format for a carrier picture: the one asked for, else BMP for a BMP and PNG
// for anything else (a PNG keeps its format, and a JPEG, TIFF, WebP or GIF carrier gives a
// PNG, which is lossless and read everywhere).
ImageFormat outputFormatFor(const QString& carrierPicture, std::optional<ImageFormat> asked);

// NAME.bmp or NAME.png in folder (which ends in a separator), for a carrier picture NAME.*.
QString outputImagePath(const QString& folder, const QString& carrierPicture, ImageFormat format);

// Where the embed writes its new image for a carrier: NAME.png for PNG output; for BMP output
// the carrier's own name when it ends in .bmp (any case), as ever, else NAME.bmp.
QString embedOutputPath(const QString& folder, const QString& carrier,
                        std::optional<ImageFormat> asked);

// Writes the finished BMP image at bmp as PNG through a replacement file of target's and
// commits it there. An empty string when it is in place, else the reason in words. keepGoing is
// asked every few rows; when it says stop, stopped is set and the target is untouched. The
// colour and pixel size chunks of the PNG chunksFrom (a PNG carrier) go into the new image.
// check, when given, is asked about the file as written before it takes target's place: a
// reason in words leaves target untouched, and is returned.
QString commitAsPng(const QString& bmp, const QString& target,
                    const std::function<bool()>& keepGoing = {}, bool* stopped = nullptr,
                    const QString& chunksFrom = {},
                    const std::function<QString(const QString&)>& check = {});

// Why a picture sent "as a photo" through a messenger no longer carries its document, for the
// help texts.
QString messengerAdvice();

} // namespace brindmar
