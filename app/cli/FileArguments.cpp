#include "cli/FileArguments.h"

#include "cli/TerminalText.h"
#include "util/PathHelpers.h"
#include "workflows/ImageFormat.h"
#include "workflows/JpegStealthRoute.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace brindmar::cli {

namespace {

void printError(const QString& text) {
    std::fprintf(stderr, "%s\n", programLine(shownText(text)).toLocal8Bit().constData());
}

QString systemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The system's reason why path is no file a command can work on, or nothing when it is one.
QString notAFile(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) {
        return systemText(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return systemText(EISDIR);
    }
    return S_ISREG(info.st_mode) ? QString() : QStringLiteral("is not an ordinary file");
}

bool isFolder(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The values of these options are codes, not names.
bool takesCode(const char* option) {
    return std::strcmp(option, "-c") == 0 || std::strcmp(option, "--code") == 0;
}

bool carriesCode(const char* argument) {
    return std::strncmp(argument, "--code=", 7) == 0 ||
           (std::strncmp(argument, "-c", 2) == 0 && argument[2] != '\0');
}

} // namespace

std::optional<QString> ordinaryFile(const QString& path) {
    if (const QString why = notAFile(path); !why.isEmpty()) {
        printError(path + QStringLiteral(": ") + why);
        return std::nullopt;
    }
    return QFileInfo(path).absoluteFilePath();
}

std::optional<QString> bmpFile(const QString& path) {
    const std::optional<QString> file = ordinaryFile(path);
    if (!file) {
        return std::nullopt;
    }
    QString name = *file;
    if (ExtensionOf(name) != u"bmp") {
        QFile in(*file);
        const bool bmp = in.open(QIODevice::ReadOnly) && in.read(2) == "BM";
        printError(path + (bmp ? QStringLiteral(": is a BMP file, but its name does not end in "
                                                ".bmp; rename it to use it")
                               : QStringLiteral(": is not a BMP file")));
        return std::nullopt;
    }
    return file;
}

std::optional<QString> folder(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        printError(path + QStringLiteral(": ") + systemText(info.exists() ? ENOTDIR : ENOENT));
        return std::nullopt;
    }
    return QDir::cleanPath(info.absoluteFilePath()) + u'/';
}

std::optional<QString> outputFolder(const QString& path, bool make) {
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) {
        return folder(path);
    }
    // Only the last component is made: a mistyped parent is the user's to notice.
    const QString parent = QFileInfo(absolute).path();
    if (!isFolder(parent)) {
        printError(path + QStringLiteral(": ") + systemText(ENOENT));
        return std::nullopt;
    }
    if (make && ::mkdir(QFile::encodeName(absolute).constData(), 0777) != 0 && errno != EEXIST) {
        printError(path + QStringLiteral(": cannot be made: ") + systemText(errno));
        return std::nullopt;
    }
    return make ? folder(path) : std::optional<QString>(absolute + u'/');
}

std::optional<QByteArray> undecodableArgument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") != 0 && (takesCode(argv[i]) || carriesCode(argv[i]))) {
            i += takesCode(argv[i]) ? 1 : 0;
            continue;
        }
        const QByteArray bytes(argv[i]);
        if (QString::fromLocal8Bit(bytes).toLocal8Bit() != bytes) {
            return bytes;
        }
    }
    return std::nullopt;
}

QString shownBytes(const QByteArray& bytes) {
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        // The longest valid UTF-8 sequence at i, if any.
        qsizetype length = 0;
        for (qsizetype n = 1; n <= 4 && i + n <= bytes.size(); ++n) {
            const QByteArray piece = bytes.mid(i, n);
            if (QString::fromUtf8(piece).toUtf8() == piece &&
                !QString::fromUtf8(piece).contains(QChar::ReplacementCharacter)) {
                length = n;
                break;
            }
        }
        if (length == 0) {
            shown += QStringLiteral("\\x%1").arg(uint8_t(bytes[i]), 2, 16, QChar(u'0'));
            ++i;
        } else {
            shown += shownText(QString::fromUtf8(bytes.mid(i, length)));
            i += length;
        }
    }
    return shown;
}

std::optional<int> checkFiles(const Options& options) {
    bool sound = true;
    const QString& first = options.files.value(0);
    QString name = first;
    if (options.command == u"embed") {
        sound = (ExtensionOf(name) != u"bmp" ? ordinaryFile(first) : bmpFile(first)).has_value();
        sound = ordinaryFile(options.files.value(1)).has_value() && sound;
    } else if (options.command == u"extract") {
        // A PNG image is read as the BMP of its pixels; a JPEG is searched with a code.
        sound =
            (sniffImageFormat(first) == ImageFormat::Png || isJpegFile(first) ? ordinaryFile(first)
                                                                              : bmpFile(first))
                .has_value();
    } else if (options.command != u"convert") {
        sound = ordinaryFile(first).has_value();
    }
    if (!options.out.isEmpty()) {
        sound = outputFolder(options.out, false).has_value() && sound;
    }
    return sound ? std::nullopt : std::optional<int>(kFailed);
}

} // namespace brindmar::cli
