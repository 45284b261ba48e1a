// The sealed data file's format and its cryptography, all of it libsodium's: Argon2id
// (crypto_pwhash), the two keys made from its output (crypto_kdf), the key check
// (crypto_auth), the header checksum (crypto_generichash), XChaCha20-Poly1305
// (crypto_aead_xchacha20poly1305_ietf), the random salt and nonce (randombytes_buf) and
// the guarded memory (sodium_malloc).
// A build without libsodium (KEYFOLD_NO_SODIUM, the 32-bit Windows check) reads and
// writes plain data files only.
#include "vault/seal.h"

#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <stdexcept>

#include "vault/record.h"  // kMaxDataFileBytes
#include "vault/secret.h"

#ifndef KEYFOLD_NO_SODIUM
#include <sodium.h>
#endif

namespace vault {
namespace {

constexpr unsigned char kMagic[8] = {'K', 'F', 'S', 'E', 'A', 'L', 'E', 'D'};
constexpr std::size_t kKeyBytes = 32;
// Argon2id's least cost; nothing below it was ever written.
constexpr std::uint64_t kMinMemory = 8192;
// Where each part of the version 2 header lies (see seal.h).
constexpr std::size_t kCheckedBytes = 40;  // what the key check covers
constexpr std::size_t kCheckAt = 64;
constexpr std::size_t kChecksumAt = kCheckAt + kSealCheckBytes;
static_assert(kChecksumAt + kSealChecksumBytes == kSealHeaderBytes);
// crypto_kdf's context and the numbers of the two keys made from Argon2id's output.
constexpr char kKdfContext[8] = {'K', 'F', 'S', 'E', 'A', 'L', '0', '2'};
constexpr std::uint64_t kImageKeyId = 1;
constexpr std::uint64_t kCheckKeyId = 2;

std::uint64_t getLe(const unsigned char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

#ifndef KEYFOLD_NO_SODIUM
// Only a build that seals writes a header; every build reads one.
void putLe(unsigned char* at, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
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

void requireSodium() {
    static const bool ready = sodium_init() >= 0;
    if (!ready) throw std::runtime_error("the cryptography library could not start");
}

void headerChecksum(const unsigned char* header, unsigned char* out) {
    crypto_generichash(out, kSealChecksumBytes, header, kChecksumAt, nullptr, 0);
}

bool headerChecksumHolds(const unsigned char* header) {
    requireSodium();
    unsigned char sum[kSealChecksumBytes];
    headerChecksum(header, sum);
    return std::memcmp(sum, header + kChecksumAt, kSealChecksumBytes) == 0;
}
#else
bool headerChecksumHolds(const unsigned char*) { return false; }  // no sealed file is read here
#endif

}  // namespace

SealHeaderState readSealHeader(const unsigned char* bytes, std::size_t size, SealHeader& h) {
    if (size < 9 || std::memcmp(bytes, kMagic, sizeof kMagic) != 0 || bytes[8] == 0) return SealHeaderState::Damaged;
    // A later format may lay out everything after the version differently.
    if (bytes[8] > kSealVersion) return SealHeaderState::Newer;
    h.version = bytes[8];
    if (size < h.size() + kSealTagBytes || bytes[9] != 0 || bytes[10] != 0 || bytes[11] != 0)
        return SealHeaderState::Damaged;
    if (h.version >= 2 && !headerChecksumHolds(bytes)) return SealHeaderState::Damaged;
    h.cost.passes = static_cast<std::uint32_t>(getLe(bytes + 12, 4));
    h.cost.memoryBytes = getLe(bytes + 16, 8);
    if (h.cost.passes < 1 || h.cost.memoryBytes < kMinMemory) return SealHeaderState::Damaged;
    if (h.cost.passes > kMaxSealCost.passes || h.cost.memoryBytes > kMaxSealCost.memoryBytes)
        return SealHeaderState::Newer;
    if (size > h.size() + kSealTagBytes + kMaxDataFileBytes) return SealHeaderState::Damaged;
    std::memcpy(h.salt.data(), bytes + 24, kSealSaltBytes);
    std::memcpy(h.nonce.data(), bytes + 40, kSealNonceBytes);
    if (h.version >= 2) std::memcpy(h.check.data(), bytes + kCheckAt, kSealCheckBytes);
    return SealHeaderState::Readable;
}

std::optional<SealHeader> parseSealHeader(const unsigned char* bytes, std::size_t size) {
    SealHeader h;
    if (readSealHeader(bytes, size, h) != SealHeaderState::Readable) return std::nullopt;
    return h;
}

SealKey makeSealKey(const KeyWork& keyWork, const std::function<SealKey()>& make) {
    if (!keyWork) return make();
    std::optional<SealKey> key;
    std::exception_ptr failure;
    keyWork([&] {
        try {
            key.emplace(make());
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (failure) std::rethrow_exception(failure);
    if (!key) throw std::logic_error("the key was not derived");
    return std::move(*key);
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
    : key_(3 * kKeyBytes), salt_(salt), cost_(cost) {
    static_assert(kSealSaltBytes == crypto_pwhash_SALTBYTES);
    static_assert(kKeyBytes == crypto_kdf_KEYBYTES && kKeyBytes == crypto_auth_KEYBYTES);
    static_assert(sizeof kKdfContext == crypto_kdf_CONTEXTBYTES && kSealCheckBytes == crypto_auth_BYTES);
    // The empty phrase's view may hold no pointer at all; libsodium wants one.
    const char* text = phrase.empty() ? "" : phrase.data();
    if (crypto_pwhash(key_.data(), kKeyBytes, text, phrase.size(), salt_.data(), cost_.passes,
                      static_cast<std::size_t>(cost_.memoryBytes), crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::bad_alloc();  // the one failure left once the limits are sane: no memory
    crypto_kdf_derive_from_key(key_.data() + kKeyBytes, kKeyBytes, kImageKeyId, kKdfContext, key_.data());
    crypto_kdf_derive_from_key(key_.data() + 2 * kKeyBytes, kKeyBytes, kCheckKeyId, kKdfContext, key_.data());
}

const unsigned char* SealKey::imageKey(std::uint8_t version) const {
    return version == 1 ? key_.data() : key_.data() + kKeyBytes;
}
const unsigned char* SealKey::checkKey() const { return key_.data() + 2 * kKeyBytes; }

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
    if (size > std::numeric_limits<std::size_t>::max() - kSealHeaderBytes - kSealTagBytes)
        throw std::length_error("image too large to seal");
    std::vector<unsigned char> out(kSealHeaderBytes + size + kSealTagBytes);
    writeHeader(h, out.data());
    crypto_auth(out.data() + kCheckAt, out.data(), kCheckedBytes, key.checkKey());
    headerChecksum(out.data(), out.data() + kChecksumAt);
    unsigned long long written = 0;
    crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kSealHeaderBytes, &written, image, size, out.data(),
                                               kSealHeaderBytes, nullptr, h.nonce.data(), key.imageKey(kSealVersion));
    out.resize(kSealHeaderBytes + static_cast<std::size_t>(written));
    return out;
}

SealOpening openSealedFile(const unsigned char* file, std::size_t size, const SealKey& key) {
    SealOpening result;
    SealHeader h;
    if (readSealHeader(file, size, h) != SealHeaderState::Readable) return result;
    if (h.version >= 2 && crypto_auth_verify(h.check.data(), file, kCheckedBytes, key.checkKey()) != 0) {
        result.outcome = SealOpening::Outcome::KeyCheckFails;
        return result;
    }
    const std::size_t headerBytes = h.size();
    GuardedBytes image(size - headerBytes - kSealTagBytes);
    unsigned long long opened = 0;
    if (crypto_aead_xchacha20poly1305_ietf_decrypt(image.data(), &opened, nullptr, file + headerBytes,
                                                   size - headerBytes, file, headerBytes, h.nonce.data(),
                                                   key.imageKey(h.version)) != 0) {
        result.outcome = SealOpening::Outcome::TagFails;
        return result;
    }
    result.outcome = SealOpening::Outcome::Opened;
    result.image = std::move(image);
    return result;
}

std::optional<GuardedBytes> openSealed(const unsigned char* file, std::size_t size, const SealKey& key) {
    return openSealedFile(file, size, key).image;
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
const unsigned char* SealKey::imageKey(std::uint8_t) const { return key_.data(); }
const unsigned char* SealKey::checkKey() const { return key_.data(); }
std::vector<unsigned char> sealImage(const unsigned char*, std::size_t, const SealKey&) {
    throw std::runtime_error("this build cannot write sealed data files");
}
SealOpening openSealedFile(const unsigned char*, std::size_t, const SealKey&) { return {}; }
std::optional<GuardedBytes> openSealed(const unsigned char*, std::size_t, const SealKey&) { return std::nullopt; }

#endif

}  // namespace vault
