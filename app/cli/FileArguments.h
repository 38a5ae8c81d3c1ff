#pragma once

#include "cli/Commands.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace brindmar::cli {

// The files and folders a command names, checked the same way before a code is asked for and
// when the command runs. Each check prints its one error line and gives nothing on failure.

// An ordinary file, as an absolute path; folders, FIFOs and missing files are not.
std::optional<QString> ordinaryFile(const QString& path);

// A picture the BMP commands take: an ordinary file whose name ends in ".bmp", as the window's
// chooser asks. A BMP named otherwise is told so, rather than found invalid.
std::optional<QString> bmpFile(const QString& path);

// An existing folder, absolute and ending in "/".
std::optional<QString> folder(const QString& path);

// An output folder: one that exists, or one whose parent does, so that mkdir could make it.
// make: make it then (with the umask's permissions, as mkdir does).
std::optional<QString> outputFolder(const QString& path, bool make);

// The first argument that does not come back as the same bytes once read as text: a name
// in another encoding would otherwise reach the file system as a look-alike. A code given on
// the command line is not a name and is left to the code's own checks.
std::optional<QByteArray> undecodableArgument(int argc, char** argv);

// Checks the files and the output folder a command names, before a code is asked for: each
// refused one gets its error line, and the result is the exit status then.
std::optional<int> checkFiles(const Options& options);

// An argument's bytes as they can be shown: valid UTF-8 kept, any other byte as \xNN, control
// characters escaped.
QString shownBytes(const QByteArray& bytes);

} // namespace brindmar::cli
