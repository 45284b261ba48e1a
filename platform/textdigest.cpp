#include "platform/textdigest.h"

#include <stdexcept>
#include <sodium.h>

namespace platform {

namespace {

// Drawn once per run: a digest kept in memory tells nothing that a digest made
// elsewhere could be compared with.
const unsigned char* digestKey() {
    static const auto key = [] {
        if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
        std::array<unsigned char, crypto_generichash_KEYBYTES> k{};
        crypto_generichash_keygen(k.data());
        return k;
    }();
    return key.data();
}

}  // namespace

TextDigest digestOf(const QString& text) {
    TextDigest digest{};
    crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(text.constData()),
                       static_cast<unsigned long long>(text.size()) * sizeof(QChar), digestKey(),
                       crypto_generichash_KEYBYTES);
    return digest;
}

}  // namespace platform
