#pragma once

#include "protection/StrongSeal.h"

#include <array>
#include <optional>
#include <thread>

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

// A key derivation under a fresh salt, started at once on a thread of its own: a derivation holds
// one core for most of a second, and what needs no key (reading the carrier, pricing it) goes on
// beside it rather than after it. Where no thread can be had, it derives before it returns. The
// code must outlive it; going, it waits for the derivation, which cannot be stopped.
class KeyInFlight {
public:
    KeyInFlight(const SecretBytes& code, StrongCost cost);
    ~KeyInFlight() { wait(); }
    KeyInFlight(const KeyInFlight&) = delete;
    KeyInFlight& operator=(const KeyInFlight&) = delete;

    const SealPrelude& prelude() const { return m_prelude; }
    // Until the key is made. From one thread at a time.
    void wait() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    // The key, nothing when memory ran out; waits for it first.
    std::optional<SecretBytes>& key() {
        wait();
        return m_key;
    }

private:
    void derive();

    const SecretBytes& m_code;
    SealPrelude m_prelude;
    std::optional<SecretBytes> m_key;
    std::thread m_thread;
};

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
