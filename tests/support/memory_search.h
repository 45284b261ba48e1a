// Looks for a secret in a process's writable memory (heap, stack, data): this process's
// own, or a child's (its parent may read /proc/PID/mem). The text is given masked byte by
// byte (masked() below), so that the text itself is never in memory while it is looked
// for.
//
// For this process: make the search before the operations it checks, so that it takes no
// memory afterwards that they may have let go of; keep() must be its first call after
// them: it copies the stack below the caller, where the finished calls left their locals,
// before any later call overwrites it, and the list of mappings, before reading it takes
// heap blocks. For a child: call keep() while the child waits, then copies().
#pragma once
#ifdef __linux__
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vault/secret.h"

namespace keyfoldtest {

class MemorySearch {
public:
    // pid 0: this process.
    explicit MemorySearch(pid_t pid = 0)
        : self_(pid == 0),
          mem_(::open(procPath(pid, "mem").c_str(), O_RDONLY | O_CLOEXEC)),
          mapsPath_(procPath(pid, "maps")),
          chunk_(1 << 20),
          below_(self_ ? 64 << 10 : 0) {}
    ~MemorySearch() {
        if (mem_ >= 0) ::close(mem_);
        vault::wipeBytes(chunk_.data(), chunk_.size());
        vault::wipeBytes(below_.data(), below_.size());
    }
    MemorySearch(const MemorySearch&) = delete;
    MemorySearch& operator=(const MemorySearch&) = delete;

    // text with every byte XOR mask.
    static std::string masked(std::string_view text, unsigned char mask) {
        std::string m(text);
        for (char& c : m) c = static_cast<char>(c ^ mask);
        return m;
    }

    [[gnu::noinline]] void keep() {
        if (self_) {
            unsigned char here = 0;
            belowTo_ = reinterpret_cast<std::uintptr_t>(&here);
            for (belowSize_ = below_.size(); belowSize_ > 0; belowSize_ /= 2)  // the stack may be mapped less deep
                if (::pread(mem_, below_.data(), belowSize_, off_t(belowTo_ - belowSize_)) == ssize_t(belowSize_))
                    break;
        }
        const int maps = ::open(mapsPath_.c_str(), O_RDONLY | O_CLOEXEC);
        mapsSize_ = 0;
        for (ssize_t got;
             maps >= 0 && (got = ::read(maps, maps_.data() + mapsSize_, maps_.size() - 1 - mapsSize_)) > 0;)
            mapsSize_ += std::size_t(got);
        maps_[mapsSize_] = '\0';
        if (maps >= 0) ::close(maps);
    }

    // Copies of the text masked with mask, in memory as keep() found it; -1 when the
    // memory cannot be read. What is looked for is the text's last kTail bytes: a block
    // the allocator took back has its first 16 bytes overwritten with its bookkeeping, so
    // a text of 25 characters (the longest password a slot holds) at the start of a block
    // let go of unwiped is still found by its tail.
    static constexpr std::size_t kTail = 9;
    int copies(const std::string& maskedText, unsigned char mask) {
        if (mem_ < 0 || (self_ && belowSize_ == 0) || mapsSize_ == 0) return -1;
        const std::string masked = maskedText.substr(maskedText.size() - std::min(maskedText.size(), kTail));
        int found = copiesIn(below_.data(), belowSize_, masked, mask);
        // Not the stack copied above, and not this object's own blocks.
        const Range skip[] = {{belowTo_ - belowSize_, belowTo_}, ownRange(chunk_), ownRange(below_), ownRange(maps_)};
        const std::size_t skipCount = self_ ? std::size(skip) : 0;
        for (const char* line = maps_.data(); *line;) {
            const std::string_view text(line, std::strcspn(line, "\n"));
            char* end;
            const std::uint64_t from = std::strtoull(line, &end, 16);
            const std::uint64_t to = std::strtoull(end + 1, &end, 16);
            if (end[1] == 'r' && end[2] == 'w' && text.find("[vvar]") == std::string_view::npos)
                found += copiesOutside(from, to, skip, skipCount, masked, mask);
            line += text.size() + (line[text.size()] == '\n');
        }
        return found;
    }

private:
    using Range = std::pair<std::uint64_t, std::uint64_t>;
    static std::string procPath(pid_t pid, const char* what) {
        return "/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) + "/" + what;
    }
    template <class Byte>
    static Range ownRange(const std::vector<Byte>& v) {
        const auto at = reinterpret_cast<std::uintptr_t>(v.data());
        return {at, at + v.size()};
    }
    static int copiesIn(const unsigned char* bytes, std::size_t size, const std::string& masked, unsigned char mask) {
        int found = 0;
        for (std::size_t i = 0; i + masked.size() <= size; ++i) {
            std::size_t k = 0;
            while (k < masked.size() && (bytes[i + k] ^ mask) == static_cast<unsigned char>(masked[k])) ++k;
            found += k == masked.size();
        }
        return found;
    }
    // [from, to) without the ranges skip[0..n), read through the chunk.
    int copiesOutside(std::uint64_t from, std::uint64_t to, const Range* skip, std::size_t n, const std::string& masked,
                      unsigned char mask) {
        if (from >= to) return 0;
        if (n == 0) return copiesAt(from, to, masked, mask);
        const auto [skipFrom, skipTo] = skip[0];
        return copiesOutside(from, std::min(to, std::max(from, skipFrom)), skip + 1, n - 1, masked, mask) +
               copiesOutside(std::max(from, std::min(to, skipTo)), to, skip + 1, n - 1, masked, mask);
    }
    int copiesAt(std::uint64_t from, std::uint64_t to, const std::string& masked, unsigned char mask) {
        int found = 0;
        for (; from < to; from += chunk_.size() - masked.size()) {
            const std::size_t want = std::min<std::uint64_t>(chunk_.size(), to - from);
            const ssize_t got = ::pread(mem_, chunk_.data(), want, off_t(from));
            if (got <= 0) break;
            found += copiesIn(chunk_.data(), std::size_t(got), masked, mask);
            if (std::size_t(got) < want || from + want >= to) break;
        }
        return found;
    }

    bool self_;
    int mem_;
    std::string mapsPath_;
    std::vector<unsigned char> chunk_;
    std::vector<unsigned char> below_;
    std::uintptr_t belowTo_ = 0;
    std::size_t belowSize_ = 0;
    std::vector<char> maps_ = std::vector<char>(256 << 10);
    std::size_t mapsSize_ = 0;
};

}  // namespace keyfoldtest
#endif  // __linux__
