#include "vault/secret.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <string.h>
#endif

namespace vault {

void WipeBytes(void* data, std::size_t size) {
    if (!data || size == 0) return;
#ifdef _WIN32
    SecureZeroMemory(data, size);
#else
    explicit_bzero(data, size);
#endif
}

void Wipe(std::string& text) {
    // Growing within the capacity keeps the buffer and makes all of it addressable.
    text.resize(text.capacity());
    WipeBytes(text.data(), text.size());
    text.clear();
}

void Wipe(std::vector<unsigned char>& bytes) {
    bytes.resize(bytes.capacity());
    WipeBytes(bytes.data(), bytes.size());
    bytes.clear();
}

}  // namespace vault
