// The sealed data file: the slot image of the data file, byte for byte as the plain data
// file would hold it, encrypted whole with XChaCha20-Poly1305 under a key that Argon2id
// derives from the key phrase (libsodium). The file is a header, then the encrypted image
// and its 16-byte tag. Version 2 (written by every seal and every re-seal) has a 112-byte
// header:
//
//   offset  size  content
//   0       8     "KFSEALED"
//   8       1     format version (2)
//   9       3     zero
//   12      4     Argon2id passes, little-endian
//   16      8     Argon2id memory in bytes, little-endian
//   24      16    salt
//   40      24    nonce, new for every write
//   64      32    key check: crypto_auth (HMAC-SHA-512-256) of bytes 0 to 39 under the check key
//   96      16    header checksum: unkeyed BLAKE2b (crypto_generichash) of bytes 0 to 95
//   112     n+16  the image encrypted, then the tag
//
// crypto_kdf derives two keys from Argon2id's output: one for the image, one for the key
// check. Opening then tells three things apart: a header whose checksum fails is damaged;
// a key check that fails means the phrase is not the file's (nothing else changes it once
// the checksum holds); a tag that fails under a passing check means the image was damaged
// or altered. Version 1 (still read) has the first 64 bytes only, no key check, and
// Argon2id's output is the image's key: there a failed tag is a wrong phrase or damage,
// which that format cannot tell apart.
//
// A header asking for more than twice the default cost (SealCost) is refused before any
// key is derived, as made by a newer version: no file can make this program take
// gigabytes or minutes. An unknown version is refused the same way. The whole header is
// authenticated as associated data, so a changed byte anywhere fails. The keys and the
// opened image live in libsodium's guarded memory and are wiped when they go.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vault {

// The sealed file lies beside the plain data file, under the plain file's name with this
// ending ("KFOLD30.DAT.sealed"), so a program that knows only the plain file never opens it.
constexpr const char* kSealedFileEnding = ".sealed";

// What one guess of the key phrase costs: Argon2id's passes and memory. The default
// takes about half a second on a two-core machine of 2026 (bench/README.md).
struct SealCost {
    std::uint32_t passes = 7;
    std::uint64_t memoryBytes = 128ull << 20;
    bool operator==(const SealCost&) const = default;
};
// The most a header may ask for: twice the default passes and memory.
constexpr SealCost kMaxSealCost{2 * SealCost{}.passes, 2 * SealCost{}.memoryBytes};

constexpr std::size_t kSealTagBytes = 16;
constexpr std::size_t kSealSaltBytes = 16;
constexpr std::size_t kSealNonceBytes = 24;
constexpr std::size_t kSealCheckBytes = 32;
constexpr std::size_t kSealChecksumBytes = 16;
// The version written, and its header's size; the first version's header is smaller.
constexpr std::uint8_t kSealVersion = 2;
constexpr std::size_t kSealHeaderBytes = 112;
constexpr std::size_t kSealFirstHeaderBytes = 64;

struct SealHeader {
    std::uint8_t version = kSealVersion;
    SealCost cost;
    std::array<unsigned char, kSealSaltBytes> salt{};
    std::array<unsigned char, kSealNonceBytes> nonce{};
    std::array<unsigned char, kSealCheckBytes> check{};  // version 2 on
    std::size_t size() const { return version == 1 ? kSealFirstHeaderBytes : kSealHeaderBytes; }
};

// What the header of a file says about it.
enum class SealHeaderState {
    Readable,
    Damaged,  // no sealed file: too short, another magic, a changed byte, costs below any ever written
    Newer,    // made by a newer version: an unknown version, or costs beyond kMaxSealCost
};

// Whether sealing is built in (libsodium is there).
bool sealingAvailable();

// The header of a sealed file of size bytes into header when Readable. Costs nothing
// worth measuring: no key is derived.
SealHeaderState readSealHeader(const unsigned char* bytes, std::size_t size, SealHeader& header);
// The header, or nothing when it is not Readable.
std::optional<SealHeader> parseSealHeader(const unsigned char* bytes, std::size_t size);

// Memory from libsodium's guarded allocator: guard pages, locked against swapping,
// wiped when freed. Move-only.
class GuardedBytes {
public:
    GuardedBytes() = default;
    explicit GuardedBytes(std::size_t size);
    ~GuardedBytes();
    GuardedBytes(GuardedBytes&& other) noexcept;
    GuardedBytes& operator=(GuardedBytes&& other) noexcept;
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

private:
    unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// The key a phrase and a salt give, in guarded memory, with the salt and cost it was
// made with: Argon2id's output and the two keys made from it. Deriving costs what
// SealCost says (about half a second by default). One key opens both versions.
class SealKey {
public:
    // Throws std::bad_alloc when Argon2id cannot get its memory.
    static SealKey derive(std::string_view phrase, const SealHeader& header);
    // A new random salt.
    static SealKey fresh(std::string_view phrase, SealCost cost);

    const std::array<unsigned char, kSealSaltBytes>& salt() const { return salt_; }
    const SealCost& cost() const { return cost_; }
    // Whether a file with this header was sealed under this key's salt and cost.
    bool madeFor(const SealHeader& header) const { return header.salt == salt_ && header.cost == cost_; }
    // The image's key in a file of this version; the key check's key (version 2).
    const unsigned char* imageKey(std::uint8_t version) const;
    const unsigned char* checkKey() const;

private:
    SealKey(std::string_view phrase, const std::array<unsigned char, kSealSaltBytes>& salt, SealCost cost);
    GuardedBytes key_;  // Argon2id's output, then the image's key, then the check's key
    std::array<unsigned char, kSealSaltBytes> salt_{};
    SealCost cost_;
};

// Where a caller wants the slow part of deriving a key to run (a window: off its own
// thread). It runs work and returns once work has finished; work touches nothing but
// its own values and never throws. Empty: in place.
using KeyWork = std::function<void(const std::function<void()>& work)>;
// make() run through keyWork; what it throws is thrown here.
SealKey makeSealKey(const KeyWork& keyWork, const std::function<SealKey()>& make);

// The sealed file's bytes for an image of size bytes, in the version written: the header
// with a new nonce, then the encrypted image and the tag.
std::vector<unsigned char> sealImage(const unsigned char* image, std::size_t size, const SealKey& key);

struct SealOpening {
    enum class Outcome {
        Opened,
        HeaderRefused,  // the header is not Readable
        KeyCheckFails,  // version 2: the key is not the file's (another phrase)
        TagFails,       // version 2: the key is the file's, the image was damaged or altered;
                        // version 1: either of the two
    } outcome = Outcome::HeaderRefused;
    std::optional<GuardedBytes> image;  // when Opened
};
// A sealed file's bytes opened under key.
SealOpening openSealedFile(const unsigned char* file, std::size_t size, const SealKey& key);
// The image of a sealed file's bytes; nothing when it does not open.
std::optional<GuardedBytes> openSealed(const unsigned char* file, std::size_t size, const SealKey& key);

}  // namespace vault
