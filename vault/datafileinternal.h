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

// A slot's digest, eight bytes at a step (every list load takes one per slot read).
inline std::uint64_t digest(const void* slot) {
    static_assert(kSlotSize % 8 == 0);
    auto* p = static_cast<const unsigned char*>(slot);
    std::uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < kSlotSize; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        h = (h ^ word) * 1099511628211ull;
        h ^= h >> 29;
    }
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
