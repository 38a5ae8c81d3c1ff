#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace brindmar {

// The colour bytes a try of the writer changed, each with the value it had before, so that a
// try that fails can leave the picture as it came. Changes are a few in a hundred bytes: far
// less to keep than a copy of the whole picture made before every embed, as there was.
class ChangeLog {
public:
    // Room for n more, asked before a batch of changes; when memory runs out, no undo from then
    // on.
    void reserve(size_t n) {
        try {
            m_bytes.reserve(m_bytes.size() + n);
            m_was.reserve(m_was.size() + n);
        } catch (const std::bad_alloc&) {
            m_lost = true;
        }
    }
    // Byte `byte` of colour is about to change; after a reserve that made room for it.
    void note(const unsigned char* colour, uint32_t byte) {
        if (!m_lost) {
            m_bytes.push_back(byte);
            m_was.push_back(colour[byte]);
        }
    }
    // Whether undo can put every change back.
    bool complete() const { return !m_lost; }
    void undo(unsigned char* colour) {
        for (size_t k = m_bytes.size(); k-- > 0;) {
            colour[m_bytes[k]] = m_was[k];
        }
        m_bytes.clear();
        m_was.clear();
    }

private:
    std::vector<uint32_t> m_bytes; // a stealth carrier has fewer than 2^32 colour bytes
    std::vector<unsigned char> m_was;
    bool m_lost = false;
};

} // namespace brindmar
