#include "util/PathHelpers.h"

#include "util/TrimBlanks.h"

#include <QDir>
#include <QFileInfo>

namespace brindmar {

namespace {

QChar separator() {
    return QDir::separator();
}

bool isLowerAsciiLetter(QChar c) {
    return c >= u'a' && c <= u'z';
}

} // namespace

QString FileNameOf(QString& path) {
    path = trimBlanks(path);
    const qsizetype cut = path.lastIndexOf(separator());
    if (cut < 0 || cut == path.size() - 1) {
        return path;
    }
    return path.mid(cut + 1);
}

QString ExtensionOf(QString& path) {
    path = trimBlanks(path);
    QString name = path;
    name = FileNameOf(name).toLower();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || dot == name.size() - 1) {
        return {};
    }
    return name.mid(dot + 1);
}

QString FolderOf(QString& path) {
    path = trimBlanks(path);
    const qsizetype cut = path.lastIndexOf(separator());
    if (cut < 0) {
        return {};
    }
    return path.left(cut + 1);
}

QString BaseNameOf(QString& path) {
    path = trimBlanks(path);
    if (path.isEmpty()) {
        return {};
    }
    QString name = path;
    name = FileNameOf(name);
    if (name.isEmpty()) {
        return {};
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return name;
    }
    return name.left(dot);
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool SameFile(const QString& a, const QString& b) {
    if (a == b) {
        return true;
    }
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

QString ProperCasePath(const QString& text) {
    QString result = trimBlanks(text).toLower();
    if (result.isEmpty()) {
        return result;
    }
    if (isLowerAsciiLetter(result.at(0))) {
        result[0] = result.at(0).toUpper();
    }
    for (qsizetype i = 0; i + 1 < result.size(); ++i) {
        const QChar c = result.at(i);
        const bool startsWord = c == separator() || c == u' ' || c == u':';
        if (startsWord && isLowerAsciiLetter(result.at(i + 1))) {
            result[i + 1] = result.at(i + 1).toUpper();
        }
    }
    return result;
}

} // namespace brindmar
