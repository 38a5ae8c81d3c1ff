#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>

namespace brindmar {

// Asks for huge pages under the whole 2 MiB stretches of a large block not yet touched, as
// LargeBuffer does for its own: each small page would otherwise cost the system a fault of its
// own as the block is first written. A hint: without it nothing changes.
inline void preferHugePages(void* at, size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    const auto from = (reinterpret_cast<uintptr_t>(at) + kHuge - 1) & ~(kHuge - 1);
    const auto to = (reinterpret_cast<uintptr_t>(at) + bytes) & ~(kHuge - 1);
    if (to > from) {
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
#else
    (void)at;
    (void)bytes;
#endif
}

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
