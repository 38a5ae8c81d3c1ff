#pragma once

// The files most command-line tests start from: a document, a noisy 24-bit carrier and the
// folders the images and the documents go to.
#include "AppTestSupport.h"
#include "BmpBuilder.h"

#include <QDir>
#include <QFile>
#include <random>
#include <string>

namespace clitest {

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Files {
    apptest::ScratchDir dir;
    QString out = dir.folder() + QStringLiteral("out/");
    QString found = dir.folder() + QStringLiteral("found/");

    explicit Files(bool compressible = true) {
        QDir().mkpath(out);
        QDir().mkpath(found);
        std::mt19937 random(3);
        std::string document(4000, 'a');
        for (char& c : document) {
            c = compressible ? "abcd "[random() % 5] : static_cast<char>(random());
        }
        dir.write(QStringLiteral("notes.txt"), document);
        bmptest::Bytes pixels(200 * 120 * 3);
        for (uint8_t& b : pixels) {
            b = static_cast<uint8_t>(random());
        }
        dir.write(QStringLiteral("carrier.bmp"), bmptest::make24(200, 120, pixels));
    }
    QString path(const char* name) const { return dir.path(QString::fromLatin1(name)); }
};

} // namespace clitest
