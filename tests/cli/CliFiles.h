#pragma once

// The files most command-line tests start from: a document, a noisy 24-bit carrier and the
// folders the images and the documents go to.
#include "AppTestSupport.h"
#include "BmpBuilder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <random>
#include <string>

namespace clitest {

// What one run of the program said and how it ended.
struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program with no terminal to ask on, the code (if any) given by BRINDMAR_CODE only.
inline Run brindmarWithCode(const QStringList& args, const QString& code) {
    QProcess process;
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    variables.remove(QStringLiteral("BRINDMAR_CODE"));
    if (!code.isEmpty()) {
        variables.insert(QStringLiteral("BRINDMAR_CODE"), code);
    }
    process.setProcessEnvironment(variables);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QStringLiteral(BRINDMAR_CLI), args);
    process.waitForFinished(300000);
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

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
