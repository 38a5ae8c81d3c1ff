#pragma once

#include "protection/StrongSeal.h"

#include <array>
#include <optional>

namespace brindmar {

// The subkeys of a key derived from a stealth code, with libsodium's crypto_kdf under the
// stealth context, one a use: whichever picture carries the payload, pixels or a JPEG's
// coefficients, the same key gives the same subkeys.
struct StealthSubkeys {
    SecretBytes walk{32};
    SecretBytes seal{32};
    SecretBytes directions{32};
    SecretBytes head{32};
    SecretBytes code{32};
    SecretBytes pixelWalk{32};
};

// Nothing when libsodium cannot start, the key is not 32 bytes, or memory for them ran out.
std::optional<StealthSubkeys> stealthSubkeysOf(const SecretBytes& key);

// A reader cannot tell which version made a picture before it has a key: it derives one from
// the newest version's salt first, and from the earlier version's only when that found nothing
// and the two differ, so that a second derivation is paid only for a wrong code, a picture with
// no payload or an old image. found(key) reads under a key and says whether it found something
// (whole or damaged).
enum class SaltTries { Found, NotFound, NoMemory };
template <class Found>
SaltTries readUnderEachSalt(const SecretBytes& code, StrongCost cost,
                            const std::array<std::array<unsigned char, kSaltLength>, 2>& salts,
                            Found&& found) {
    for (size_t k = 0; k < salts.size(); ++k) {
        if (k != 0 && salts[k] == salts[0]) {
            break;
        }
        SealPrelude prelude;
        prelude.cost = cost;
        prelude.salt = salts[k];
        const std::optional<SecretBytes> key = deriveStrongKey(code, prelude);
        if (!key) {
            return SaltTries::NoMemory;
        }
        if (found(*key)) {
            return SaltTries::Found;
        }
    }
    return SaltTries::NotFound;
}

} // namespace brindmar
