#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <sys/types.h>

namespace brindmar {

// A new file that takes its target's place only once it is complete: it is written in the
// target's own folder, flushed to disk, and put in place on commit, so a run that fails, is
// stopped or is killed leaves the user's old file as it was. Where the file system allows it the
// file has no name at all until the commit, and a new target gets its name straight away; only
// an existing target is replaced through a hidden ".brindmar-*.part" name, for the moment between
// a link and a rename. Such names, and the ones a file system without unnamed files needs, stay
// locked for the writer's life, and the next run in that folder removes those whose writer is
// gone. The target is replaced as a directory entry, never written through: a link there is
// replaced, not followed.
//
// Only a file the user agreed to replace (agreeToReplace) is replaced; any other file that is at
// the target when the commit comes, say one a parallel run has just written, stays, and the
// commit fails with EEXIST. A replacement keeps the mode of the file it replaces, and its owner
// where it can; a new file gets the usual mode, or 0600 when it is private.
class ReplacementFile {
public:
    enum class NewMode { Usual, Private };

    explicit ReplacementFile(const QString& target, NewMode mode = NewMode::Usual);
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
    // Appends the whole of the file at source: a work file copied into the user's folder.
    bool appendFile(const QString& source);

    // Flushes what is written so far to disk, so that a commit soon after has little left to do
    // while the caller still decides whether to commit.
    bool flush();
    // Flushes the file to disk and puts it in place, and then the folder's entry for it. False,
    // with error() set, when any step fails; the target is then untouched, but for a replaced
    // target whose folder would not sync: the new file is in place, but a crash may yet lose it.
    bool commit();
    // Drops the file; the target is untouched.
    void discard();

    // Test seams for what cannot be had on demand: a file system without unnamed files, another
    // program's file appearing between the check of the target and the rename, and a folder
    // whose sync fails (the errno, once).
    struct Seams {
        bool namedParts = false;
        std::function<void()> beforePlacing;
        int folderSyncFault = 0;
    };
    static Seams& seams();

private:
    bool placeUnnamed(const QByteArray& name, bool replace);

    QString m_target;
    QByteArray m_name;      // the target's own name in its folder
    QByteArray m_temporary; // name of the hidden file in the folder; empty while it has none
    int m_folderFd = -1;
    int m_fd = -1;
    int m_error = 0;
    mode_t m_newMode = 0;
};

// Records that the user agreed to replace what is at target now. A later commit or move to that
// target replaces this very entry, and nothing that took its place since.
void agreeToReplace(const QString& target);

// Moves a complete file over target, as a commit does: flushed first, given the replaced file's
// mode, renamed, and the folder's entry flushed too. A target not agreed to is never replaced.
// 0, or the errno of the step that failed; EXDEV when the two lie on different file systems.
// keepReplaced: a replaced file is swapped to complete's name instead of dropped, where the file
// system can swap, so that the caller can undo the move by swapping back.
int moveIntoPlace(const QString& complete, const QString& target, bool keepReplaced = false);

// The system's own words for an errno, as a user reads them ("No space left on device").
QString systemErrorText(int error);

// ": " and the system's words for an errno, or nothing for 0: the reason beside a status number,
// which alone tells the user nothing.
QString systemReason(int error);

} // namespace brindmar
