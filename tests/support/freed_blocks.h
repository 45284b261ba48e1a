// Watches the blocks this process gives back to the allocator. The test executable that
// links it takes over free and realloc (the C library's own do the work); while a watch
// is armed, each block given back is searched for a masked text before it goes, so a copy
// of a password that is let go of unwiped is caught when it happens, not only if it is
// still there later. realloc always moves a block while a watch is armed, so that a text
// grown in place is caught when its old block goes.
//
// The search is over the 8-bit bytes of blocks handed out by malloc: Qt's UTF-16 copies do
// not match an 8-bit text. Inert under AddressSanitizer, which has an allocator of its own.
// Built a second time as a library to preload into a program a test starts (see the end
// of freed_blocks.cpp for the environment that arms it there).
#pragma once
#include <string>

namespace keyfoldtest {

class FreedBlockWatch {
public:
    // Arms the watch for the text masked byte by byte with mask (up to four at a time).
    FreedBlockWatch(const std::string& masked, unsigned char mask);
    ~FreedBlockWatch();
    FreedBlockWatch(const FreedBlockWatch&) = delete;
    FreedBlockWatch& operator=(const FreedBlockWatch&) = delete;

    // The blocks given back that held the text, since the watch was armed; -1 when a
    // fifth watch could not be armed.
    int blocksWithText() const;
    // Whether frees are watched in this build.
    static bool available();

private:
    int slot_ = -1;
};

}  // namespace keyfoldtest
