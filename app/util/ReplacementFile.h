#pragma once

#include <QByteArray>
#include <QString>

namespace brindmar {

// A new file that takes its target's place only once it is complete: it is written in the
// target's own folder, flushed to disk, and renamed over the target on commit, so a run that
// fails, is stopped or is killed leaves the user's old file as it was. Where the file system
// allows it the file has no name at all until the commit, so a crash leaves nothing behind;
// elsewhere it is a hidden ".brindmar-*.part" file that no later run takes for a result. The
// target is replaced as a directory entry, never written through: a link there is replaced, not
// followed.
class ReplacementFile {
public:
    // named: a hidden file from the start, for writers that replace the file they are given
    // by a rename of their own (libzip does), which an unnamed file cannot take.
    explicit ReplacementFile(const QString& target, bool named = false);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // The errno of the step that failed last.
    int error() const { return m_error; }
    const QString& target() const { return m_target; }

    // A path that path-based writers (the engine, the time setter) can open to reach this file.
    QString writePath() const;
    // Appends bytes through the file's own descriptor.
    bool append(const QByteArray& bytes);

    // Flushes the file to disk and renames it over the target. False, with error() set, when
    // any step fails; the target is then untouched.
    bool commit();
    // Drops the file; the target is untouched.
    void discard();

private:
    bool linkUnnamed(const QByteArray& name);

    QString m_target;
    QByteArray m_folder;    // native, without a final separator
    QByteArray m_temporary; // native name of the hidden file; empty while the file has no name
    int m_fd = -1;
    int m_error = 0;
};

// Moves a complete file over target, as a commit does: flushed first, renamed, and the folder's
// entry flushed too. 0, or the errno of the step that failed; EXDEV when the two lie on
// different file systems.
int moveIntoPlace(const QString& complete, const QString& target);

// The system's own words for an errno, as a user reads them ("No space left on device").
QString systemErrorText(int error);

} // namespace brindmar
