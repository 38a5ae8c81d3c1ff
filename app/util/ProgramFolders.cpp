#include "util/ProgramFolders.h"

#include "util/PathHelpers.h"
#include "util/WorkFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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

// Fallback private folders of runs that are gone: their work folders are swept, and the folder
// goes once it is empty (a live run's locked folder keeps it).
void sweepFallbackFolders(const QString& temp, const QString& prefix) {
    const QStringList found =
        QDir(temp).entryList({prefix + QStringLiteral("??????")}, QDir::Dirs | QDir::Hidden);
    for (const QString& name : found) {
        const QByteArray path = QFile::encodeName(QDir(temp).filePath(name));
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
            continue;
        }
        sweepStaleRunFolders(QFile::decodeName(path));
        ::rmdir(path.constData());
    }
}

// A folder that could be made: its nearest existing ancestor is a folder the user can write.
bool canBeMade(const QString& folder) {
    QString probe = QDir::cleanPath(folder);
    while (!QFileInfo::exists(probe)) {
        const QString parent = QFileInfo(probe).path();
        if (parent == probe) {
            return false;
        }
        probe = parent;
    }
    return isWritableFolder(probe);
}

QString besideOrInstalled(const QString& programFolder, const QString& marker,
                          const char* installedFromProgram) {
    const QString beside = withSeparator(programFolder);
    if (QFileInfo::exists(beside + marker)) {
        return beside;
    }
    return withSeparator(QDir::cleanPath(beside + QString::fromUtf8(installedFromProgram)));
}

} // namespace

QString engineFolder(const QString& programFolder) {
    return besideOrInstalled(programFolder, QStringLiteral("libvokbfn1.so"),
                             BRINDMAR_ENGINE_FROM_BIN);
}

QString dataEntry(const QString& programFolder, const QString& name) {
    return besideOrInstalled(programFolder, name, BRINDMAR_DATA_FROM_BIN) + name;
}

bool makeOutputFolder(const QString& folder) {
    return !folder.isEmpty() && (QFileInfo(folder).isDir() || QDir().mkpath(folder));
}

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

bool isSystemFolder(const QString& folder) {
    static const char* const kSystemRoots[] = {"/usr/",   "/opt/",  "/bin/", "/sbin/",   "/lib/",
                                               "/lib64/", "/snap/", "/etc/", "/var/lib/"};
    const QString clean = withSeparator(QDir::cleanPath(folder));
    for (const char* root : kSystemRoots) {
        if (clean.startsWith(QLatin1String(root))) {
            return true;
        }
    }
    return !isWritableFolder(folder);
}

QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder, const QString& picturesFolder) {
    if (!isSystemFolder(programFolder)) {
        const QString folder = programFolder + outputName;
        if ((QFileInfo(folder).isDir() || QDir().mkdir(folder)) && isWritableFolder(folder)) {
            return withSeparator(folder);
        }
        if (isWritableFolder(programFolder)) {
            return withSeparator(programFolder);
        }
    }
    // An installed program never writes beside itself: what it leaves there outlives it.
    if (!picturesFolder.isEmpty() && QDir::isAbsolutePath(picturesFolder)) {
        const QString pictures = withSeparator(picturesFolder) + QStringLiteral("BrindMar");
        if (canBeMade(pictures)) {
            return withSeparator(pictures);
        }
    }
    return withSeparator(withSeparator(userDataFolder) + outputName);
}

QString defaultEmbedOutputFolder(const QString& programFolder, const QString& outputName,
                                 const QString& userDataFolder) {
    return defaultEmbedOutputFolder(
        programFolder, outputName, userDataFolder,
        QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
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
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        const QString folder = QDir(runtime).filePath(QStringLiteral("brindmar"));
        if (ownPrivateFolder(QFile::encodeName(folder))) {
            return withSeparator(folder);
        }
    }
    QString temp = qEnvironmentVariable("TMPDIR");
    if (temp.isEmpty() || QDir::isRelativePath(temp) || !QFileInfo(temp).isDir()) {
        temp = QStringLiteral("/tmp");
    }
    // A shared folder: the user's number keeps users apart.
    const QString name = QStringLiteral("brindmar-%1").arg(::geteuid());
    const QString folder = QDir(temp).filePath(name);
    if (ownPrivateFolder(QFile::encodeName(folder))) {
        return withSeparator(folder);
    }
    // Someone else took the name first; a folder of a random name cannot be taken in advance.
    // The ones earlier runs made this way are swept as their runs end.
    sweepFallbackFolders(temp, name + u'-');
    QByteArray pattern = QFile::encodeName(QDir(temp).filePath(name + QStringLiteral("-XXXXXX")));
    if (::mkdtemp(pattern.data()) == nullptr) {
        return {};
    }
    return withSeparator(QFile::decodeName(pattern));
}

} // namespace brindmar
