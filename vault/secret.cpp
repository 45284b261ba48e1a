#include "vault/secret.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <string.h>
#endif

namespace vault {

void wipeBytes(void* data, std::size_t size) {
    if (!data || size == 0) return;
#ifdef _WIN32
    SecureZeroMemory(data, size);
#else
    explicit_bzero(data, size);
#endif
}

void wipeSecret(std::string& text) {
    // Growing within the capacity keeps the buffer and makes all of it addressable.
    text.resize(text.capacity());
    wipeBytes(text.data(), text.size());
    text.clear();
}

void wipeSecret(std::vector<unsigned char>& bytes) {
    bytes.resize(bytes.capacity());
    wipeBytes(bytes.data(), bytes.size());
    bytes.clear();
}

}  // namespace vault
