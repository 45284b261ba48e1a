// Overwriting secrets (the key phrase, passwords on their way to a page or the
// clipboard) once they are no longer needed, with a call the compiler cannot drop.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace vault {

// Overwrites size bytes at data with zeros.
void wipeBytes(void* data, std::size_t size);

// Overwrites the whole buffer of the string, its unused capacity included, and empties it.
void wipeSecret(std::string& text);
void wipeSecret(std::vector<unsigned char>& bytes);

// Wipes the strings given to it when the scope ends, also when it is left by an exception.
class WipeAtScopeEnd {
public:
    template <class... Texts>
    explicit WipeAtScopeEnd(Texts&... texts) : texts_{&texts...} {}
    ~WipeAtScopeEnd() {
        for (std::string* text : texts_) wipeSecret(*text);
    }
    WipeAtScopeEnd(const WipeAtScopeEnd&) = delete;
    WipeAtScopeEnd& operator=(const WipeAtScopeEnd&) = delete;

private:
    std::vector<std::string*> texts_;
};

}  // namespace vault
