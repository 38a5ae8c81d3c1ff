#include "JpegCovers.h"

#include "Tile.h"
#include "protection/JpegCoefficients.h"

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

namespace detect {

namespace {

std::optional<QByteArray> run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        process.kill();
        return std::nullopt;
    }
    return process.readAllStandardOutput();
}

} // namespace

std::vector<QByteArray> cutJpegTiles(const std::filesystem::path& picture, int size, int limit) {
    QFile file(QString::fromStdString(picture.string()));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    brindmar::JpegCoefficients jpeg;
    if (jpeg.open(file.readAll()) != brindmar::JpegOpenStatus::Done) {
        return {};
    }
    const int across = static_cast<int>(jpeg.width()) / size;
    const int down = static_cast<int>(jpeg.height()) / size;
    const int cells = across * down;
    const int taken = std::min(cells, limit);
    std::vector<QByteArray> tiles;
    for (int i = 0; i < taken; ++i) {
        const int cell = static_cast<int>(static_cast<int64_t>(i) * cells / taken);
        const QString crop = QStringLiteral("%1x%1+%2+%3")
                                 .arg(size)
                                 .arg(cell % across * size)
                                 .arg(cell / across * size);
        std::optional<QByteArray> tile =
            run(QStringLiteral("jpegtran"),
                {QStringLiteral("-crop"), crop, QStringLiteral("-perfect"), QStringLiteral("-copy"),
                 QStringLiteral("none"), file.fileName()});
        if (tile && !tile->isEmpty()) {
            tiles.push_back(std::move(*tile));
        }
    }
    return tiles;
}

std::optional<QByteArray> steghideEmbed(const QByteArray& tile, const QByteArray& payload,
                                        uint64_t seed) {
    QTemporaryDir dir;
    if (!dir.isValid()) {
        return std::nullopt;
    }
    const QString cover = dir.filePath(QStringLiteral("cover.jpg"));
    const QString secret = dir.filePath(QStringLiteral("payload.bin"));
    const QString stego = dir.filePath(QStringLiteral("stego.jpg"));
    for (const auto& [name, bytes] : {std::pair{cover, tile}, std::pair{secret, payload}}) {
        QFile out(name);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
            return std::nullopt;
        }
    }
    Rng rng(seed);
    const QString passphrase = QString::number(rng.next(), 36) + QString::number(rng.next(), 36);
    if (!run(QStringLiteral("steghide"),
             {QStringLiteral("embed"), QStringLiteral("-cf"), cover, QStringLiteral("-ef"), secret,
              QStringLiteral("-sf"), stego, QStringLiteral("-p"), passphrase, QStringLiteral("-e"),
              QStringLiteral("none"), QStringLiteral("-Z"), QStringLiteral("-f"),
              QStringLiteral("-q")})) {
        return std::nullopt;
    }
    QFile in(stego);
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return in.readAll();
}

} // namespace detect
