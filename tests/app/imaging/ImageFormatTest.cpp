// Which format a new image takes, and what it is called.
#include "workflows/ImageFormat.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using brindmar::ImageFormat;

TEST(ImageFormat, TheCarriersFormatOrTheOneAskedFor) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString png = write("photo.png", QByteArray("\x89PNG\r\n\x1A\n rest", 13));
    const QString bmp = write("carrier.bmp", QByteArray("BM rest"));
    const QString jpeg = write("photo.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4));
    const QString pngNamedBmp = write("odd.bmp", QByteArray("\x89PNG\r\n\x1A\n", 8));
    const QString bmpNamedPng = write("odd.png", QByteArray("BM"));
    const QString folder = QStringLiteral("/out/");
    const struct {
        QString carrier;
        std::optional<ImageFormat> asked;
        ImageFormat format;
        QString output;
    } cases[] = {
        {png, std::nullopt, ImageFormat::Png, "/out/photo.png"},
        {bmp, std::nullopt, ImageFormat::Bmp, "/out/carrier.bmp"},
        {jpeg, std::nullopt, ImageFormat::Png, "/out/photo.png"},
        {pngNamedBmp, std::nullopt, ImageFormat::Png, "/out/odd.png"},
        {bmpNamedPng, std::nullopt, ImageFormat::Bmp, "/out/odd.bmp"},
        {dir.filePath(QStringLiteral("missing.gif")), std::nullopt, ImageFormat::Png,
         "/out/missing.png"},
        {dir.filePath(QStringLiteral("gone.BMP")), std::nullopt, ImageFormat::Bmp, "/out/gone.bmp"},
        {bmp, ImageFormat::Png, ImageFormat::Png, "/out/carrier.png"},
        {png, ImageFormat::Bmp, ImageFormat::Bmp, "/out/photo.bmp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.carrier.toStdString());
        const ImageFormat format = brindmar::outputFormatFor(c.carrier, c.asked);
        EXPECT_EQ(format, c.format);
        EXPECT_EQ(brindmar::outputImagePath(folder, c.carrier, format), c.output);
    }
}

TEST(ImageFormat, NamesOnTheCommandLine) {
    const struct {
        const char* word;
        std::optional<ImageFormat> format;
    } cases[] = {{"png", ImageFormat::Png}, {"PNG", ImageFormat::Png}, {"bmp", ImageFormat::Bmp},
                 {"Bmp", ImageFormat::Bmp}, {"jpeg", std::nullopt},    {"", std::nullopt}};
    for (const auto& c : cases) {
        EXPECT_EQ(brindmar::parseImageFormat(QString::fromLatin1(c.word)), c.format) << c.word;
        if (c.format) {
            EXPECT_EQ(brindmar::parseImageFormat(brindmar::imageFormatName(*c.format)), c.format);
        }
    }
}

} // namespace
