#pragma once

#include "workflows/ImageFormat.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace brindmar::cli {

// Exit statuses.
inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;

struct Options {
    QString command;
    QStringList files;
    QString out;
    std::optional<QString> code;
    bool encrypt = false;
    bool strong = false;
    // Implies strong: the sealed document carried so that the image keeps the carrier's size.
    bool stealth = false;
    // No crop: an image cut to the document's size stands out wherever it is sent.
    uint8_t cropMode = 0;
    // Nothing: the carrier decides (a BMP gives a BMP, any other picture a PNG).
    std::optional<brindmar::ImageFormat> imageFormat;
    bool keepTimes = false;
    // A picture converted into a carrier is made at half size (a 2 x 2 average).
    bool half = false;
    // Under Stealth a JPEG carrier gives a JPEG: without its EXIF.
    bool stripMetadata = false;
    bool yes = false;
    bool quiet = false;
};

// Each runs the window's own workflows on a terminal; the result is the exit status.
int runEmbed(const Options& options);
int runExtract(const Options& options);
int runInfo(const Options& options);
int runWipe(const Options& options);
int runZip(const Options& options);
// Pictures of any kind into BMP carriers in --out.
int runConvert(const Options& options);

} // namespace brindmar::cli
