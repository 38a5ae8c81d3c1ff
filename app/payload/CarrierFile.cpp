#include "payload/CarrierFile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindmar {

namespace {

struct ReadFault {
    int64_t countdown = 0;
    int error = 0;
};

thread_local ReadFault t_readFault;
thread_local int64_t t_reads = 0;

bool injectedReadFault() {
    ++t_reads;
    ReadFault& fault = t_readFault;
    if (fault.countdown <= 0 || --fault.countdown > 0) {
        return false;
    }
    errno = fault.error;
    return true;
}

} // namespace

void CarrierFile::failNthRead(int64_t n, int error) {
    t_readFault = {n, error};
}

int64_t CarrierFile::reads() {
    return t_reads;
}

CarrierFile::CarrierFile(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK: a FIFO must not stall the reader; it is refused just below.
    m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info {};
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_size = m_fd >= 0 ? static_cast<int64_t>(info.st_size) : 0;
}

CarrierFile::~CarrierFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

size_t CarrierFile::readAt(int64_t offset, unsigned char* buffer, size_t length) const {
    size_t done = 0;
    while (done < length) {
        const ssize_t got = injectedReadFault()
                                ? -1
                                : ::pread(m_fd, buffer + done, length - done,
                                          static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && m_error == 0) {
            m_error = errno != 0 ? errno : EIO;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<size_t>(got);
    }
    return done;
}

} // namespace brindmar
