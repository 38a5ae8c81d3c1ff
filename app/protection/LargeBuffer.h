#pragma once

#include <cstddef>
#include <sys/mman.h>

namespace brindmar {

// An array of a picture's size that is read in walk order, that is at random: asked of the
// system in huge pages where it allows them, so that scattered reads do not each miss the
// address cache. Zero-filled; empty (data() null) when the memory could not be had.
template <class T> class LargeBuffer {
public:
    explicit LargeBuffer(size_t count) : m_bytes(count * sizeof(T)) {
        if (m_bytes == 0) {
            return;
        }
        void* at =
            mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (at == MAP_FAILED) {
            return;
        }
#ifdef MADV_HUGEPAGE
        madvise(at, m_bytes, MADV_HUGEPAGE); // a hint: without it the pages are small
#endif
        m_data = static_cast<T*>(at);
    }
    ~LargeBuffer() {
        if (m_data != nullptr) {
            munmap(m_data, m_bytes);
        }
    }
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    T* data() const {
        return m_data;
    }
    bool failed() const {
        return m_bytes != 0 && m_data == nullptr;
    }
    T& operator[](size_t i) const {
        return m_data[i];
    }

private:
    size_t m_bytes;
    T* m_data = nullptr;
};

} // namespace brindmar
