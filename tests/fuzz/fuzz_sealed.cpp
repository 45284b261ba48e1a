// The sealed file's header and opening on arbitrary bytes: the parser takes only
// headers whose limits are sane, opening never reads outside the input, and whatever
// opens under the key was sealed under it (sealing it again opens to the same image).
// The seeds are sealed files of a few slots and their damaged forms; this harness draws
// its salts and nonces from a fixed stream, so the seeds are the same at every run.
#include <sodium.h>

#include "common.h"
#include "vault/seal.h"

namespace {

// A counter run through a fixed mix: deterministic "random" bytes for the harness only.
std::uint64_t streamState = 1;
void fixedBytes(void* buf, std::size_t size) {
    auto* out = static_cast<unsigned char*>(buf);
    for (std::size_t i = 0; i < size; ++i) {
        streamState = streamState * 6364136223846793005ull + 1442695040888963407ull;
        out[i] = static_cast<unsigned char>(streamState >> 56);
    }
}
std::uint32_t fixedRandom() {
    std::uint32_t v;
    fixedBytes(&v, sizeof v);
    return v;
}
const char* fixedName() { return "fuzz-fixed"; }
randombytes_implementation fixedStream = {fixedName, fixedRandom, nullptr, nullptr, fixedBytes, nullptr};

const vault::SealKey& key() {
    static const vault::SealKey k = [] {
        randombytes_set_implementation(&fixedStream);
        return vault::SealKey::fresh("fuzz phrase", vault::SealCost{1, 8192});
    }();
    return k;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vault::SealKey& k = key();
    const std::optional<vault::SealHeader> header = vault::parseSealHeader(data, size);
    if (header) {
        FUZZ_CHECK(header->version == 1 || header->version == vault::kSealVersion);
        FUZZ_CHECK(header->cost.passes >= 1 && header->cost.passes <= vault::kMaxSealCost.passes);
        FUZZ_CHECK(header->cost.memoryBytes >= 8192 && header->cost.memoryBytes <= vault::kMaxSealCost.memoryBytes);
        FUZZ_CHECK(size >= header->size() + vault::kSealTagBytes);
    }
    const std::optional<vault::GuardedBytes> image = vault::openSealed(data, size, k);
    if (!image) return 0;
    FUZZ_CHECK(header && k.madeFor(*header));
    FUZZ_CHECK(image->size() == size - header->size() - vault::kSealTagBytes);
    const std::vector<unsigned char> again = vault::sealImage(image->data(), image->size(), k);
    const std::optional<vault::GuardedBytes> reopened = vault::openSealed(again.data(), again.size(), k);
    FUZZ_CHECK(reopened && reopened->size() == image->size());
    FUZZ_CHECK(std::memcmp(reopened->data(), image->data(), image->size()) == 0);
    return 0;
}

std::vector<std::string> FuzzSeeds() {
    const vault::SealKey& k = key();
    std::vector<std::string> seeds;
    auto sealed = [&](const std::string& image) {
        const std::vector<unsigned char> bytes =
            vault::sealImage(reinterpret_cast<const unsigned char*>(image.data()), image.size(), k);
        return std::string(bytes.begin(), bytes.end());
    };
    const std::string one = fuzz::bytesOf(fuzz::record("A", "BANK", "http://bank", "u", "c", "pw"));
    const std::string never(vault::kSlotSize, '\0');
    for (const std::string& image : {std::string(), one, one + never, never + never}) {
        const std::string s = sealed(image);
        seeds.push_back(s);
        std::string flipped = s;
        flipped[s.size() / 2] = static_cast<char>(flipped[s.size() / 2] ^ 0x20);
        seeds.push_back(flipped);
        seeds.push_back(s.substr(0, s.size() - 1));
    }
    seeds.push_back(std::string("KFSEALED\x01", 9) + std::string(100, '\0'));
    seeds.push_back(std::string("KFSEALED\x02", 9) + std::string(120, '\0'));
    seeds.push_back(std::string("KFSEALED\x03", 9) + std::string(120, '\0'));
    return seeds;
}
