#include "util/ProgramFolders.h"

#include "util/PathHelpers.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

QString withSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith(QDir::separator())) {
        return folder;
    }
    return folder + QDir::separator();
}

bool isWritableFolder(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

// Made by this user, for this user alone; anything else in its place is not trusted.
bool ownPrivateFolder(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        return false;
    }
    return true;
}

} // namespace

QString withProductFolderSpelling(const QString& folder) {
    const QString proper = QDir::separator() + QStringLiteral("Brindmar") + QDir::separator();
    const QString product = QDir::separator() + QStringLiteral("BrindMar") + QDir::separator();
    if (folder.size() > proper.size() && folder.endsWith(proper)) {
        return folder.left(folder.size() - proper.size()) + product;
    }
    return folder;
}

QString programFolderFrom(const QString& startFolder,
                          const std::function<bool(const QString&)>& namesStartFolder) {
    const QString proper =
        withProductFolderSpelling(ProperCasePath(startFolder) + QDir::separator());
    if (namesStartFolder(proper)) {
        return proper;
    }
    return withSeparator(QDir::cleanPath(startFolder));
}

QString programFolderFrom(const QString& startFolder) {
    const QString start = QFileInfo(startFolder).canonicalFilePath();
    return programFolderFrom(startFolder, [&start](const QString& candidate) {
        return !start.isEmpty() && QFileInfo(candidate).canonicalFilePath() == start;
    });
}

QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder) {
    QString folder = programFolder + outputName;
    if (QFileInfo(folder).isDir()) {
        folder = withSeparator(folder);
    } else if (QDir().mkdir(folder)) {
        folder = withSeparator(folder);
    } else {
        folder = programFolder;
    }
    if (isWritableFolder(folder)) {
        return folder;
    }
    const QString own = withSeparator(userDataFolder) + outputName;
    if (QDir().mkpath(own)) {
        return withSeparator(own);
    }
    return folder;
}

QString existingFolderOr(const QString& stored, const QString& fallback) {
    if (stored.isEmpty() || !QFileInfo(stored).isDir()) {
        return fallback;
    }
    return withSeparator(stored);
}

QString userDataFolder() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) {
        base = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return withSeparator(QDir(base).filePath(QStringLiteral("BrindMar")));
}

QString privateTemporaryFolder() {
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString folder;
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        folder = QDir(runtime).filePath(QStringLiteral("brindmar"));
    } else {
        QString temp = qEnvironmentVariable("TMPDIR");
        if (temp.isEmpty() || QDir::isRelativePath(temp) || !QFileInfo(temp).isDir()) {
            temp = QStringLiteral("/tmp");
        }
        // A shared folder: the user's number keeps users apart.
        folder = QDir(temp).filePath(QStringLiteral("brindmar-%1").arg(::geteuid()));
    }
    if (!ownPrivateFolder(QFile::encodeName(folder))) {
        return {};
    }
    return withSeparator(folder);
}

} // namespace brindmar
