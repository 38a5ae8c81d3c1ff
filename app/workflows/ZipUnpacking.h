#pragma once

#include <QString>
#include <QStringList>

namespace brindmar {

// The folder the ZIP tool unpacks into before anything reaches the user's folder: made beside
// the archive under a hidden ".brindmar-*.unpack" name, locked for the run's life so that only a
// later run that finds it abandoned sweeps it, and wiped and removed when done.
class UnpackingFolder {
public:
    explicit UnpackingFolder(const QString& folder);
    ~UnpackingFolder();
    UnpackingFolder(const UnpackingFolder&) = delete;
    UnpackingFolder& operator=(const UnpackingFolder&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int error() const { return m_error; }
    // Ends in a separator.
    QString path() const { return m_path; }

    // The files unpacked, as paths relative to this folder, folders before what they hold.
    QStringList members() const;

    // Moves every member into folder, all or none: a new member never replaces a file that
    // appeared since the question, a replaced file is kept here until every member is in, and
    // a failure puts back what had moved. 0, or the errno of the failure with refused naming
    // the file it concerns.
    int moveIn(const QString& folder, const QStringList& members, QString& refused);

private:
    QString m_path;
    QByteArray m_name;
    int m_folderFd = -1;
    int m_fd = -1;
    int m_error = 0;
};

} // namespace brindmar
