#include "tests/support/freed_blocks.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cstring>

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

bool holds(const void* block, std::size_t size, const Watched& w) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i + w.size <= size; ++i) {
        std::size_t k = 0;
        while (k < w.size && (bytes[i + k] ^ w.mask) == static_cast<unsigned char>(w.text[k])) ++k;
        if (k == w.size) return true;
    }
    return false;
}

void check(void* block) {
    if (!block || armedCount.load(std::memory_order_acquire) == 0) return;
    const std::size_t size = malloc_usable_size(block);
    for (Watched& w : slots)
        if (w.armed.load(std::memory_order_acquire) && holds(block, size, w)) w.found.fetch_add(1);
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
