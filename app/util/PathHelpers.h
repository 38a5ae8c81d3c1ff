#pragma once

#include <QString>

namespace brindmar {

// The small path functions every workflow shares. They split on the platform's separator and
// trim spaces only; those that take the path by non-const reference trim the caller's variable
// too, because callers rely on finding it trimmed afterwards.

// The part after the last separator, or the whole trimmed path when there is none or when the
// separator is its last character.
QString FileNameOf(QString& path);

// The lower-cased text after the last "." of the file name; empty without one or when the "." is
// the name's last character.
QString ExtensionOf(QString& path);

// The folder part including its final separator; empty for a bare name.
QString FolderOf(QString& path);

// The file name without its last extension; empty for a name whose only dot is its first
// character (".profile" is all extension).
QString BaseNameOf(QString& path);

// True for an existing file of any kind but a folder; hidden and read-only files count.
bool FileExists(const QString& path);

// Whether both paths name the same file: the same text, or the same file once links and "."
// and ".." are resolved.
bool SameFile(const QString& a, const QString& b);

// Lower case with a capital at the start and after every separator, space or colon. Only the
// letters a to z are raised.
QString ProperCasePath(const QString& text);

} // namespace brindmar
