#include "tests/support/freed_blocks.h"

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#define KEYFOLD_OWN_ALLOCATOR 1  // AddressSanitizer's
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEYFOLD_OWN_ALLOCATOR 1
#endif
#endif

extern "C" {
void __libc_free(void* block);
void* __libc_malloc(std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}

namespace keyfoldtest {
namespace {

// Up to four texts watched at once. A slot is filled, then armed; free reads it from any
// thread.
struct Watched {
    char text[64];
    std::size_t size = 0;
    unsigned char mask = 0;
    std::atomic<bool> armed{false};
    std::atomic<int> found{0};
};
Watched slots[4];
std::atomic<int> armedCount{0};
int reportFd = -1;  // preloaded: a byte is written here for each block found

bool holds(const void* block, std::size_t size, const Watched& w) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i + w.size <= size; ++i) {
        std::size_t k = 0;
        while (k < w.size && (bytes[i + k] ^ w.mask) == static_cast<unsigned char>(w.text[k])) ++k;
        if (k == w.size) return true;
    }
    return false;
}

[[maybe_unused]] void check(void* block) {  // unused where AddressSanitizer allocates
    if (!block || armedCount.load(std::memory_order_acquire) == 0) return;
    const std::size_t size = malloc_usable_size(block);
    for (Watched& w : slots)
        if (w.armed.load(std::memory_order_acquire) && holds(block, size, w)) {
            w.found.fetch_add(1);
            if (reportFd >= 0) [[maybe_unused]]
                auto n = ::write(reportFd, "x", 1);
        }
}

}  // namespace

FreedBlockWatch::FreedBlockWatch(const std::string& masked, unsigned char mask) {
    for (slot_ = 0; slot_ < int(std::size(slots)) && slots[slot_].armed.load(); ++slot_) {}
    if (slot_ == int(std::size(slots)) || masked.empty()) {
        slot_ = -1;  // blocksWithText() then says -1: the test fails rather than passes unwatched
        return;
    }
    Watched& w = slots[slot_];
    w.size = std::min(masked.size(), sizeof w.text);
    std::memcpy(w.text, masked.data(), w.size);
    w.mask = mask;
    w.found = 0;
    w.armed.store(true, std::memory_order_release);
    armedCount.fetch_add(1);
}

FreedBlockWatch::~FreedBlockWatch() {
    if (slot_ < 0) return;
    slots[slot_].armed.store(false, std::memory_order_release);
    armedCount.fetch_sub(1);
}

int FreedBlockWatch::blocksWithText() const { return slot_ < 0 ? -1 : slots[slot_].found.load(); }

#ifdef KEYFOLD_OWN_ALLOCATOR
bool FreedBlockWatch::available() { return false; }
#else
bool FreedBlockWatch::available() { return true; }
#endif

}  // namespace keyfoldtest

#ifndef KEYFOLD_OWN_ALLOCATOR
extern "C" void free(void* block) {
    keyfoldtest::check(block);
    __libc_free(block);
}

extern "C" void* realloc(void* block, std::size_t size) {
    if (!block || size == 0 || keyfoldtest::armedCount.load(std::memory_order_acquire) == 0)
        return __libc_realloc(block, size);
    void* moved = __libc_malloc(size);
    if (!moved) return nullptr;
    std::memcpy(moved, block, std::min(size, malloc_usable_size(block)));
    keyfoldtest::check(block);
    __libc_free(block);
    return moved;
}
#endif

#ifdef KEYFOLD_FREED_BLOCKS_PRELOAD
// Loaded into another program (LD_PRELOAD): KEYFOLD_WATCH_FREED gives the mask and the
// masked texts in hexadecimal ("3c:0a1b...,..."), KEYFOLD_WATCH_REPORT the file that gets
// a byte for each block found. Programs this one starts are not watched.
namespace {
std::optional<keyfoldtest::FreedBlockWatch> preloaded[4];

// An object rather than a constructor function: it is made after the watch's own
// statics above, in the order of this file.
struct WatchFromEnvironment {
    WatchFromEnvironment();
} watchFromEnvironment;

WatchFromEnvironment::WatchFromEnvironment() {
    const char* texts = std::getenv("KEYFOLD_WATCH_FREED");
    const char* report = std::getenv("KEYFOLD_WATCH_REPORT");
    if (texts && report) {
        keyfoldtest::reportFd = ::open(report, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        const std::string all(texts);
        const auto byteAt = [&](std::size_t i) {
            const char two[3] = {all[i], all[i + 1], '\0'};
            return static_cast<char>(std::strtoul(two, nullptr, 16));
        };
        const auto mask = static_cast<unsigned char>(all.size() >= 2 ? byteAt(0) : 0);
        std::size_t at = 3, n = 0;
        while (at < all.size() && n < std::size(preloaded)) {
            const std::size_t end = std::min(all.find(',', at), all.size());
            std::string masked;
            for (std::size_t i = at; i + 1 < end; i += 2) masked.push_back(byteAt(i));
            preloaded[n++].emplace(masked, mask);
            at = end + 1;
        }
    }
    for (const char* name : {"KEYFOLD_WATCH_FREED", "KEYFOLD_WATCH_REPORT", "LD_PRELOAD"}) ::unsetenv(name);
}
}  // namespace
#endif
