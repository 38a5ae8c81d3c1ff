// Times the Embed and Extract commands through the workflows on a 6000 x 4000 carrier of a
// photograph's kind, with the new image written as PNG and as BMP, against floors measured in
// the same run: a plain PNG encode of the same pixels at the same level by Qt's writer, and a
// plain decode of the PNG by Qt's reader.
//
// Prints medians: "embed_to_png_ms N", "embed_to_bmp_ms N", "plain_png_encode_ms N",
// "extract_from_png_ms N", "extract_from_bmp_ms N", "plain_png_decode_ms N", "png_image_bytes N",
// "bmp_image_bytes N", and last "ratio embed_to_png R" (embed to PNG / (embed to BMP + plain
// encode)), "ratio extract_from_png R" (extract from PNG / (extract from BMP + plain decode))
// and "ratio png_image_size R" (PNG / BMP).
// Options: --reps=N (default 3).
#include "imaging/PngWriter.h"
#include "imaging/QtPictureConverter.h"
#include "operations/EngineBinding.h"
#include "operations/LibZipService.h"
#include "util/LinuxPlatform.h"
#include "workflows/BmpBrowsing.h"
#include "workflows/CodeEntry.h"
#include "workflows/DecodedPicture.h"
#include "workflows/DocumentSelection.h"
#include "workflows/EmbedDocument.h"
#include "workflows/ExtractDocument.h"

#include "BenchPhotograph.h"
#include "BenchSupport.h"
#include "QuietWorkflow.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

using namespace brindmar;

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
const QString kCode = QStringLiteral("0123456789");

using bench::Clock;
using bench::msSince;

[[noreturn]] void die(const QString& what) {
    std::fprintf(stderr, "png_embed_bench: %s\n", what.toLocal8Bit().constData());
    std::exit(1);
}

QImage photograph() {
    return bench::photograph(kWidth, kHeight);
}

class Runs {
public:
    explicit Runs(const QString& root)
        : m_root(root), m_binding(QStringLiteral(BRINDMAR_ENGINE_DIR "/")) {
        for (const char* sub : {"out", "found", "temp"}) {
            QDir().mkpath(root + QString::fromLatin1(sub));
        }
    }

    // Embed of the document into the carrier, the new image in the format asked for; in a
    // thread of its own, as the engine keeps its filler state per thread.
    double embed(ImageFormat format) {
        const QString image = imageOf(format);
        QFile::remove(image);
        double ms = 0;
        std::thread run([&] {
            WindowModel model;
            WorkflowContext ctx = context(model);
            ChangeCode(ctx, kCode);
            model.embedOutputFolder = m_root + QStringLiteral("out/");
            model.cropMode = 0;
            model.imageFormat = format;
            m_ui.nextFile = m_root + QStringLiteral("document.bin");
            ChooseDocument(ctx);
            m_ui.nextFile = m_root + QStringLiteral("carrier.bmp");
            ChooseBmp(ctx);
            const auto start = Clock::now();
            EmbedDocument(ctx);
            ms = msSince(start);
        });
        run.join();
        if (!QFile::exists(image)) {
            die(QStringLiteral("no image made: ") + m_ui.messages.join(u' '));
        }
        return ms;
    }

    // Extract from the image, choosing it included: a PNG is decoded when it is chosen.
    double extract(ImageFormat format) {
        const QString found = m_root + QStringLiteral("found/document.bin");
        QFile::remove(found);
        WindowModel model;
        WorkflowContext ctx = context(model);
        QtPictureConverter pictures;
        ctx.pictures = &pictures;
        ChangeCode(ctx, kCode);
        model.extractOutputFolder = m_root + QStringLiteral("found/");
        m_ui.nextFile = imageOf(format);
        const auto start = Clock::now();
        ChooseBmp(ctx);
        ExtractDocument(ctx);
        const double ms = msSince(start);
        ReleaseDecodedPicture(ctx);
        if (!QFile::exists(found)) {
            die(QStringLiteral("nothing extracted: ") + m_ui.messages.join(u' '));
        }
        return ms;
    }

