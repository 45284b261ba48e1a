// The sealed data file's format and its cryptography, all of it libsodium's: Argon2id
// (crypto_pwhash), XChaCha20-Poly1305 (crypto_aead_xchacha20poly1305_ietf), the random
// salt and nonce (randombytes_buf) and the guarded memory (sodium_malloc).
// A build without libsodium (KEYFOLD_NO_SODIUM, the 32-bit Windows check) reads and
// writes plain data files only.
#include "vault/seal.h"

#include <cstring>
#include <new>
#include <stdexcept>

#include "vault/datafile.h"  // kMaxDataFileBytes
#include "vault/secret.h"

#ifndef KEYFOLD_NO_SODIUM
#include <sodium.h>
#endif

namespace vault {
namespace {

constexpr unsigned char kMagic[8] = {'K', 'F', 'S', 'E', 'A', 'L', 'E', 'D'};
constexpr std::size_t kKeyBytes = 32;
// The costs a file may ask for: enough room for later releases to raise them, but never
// so much that a crafted header makes the program take gigabytes or minutes.
constexpr std::uint32_t kMaxPasses = 64;
constexpr std::uint64_t kMinMemory = 8192;
constexpr std::uint64_t kMaxMemory = 1ull << 30;

void putLe(unsigned char* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}
std::uint64_t getLe(const unsigned char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

void writeHeader(const SealHeader& h, unsigned char* out) {
    std::memset(out, 0, kSealHeaderBytes);
    std::memcpy(out, kMagic, sizeof kMagic);
    out[8] = h.version;
    putLe(out + 12, h.cost.passes, 4);
    putLe(out + 16, h.cost.memoryBytes, 8);
    std::memcpy(out + 24, h.salt.data(), kSealSaltBytes);
    std::memcpy(out + 40, h.nonce.data(), kSealNonceBytes);
}

#ifndef KEYFOLD_NO_SODIUM
void requireSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw std::runtime_error("the cryptography library could not start");
}
#endif

}  // namespace

std::optional<SealHeader> parseSealHeader(const unsigned char* bytes, std::size_t size) {
    if (size < kSealHeaderBytes + kSealTagBytes || size > kSealHeaderBytes + kSealTagBytes + kMaxDataFileBytes)
        return std::nullopt;
    if (std::memcmp(bytes, kMagic, sizeof kMagic) != 0 || bytes[8] != kSealVersion) return std::nullopt;
    if (bytes[9] != 0 || bytes[10] != 0 || bytes[11] != 0) return std::nullopt;
    SealHeader h;
    h.version = bytes[8];
    h.cost.passes = static_cast<std::uint32_t>(getLe(bytes + 12, 4));
    h.cost.memoryBytes = getLe(bytes + 16, 8);
    if (h.cost.passes < 1 || h.cost.passes > kMaxPasses || h.cost.memoryBytes < kMinMemory ||
        h.cost.memoryBytes > kMaxMemory)
        return std::nullopt;
    std::memcpy(h.salt.data(), bytes + 24, kSealSaltBytes);
    std::memcpy(h.nonce.data(), bytes + 40, kSealNonceBytes);
    return h;
}

#ifndef KEYFOLD_NO_SODIUM

bool sealingAvailable() { return true; }

GuardedBytes::GuardedBytes(std::size_t size) {
    requireSodium();
    // sodium_malloc puts guard pages around the block and locks it against swapping.
    data_ = static_cast<unsigned char*>(sodium_malloc(size == 0 ? 1 : size));
    if (!data_) throw std::bad_alloc();
    size_ = size;
}

GuardedBytes::~GuardedBytes() {
    if (data_) sodium_free(data_);  // wipes the block before it is freed
}

GuardedBytes::GuardedBytes(GuardedBytes&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
}

GuardedBytes& GuardedBytes::operator=(GuardedBytes&& other) noexcept {
    if (this != &other) {
        if (data_) sodium_free(data_);
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

SealKey::SealKey(std::string_view phrase, const std::array<unsigned char, kSealSaltBytes>& salt, SealCost cost)
    : key_(kKeyBytes), salt_(salt), cost_(cost) {
    static_assert(kSealSaltBytes == crypto_pwhash_SALTBYTES);
    if (crypto_pwhash(key_.data(), kKeyBytes, phrase.data(), phrase.size(), salt_.data(), cost_.passes,
                      static_cast<std::size_t>(cost_.memoryBytes), crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();  // the one failure left once the limits are sane: no memory
}

SealKey SealKey::derive(std::string_view phrase, const SealHeader& header) {
    return SealKey(phrase, header.salt, header.cost);
}

SealKey SealKey::fresh(std::string_view phrase, SealCost cost) {
    requireSodium();
    std::array<unsigned char, kSealSaltBytes> salt{};
    randombytes_buf(salt.data(), salt.size());
    return SealKey(phrase, salt, cost);
}

std::vector<unsigned char> sealImage(const unsigned char* image, std::size_t size, const SealKey& key) {
    static_assert(kSealNonceBytes == crypto_aead_xchacha20poly1305_ietf_NPUBBYTES);
    static_assert(kSealTagBytes == crypto_aead_xchacha20poly1305_ietf_ABYTES);
    requireSodium();
    SealHeader h;
    h.cost = key.cost();
    h.salt = key.salt();
    randombytes_buf(h.nonce.data(), h.nonce.size());
    std::vector<unsigned char> out(kSealHeaderBytes + size + kSealTagBytes);
    writeHeader(h, out.data());
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kSealHeaderBytes, &written, image, size, out.data(),
                                               kSealHeaderBytes, nullptr, h.nonce.data(), key.bytes());
    out.resize(kSealHeaderBytes + static_cast<std::size_t>(written));
    return out;
}

std::optional<GuardedBytes> openSealed(const unsigned char* file, std::size_t size, const SealKey& key) {
    const std::optional<SealHeader> h = parseSealHeader(file, size);
    if (!h) return std::nullopt;
    GuardedBytes image(size - kSealHeaderBytes - kSealTagBytes);
    unsigned long long opened = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(image.data(), &opened, nullptr, file + kSealHeaderBytes,
                                                   size - kSealHeaderBytes, file, kSealHeaderBytes, h->nonce.data(),
                                                   key.bytes()) != 0)
        return std::nullopt;
    return image;
}

#else  // KEYFOLD_NO_SODIUM

bool sealingAvailable() { return false; }

GuardedBytes::GuardedBytes(std::size_t size) : data_(new unsigned char[size == 0 ? 1 : size]), size_(size) {}
GuardedBytes::~GuardedBytes() {
    wipeBytes(data_, size_);
    delete[] data_;
}
GuardedBytes::GuardedBytes(GuardedBytes&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
}
GuardedBytes& GuardedBytes::operator=(GuardedBytes&& other) noexcept {
    if (this != &other) {
        wipeBytes(data_, size_);
        delete[] data_;
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}
SealKey::SealKey(std::string_view, const std::array<unsigned char, kSealSaltBytes>&, SealCost) {
    throw std::runtime_error("this build cannot open sealed data files");
}
SealKey SealKey::derive(std::string_view phrase, const SealHeader& header) {
    return SealKey(phrase, header.salt, header.cost);
}
SealKey SealKey::fresh(std::string_view phrase, SealCost cost) { return SealKey(phrase, {}, cost); }
std::vector<unsigned char> sealImage(const unsigned char*, std::size_t, const SealKey&) {
    throw std::runtime_error("this build cannot write sealed data files");
}
std::optional<GuardedBytes> openSealed(const unsigned char*, std::size_t, const SealKey&) { return std::nullopt; }

#endif

}  // namespace vault
