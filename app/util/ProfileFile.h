#pragma once

#include <QByteArray>
#include <QString>

namespace brindmar {

// A profile (INI) file read and written the way the settings file has always been handled:
// sections and keys match without regard to case, values come back trimmed and without
// surrounding quotes, a missing key yields the caller's default, and a value is cut to fit the
// caller's buffer. Writing one key changes only that key's line; other keys, other sections,
// comments and line endings stay as they were, byte for byte.
class ProfileFile {
public:
    explicit ProfileFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // The text stored under the key, or the default when the file, the section or the key is
    // missing; at most bufferSize - 1 characters either way, as a caller's fixed buffer holds.
    QString readString(const QString& section, const QString& key, const QString& defaultText,
                       int bufferSize = 255) const;

    // Creates the file (and its folder) when needed, the section when missing, and the key at
    // the end of its section. The file is replaced in one step, so a failed write leaves the old
    // one intact. A value holding a line break is refused: it would forge other keys.
    bool writeString(const QString& section, const QString& key, const QString& value);

    // The same operations on the file's bytes, for callers that hold the text themselves.
    static QString readFrom(const QByteArray& content, const QString& section, const QString& key,
                            const QString& defaultText, int bufferSize = 255);
    static QByteArray writeTo(const QByteArray& content, const QString& section, const QString& key,
                              const QString& value);

private:
    QString m_path;
};

} // namespace brindmar
