// Inside the data file's own source files only (datafile.cpp, datafilecheck.cpp,
// datafilebuild.cpp): what they share.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "vault/datafile.h"
#include "vault/ioerror.h"
#include "vault/record.h"

namespace vault::detail {

// A slot's fingerprint, to notice that another copy of the program rewrote it (not a
// cryptographic hash: both copies are the user's own). Every list load takes one per
// entry, so it is two sums the compiler can vectorise, the words XORed and the words
// added, then the two mixed. A rewrite of a slot changes its enciphered texts and
// length bytes, which both sums see.
inline std::uint64_t digest(const void* slot) {
    static_assert(kSlotSize % 8 == 0);
    auto* p = static_cast<const unsigned char*>(slot);
    std::uint64_t folded = 0, summed = 0;
    for (std::size_t i = 0; i < kSlotSize; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        folded ^= word;
        summed += word;
    }
    std::uint64_t h = (folded * 0xFF51AFD7ED558CCDull) ^ (summed * 0xC4CEB9FE1A85EC53ull);
    h ^= h >> 33;
    return h | 1u;
}

inline void refuseTooLarge(std::uint64_t size, const std::string& path) {
    if (size > kMaxDataFileBytes) throw DataFileProblem(DataFileProblem::Kind::TooLarge, path);
}

// Closes the data file when a scan leaves, unless the caller takes it over.
struct CloseUnlessKept {
    DataFile& file;
    bool keep = false;
    ~CloseUnlessKept() {
        if (!keep) file.close();
    }
};

inline bool statusIs(const SiteRecord& r, char c) { return r.status.length == 1 && r.status.chars[0] == c; }

}  // namespace vault::detail
