#include "vault/secret.h"

#ifndef KEYFOLD_NO_SODIUM
#include <sodium.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

#include <algorithm>
#include <cstring>
#include <utility>

namespace vault {

void wipeBytes(void* data, std::size_t size) {
    if (!data || size == 0) return;
#ifndef KEYFOLD_NO_SODIUM
    sodium_memzero(data, size);
#elif defined(_WIN32)
    SecureZeroMemory(data, size);  // the build without libsodium is the Windows one
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

void wipeSecret(SecretText& text) { text = SecretText(); }

SecretText::SecretText(std::string_view text) {
    if (text.empty()) return;
    reserve(text.size());
    std::memcpy(data_, text.data(), text.size());
    size_ = text.size();
    data_[size_] = '\0';
}

SecretText::SecretText(std::string&& text) : SecretText(std::string_view(text)) { wipeSecret(text); }

SecretText::SecretText(SecretText&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

SecretText& SecretText::operator=(const SecretText& other) {
    if (this != &other) *this = other.view();
    return *this;
}

SecretText& SecretText::operator=(SecretText&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

SecretText& SecretText::operator=(std::string_view text) {
    // A new block first: text may point into this one.
    SecretText copy(text);
    return *this = std::move(copy);
}

SecretText& SecretText::operator=(std::string&& text) { return *this = SecretText(std::move(text)); }

SecretText::~SecretText() { release(); }

void SecretText::release() noexcept {
    if (!data_) return;
    wipeBytes(data_, capacity_ + 1);
    delete[] data_;
    data_ = nullptr;
    size_ = capacity_ = 0;
}

void SecretText::clear() noexcept {
    if (data_) wipeBytes(data_, capacity_ + 1);
    size_ = 0;
}

void SecretText::reserve(std::size_t capacity) {
    if (capacity <= capacity_ && data_) return;
    // Grows by half again at least, so that appending byte by byte copies rarely.
    std::size_t wanted = std::max({capacity, capacity_ + capacity_ / 2, std::size_t(15)});
    char* block = new char[wanted + 1];
    std::memcpy(block, data(), size_);
    block[size_] = '\0';
    std::size_t size = size_;
    release();
    data_ = block;
    size_ = size;
    capacity_ = wanted;
}

void SecretText::resize(std::size_t size, char fill) {
    if (size > size_) {
        reserve(size);
        std::memset(data_ + size_, fill, size - size_);
    } else if (data_) {
        wipeBytes(data_ + size, size_ - size);
    }
    size_ = size;
    if (data_) data_[size_] = '\0';
}

void SecretText::push_back(char c) {
    reserve(size_ + 1);
    data_[size_++] = c;
    data_[size_] = '\0';
}

SecretText& SecretText::append(std::string_view text) {
    if (text.empty()) return *this;
    if (size_ + text.size() > capacity_ || !data_) {
        // text may lie in this block: copy it into the new one before the old goes.
        SecretText grown;
        grown.reserve(std::max(size_ + text.size(), capacity_ + capacity_ / 2));
        std::memcpy(grown.data_, data(), size_);
        std::memcpy(grown.data_ + size_, text.data(), text.size());
        grown.size_ = size_ + text.size();
        grown.data_[grown.size_] = '\0';
        return *this = std::move(grown);
    }
    std::memmove(data_ + size_, text.data(), text.size());
    size_ += text.size();
    data_[size_] = '\0';
    return *this;
}

}  // namespace vault
