#pragma once

#include <QString>
#include <QStringList>

namespace brindmar {

// The folder the ZIP tool unpacks into before anything reaches the user's folder: made beside
// the archive under a hidden ".brindmar-*.unpack" name, locked for the run's life so that only a
// later run that finds it abandoned sweeps it, and wiped and removed when done. The run's own
// work folder notes it, so that the next start sweeps it even if no run writes there again.
class UnpackingFolder {
public:
    UnpackingFolder(const QString& folder, const QString& runFolder);
    ~UnpackingFolder();
    UnpackingFolder(const UnpackingFolder&) = delete;
    UnpackingFolder& operator=(const UnpackingFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int error() const { return m_error; }
    // Where the members are unpacked; ends in a separator.
    QString path() const { return m_path; }

    // The files unpacked, as paths relative to path(), folders before what they hold. A folder
    // that cannot be read is no folder to skip: 0, or its errno with unread naming it.
    int members(QStringList& found, QString& unread) const;

    // Moves every member into folder, all or none, even if the run is killed meanwhile (the
    // moves are written down first, and the next run undoes a swap it finds half done): a new
    // member never replaces a file that appeared since the question, a replaced file is kept
    // here until every member is in, and a failure puts back what had moved. 0, or the errno of
    // the failure with refused naming the file it concerns.
    int moveIn(const QString& folder, const QStringList& members, QString& refused);

    // Wipes and removes the folder, with the plaintext it holds: false when anything stays.
    bool release();

private:
    QString m_path;
    QByteArray m_name;
    QString m_record;
    int m_folderFd = -1;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace brindmar
