#pragma once

#include "protection/StrongSeal.h"

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

} // namespace brindmar
