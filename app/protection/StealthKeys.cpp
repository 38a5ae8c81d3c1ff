#include "protection/StealthKeys.h"

#include "protection/StealthImage.h"

#include <new>
#include <sodium.h>
#include <system_error>
#include <utility>

namespace brindmar {

std::optional<StealthSubkeys> stealthSubkeysOf(const SecretBytes& key) {
    if (sodium_init() < 0 || key.size() != crypto_kdf_KEYBYTES) {
        return std::nullopt;
    }
    StealthSubkeys keys;
    const std::pair<SecretBytes*, StealthSubkey> all[] = {
        {&keys.walk, StealthSubkey::Walk},
        {&keys.seal, StealthSubkey::Seal},
        {&keys.directions, StealthSubkey::Directions},
        {&keys.head, StealthSubkey::Head},
        {&keys.code, StealthSubkey::Code},
        {&keys.pixelWalk, StealthSubkey::PixelWalk}};
    for (const auto& [into, id] : all) {
        if (!into->valid() ||
            crypto_kdf_derive_from_key(into->data(), into->size(), static_cast<uint64_t>(id),
                                       kStealthKdfContext, key.data()) != 0) {
            return std::nullopt;
        }
    }
    return keys;
}

KeyInFlight::KeyInFlight(const SecretBytes& code, StrongCost cost)
    : m_code(code), m_prelude(freshPrelude(cost)) {
    try {
        m_thread = std::thread([this] { derive(); });
    } catch (const std::system_error&) {
        derive();
    }
}

void KeyInFlight::derive() {
    try {
        m_key = deriveStrongKey(m_code, m_prelude);
    } catch (const std::bad_alloc&) {
        m_key.reset();
    }
}

} // namespace brindmar
