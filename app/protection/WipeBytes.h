#pragma once

#include <QByteArray>
#include <sodium.h>

namespace brindmar {

// Plain text held in a QByteArray is zeroed in place before the array lets go of it. The caller
// makes sure no implicitly shared copy exists: writing through data() would detach and zero the
// copy instead.
inline void wipeBytes(QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        sodium_memzero(bytes.data(), static_cast<size_t>(bytes.size()));
    }
    bytes.clear();
}

} // namespace brindmar
