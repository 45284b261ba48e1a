// The sealed data file: the slot image of the data file, byte for byte as the plain data
// file would hold it, encrypted whole with XChaCha20-Poly1305 under a key that Argon2id
// derives from the key phrase (libsodium). The file is a 64-byte header, then the
// encrypted image and its 16-byte tag:
//
//   offset  size  content
//   0       8     "KFSEALED"
//   8       1     format version (1)
//   9       3     zero
//   12      4     Argon2id passes, little-endian
//   16      8     Argon2id memory in bytes, little-endian
//   24      16    salt
//   40      24    nonce, new for every write
//   64      n+16  the image encrypted, then the tag
//
// The whole header is authenticated as associated data, so a changed limit, salt or
// nonce fails like a changed byte of the image. The key and the opened image live in
// libsodium's guarded memory and are wiped when they go.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
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

constexpr std::size_t kSealHeaderBytes = 64;
constexpr std::size_t kSealTagBytes = 16;
constexpr std::size_t kSealSaltBytes = 16;
constexpr std::size_t kSealNonceBytes = 24;
constexpr std::uint8_t kSealVersion = 1;

struct SealHeader {
    std::uint8_t version = kSealVersion;
    SealCost cost;
    std::array<unsigned char, kSealSaltBytes> salt{};
    std::array<unsigned char, kSealNonceBytes> nonce{};
};

// Whether sealing is built in (libsodium is there).
bool sealingAvailable();

// The header of a sealed file of size bytes, or nothing when it is none this program
// reads: another magic or version, a cost outside the sane range (a file must not make
// the program take gigabytes or minutes before the tag is checked), or a body shorter
// than the tag or far larger than any data file.
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
// made with. Deriving costs what SealCost says (about half a second by default).
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
    const unsigned char* bytes() const { return key_.data(); }

private:
    SealKey(std::string_view phrase, const std::array<unsigned char, kSealSaltBytes>& salt, SealCost cost);
    GuardedBytes key_;
    std::array<unsigned char, kSealSaltBytes> salt_{};
    SealCost cost_;
};

// The sealed file's bytes for an image of size bytes: the header with a new nonce, then
// the encrypted image and the tag.
std::vector<unsigned char> sealImage(const unsigned char* image, std::size_t size, const SealKey& key);
// The image of a sealed file's bytes; nothing when the header is none this program reads,
// or when the tag does not verify: a key from another phrase, or a byte changed.
std::optional<GuardedBytes> openSealed(const unsigned char* file, std::size_t size, const SealKey& key);

}  // namespace vault
