// The PNG images the embed writes from a PNG carrier: its colour and pixel size chunks kept in
// their order, its times and texts gone; and under Stealth, a PNG that does not read back from
// the file as written never takes its place.
#include "WorkflowHarness.h"
#include "imaging/QtPictureConverter.h"
#include "workflows/DocumentPacking.h"
#include "workflows/EmbedDocument.h"
#include "workflows/StealthEmbedding.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <zlib.h>

using namespace brindmar;

namespace {

const QString kCode = QStringLiteral("Correct Horse 12");

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray chunk(const char* type, const QByteArray& data) {
    QByteArray body = QByteArray(type, 4) + data;
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    out += body;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(
        quint32(::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()))),
        crc.data());
    return out + crc;
}

// Every chunk after the header, as type and data, in file order.
std::vector<std::pair<QByteArray, QByteArray>> chunksOf(const QByteArray& png) {
    std::vector<std::pair<QByteArray, QByteArray>> found;
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const auto length = qsizetype(qFromBigEndian<quint32>(png.constData() + at));
        found.emplace_back(png.mid(at + 4, 4), png.mid(at + 8, length));
        at += 12 + length;
    }
    return found;
}

// A photograph's kind of noise, saved by Qt's encoder, with extra chunks placed after its header.
QString noisyPng(const QString& path, const QByteArray& extra) {
    QImage picture(200, 150, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, (uint32_t(random()) & 0x7F7F7Fu) + 0xFF202020u);
        }
    }
    picture.save(path, "PNG");
    // Qt's own ancillary chunks go, so that the carrier holds only the ones given.
    QByteArray png = contents(path).left(8);
    for (const auto& [type, data] : chunksOf(contents(path))) {
        if (type == "IHDR" || type == "IDAT" || type == "IEND") {
            png += chunk(type.constData(), data) + (type == "IHDR" ? extra : QByteArray());
        }
    }
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(png);
    }
    return path;
}

// Plants a fault in what the embed reads back from the image it wrote; carriers decode cleanly.
class FaultyPictures final : public PictureConverter {
public:
    std::function<void(const QString&)> onPng;     // the file as written, before its decoding
    std::function<void(const QString&)> onDecoded; // its decoded copy
    bool canRead(const QString& path) const override { return m_real.canRead(path); }
    PictureConversion convert(const QString& source, const QString& target) const override {
        if (onPng) {
            onPng(source);
        }
        const PictureConversion done = m_real.convert(source, target);
        if (onDecoded && done.ok) {
            onDecoded(target);
        }
        return done;
    }
    PictureConversion convertUnlessStopped(const QString& source, const QString& target,
                                           const std::atomic<bool>& stop,
                                           bool half) const override {
        return m_real.convertUnlessStopped(source, target, stop, half);
    }
    QString dialogFilter() const override { return m_real.dialogFilter(); }

private:
    QtPictureConverter m_real;
};

struct PngSession : apptest::UserSession {
    FaultyPictures pictures;
    PngSession() : UserSession(kCode) {
        h.ctx.pictures = &pictures;
        h.ctx.strongCost = StrongCost{1, 8};
        h.model.embedOutputFolder = h.dir.folder() + QStringLiteral("out/");
        QDir().mkpath(h.model.embedOutputFolder);
    }
    QString embed(const QString& carrier, bool stealth) {
        if (stealth) {
            ToggleStealth(h.ctx);
        }
        chooseDocument(h.file(QStringLiteral("note.txt"), apptest::Bytes(300, 'n')));
        chooseCarrier(carrier);
        h.ui.queueCodeAgain(kCode);
        h.ui.clear();
        EmbedDocument(h.ctx);
        return h.model.embedOutputFolder + QFileInfo(carrier).completeBaseName() + ".png";
    }
    bool succeeded() const { return messages().join(u' ').contains(u"processed successfully"); }
};

TEST(PngOutput, KeepsTheCarriersColourAndSizeChunksInOrderAndDropsTimesAndTexts) {
    const QByteArray profile = qCompress(QByteArray(132, '\x11')).mid(4); // zlib, no length
    const struct {
        const char* type;
        QByteArray data;
        bool kept;
    } rows[] = {
        {"tIME", QByteArray("\x07\xea\x0c\x08\x0f\x1e\x00", 7), false},
        {"gAMA", QByteArray("\0\0\xb1\x8f", 4), true},
        {"cHRM",
         QByteArray("\0\0\x7a\x26\0\0\x80\x84\0\0\xfa\0\0\0\x80\xe8\0\0\x75\x30\0\0\xea"
                    "\x60\0\0\x3a\x98\0\0\x17\x70",
                    32),
         true},
        {"tEXt", QByteArray("Author\0someone", 14), false},
        {"sRGB", QByteArray(1, '\0'), true},
        {"iCCP", QByteArray("icc\0\0", 5) + profile, true},
        {"zTXt", QByteArray("Comment\0\0", 9) + qCompress(QByteArray("where")).mid(4), false},
        {"pHYs", QByteArray("\0\0\x0b\x13\0\0\x0b\x13\x01", 9), true},
        {"iTXt", QByteArray("Title\0\0\0\0\0home", 15), false},
        {"bKGD", QByteArray("\0\x10\0\x20\0\x30", 6), true},
    };
    QByteArray extra;
    std::vector<std::pair<QByteArray, QByteArray>> kept;
    for (const auto& row : rows) {
        extra += chunk(row.type, row.data);
        if (row.kept) {
            kept.emplace_back(QByteArray(row.type), row.data);
        }
    }
    for (const bool stealth : {false, true}) {
        SCOPED_TRACE(stealth ? "stealth" : "plain");
        PngSession s;
        const QString image =
            s.embed(noisyPng(s.h.dir.path(QStringLiteral("carrier.png")), extra), stealth);
        ASSERT_TRUE(s.succeeded()) << s.messages().join(u'\n').toStdString();
        std::vector<std::pair<QByteArray, QByteArray>> ancillary;
        for (const auto& [type, data] : chunksOf(contents(image))) {
            if (type != "IHDR" && type != "IDAT" && type != "IEND") {
                ancillary.emplace_back(type, data);
            }
        }
        EXPECT_EQ(ancillary, kept);
    }
}

// Whatever goes wrong between the PNG's writing and its reading back, the run fails in words,
// and neither the image nor the decoded copy is left behind.
TEST(PngOutput, AStealthPngThatDoesNotReadBackIsNeverCommitted) {
    const struct {
        const char* said;
        std::function<void(const QString&)> onPng, onDecoded;
    } rows[] = {
        {"it does not read back as a picture",
         [](const QString& png) { QFile(png).resize(QFile(png).size() / 2); },
         {}},
        {"as written it does not give the document back with this code",
         {},
         [](const QString& decoded) {
             QByteArray bmp = contents(decoded);
             for (qsizetype i = 54; i < bmp.size(); ++i) {
                 bmp[i] = char(bmp[i] ^ 1);
             }
             QFile file(decoded);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bmp) == bmp.size());
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.said);
        PngSession s;
        s.pictures.onPng = row.onPng;
        s.pictures.onDecoded = row.onDecoded;
        const QString image = s.embed(noisyPng(s.h.dir.path(QStringLiteral("c.png")), {}), true);
        const QString said = s.messages().join(u'\n');
        EXPECT_TRUE(said.contains(image + QStringLiteral(" was not written: ") + row.said))
            << said.toStdString();
        EXPECT_TRUE(QDir(s.h.model.embedOutputFolder)
                        .isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        EXPECT_FALSE(QFile::exists(s.h.temp.path(kWorkCarrierName)));
    }
}

} // namespace