    QString imageOf(ImageFormat format) const {
        return m_root + QStringLiteral("out/carrier.") + imageFormatName(format);
    }

private:
    WorkflowContext context(WindowModel& model) {
        model.thumbnailBoxWidth = 184 * 15;
        model.thumbnailBoxHeight = 168 * 15;
        return WorkflowContext{model,      m_ui,   m_zip,  m_binding,
                               m_platform, m_view, m_root, m_root + QStringLiteral("temp/")};
    }

    QString m_root;
    bench::QuietUi m_ui;
    bench::NoView m_view;
    EngineBinding m_binding;
    LibZipService m_zip;
    LinuxPlatform m_platform;
};

} // namespace

int main(int argc, char** argv) {
    const int reps = bench::runOptions(argc, argv, 3).reps;
    QTemporaryDir dir;
    const QString root = dir.path() + u'/';
    if (!QImageWriter(root + QStringLiteral("carrier.bmp"), "bmp")
             .write(photograph().convertToFormat(QImage::Format_RGB888))) {
        die(QStringLiteral("cannot write the carrier"));
    }
    // Random bytes: packing finds no gain, so neither run holds any.
    QFile document(root + QStringLiteral("document.bin"));
    QByteArray bytes(1 << 20, '\0');
    bench::Noise noise(7);
    for (char& b : bytes) {
        b = static_cast<char>(noise.next());
    }
    if (!document.open(QIODevice::WriteOnly) || document.write(bytes) != bytes.size()) {
        die(QStringLiteral("cannot write the document"));
    }
    document.close();

    Runs runs(root);
    std::vector<double> toPng, toBmp, encode, fromPng, fromBmp, decode;
    for (int r = 0; r < reps; ++r) {
        toBmp.push_back(runs.embed(ImageFormat::Bmp));
        toPng.push_back(runs.embed(ImageFormat::Png));
        // The plain encode writes the pixels the embed wrote, from memory.
        const QImage made(runs.imageOf(ImageFormat::Bmp));
        const QString plain = root + QStringLiteral("plain.png");
        const auto start = Clock::now();
        QImageWriter writer(plain, "png");
        writer.setQuality(bench::qtPngQuality(kPngLevel));
        if (!writer.write(made.convertToFormat(QImage::Format_RGB888))) {
            die(QStringLiteral("cannot encode"));
        }
        encode.push_back(msSince(start));
        fromBmp.push_back(runs.extract(ImageFormat::Bmp));
        fromPng.push_back(runs.extract(ImageFormat::Png));
        const auto read = Clock::now();
        QImage decoded;
        if (!QImageReader(runs.imageOf(ImageFormat::Png)).read(&decoded)) {
            die(QStringLiteral("cannot decode"));
        }
        decode.push_back(msSince(read));
    }
    const auto m = [](const std::vector<double>& v) { return bench::median(v); };
    const double pngBytes = double(QFile(runs.imageOf(ImageFormat::Png)).size());
    const double bmpBytes = double(QFile(runs.imageOf(ImageFormat::Bmp)).size());
    std::printf("embed_to_png_ms %.1f\n", m(toPng));
    std::printf("embed_to_bmp_ms %.1f\n", m(toBmp));
    std::printf("plain_png_encode_ms %.1f\n", m(encode));
    std::printf("extract_from_png_ms %.1f\n", m(fromPng));
    std::printf("extract_from_bmp_ms %.1f\n", m(fromBmp));
    std::printf("plain_png_decode_ms %.1f\n", m(decode));
    std::printf("png_image_bytes %.0f\n", pngBytes);
    std::printf("bmp_image_bytes %.0f\n", bmpBytes);
    std::printf("ratio embed_to_png %.2f\n", m(toPng) / (m(toBmp) + m(encode)));
    std::printf("ratio extract_from_png %.2f\n", m(fromPng) / (m(fromBmp) + m(decode)));
    std::printf("ratio png_image_size %.3f\n", pngBytes / bmpBytes);
    return 0;
}
