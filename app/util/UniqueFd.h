#pragma once

#include <unistd.h>

namespace brindmar {

// A descriptor closed on every path out.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = other.m_fd;
            other.m_fd = -1;
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes now and reports the close's own failure, which a network file system may use to
    // report a failed write.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    int close() {
        const int result = ::close(m_fd);
        m_fd = -1;
        return result;
    }

private:
    void reset() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

    int m_fd;
};

} // namespace brindmar
