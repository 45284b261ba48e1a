// Secrets (the key phrase, passwords, filled values, lines of an export that hold one)
// and overwriting them once they are no longer needed, with a call the compiler cannot
// drop.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vault {

// Overwrites size bytes at data with zeros.
void wipeBytes(void* data, std::size_t size);

// Overwrites the whole buffer of the string, its unused capacity included, and empties it.
void wipeSecret(std::string& text);
void wipeSecret(std::vector<unsigned char>& bytes);

// A text that holds a secret. Its bytes always live in a heap block of its own (there is
// no buffer inside the object), and every block it lets go, when it is destroyed, grows,
// is assigned to or moved from, is overwritten first: no copy or reallocation leaves an
// unwiped block behind. Taking a std::string by value (an rvalue) wipes that string too.
class SecretText {
public:
    SecretText() noexcept = default;
    SecretText(std::string_view text);
    SecretText(const char* text) : SecretText(std::string_view(text)) {}
    SecretText(const std::string& text) : SecretText(std::string_view(text)) {}
    // Takes the bytes of a string about to go, and wipes its buffer.
    SecretText(std::string&& text);
    SecretText(const SecretText& other) : SecretText(other.view()) {}
    SecretText(SecretText&& other) noexcept;
    SecretText& operator=(const SecretText& other);
    SecretText& operator=(SecretText&& other) noexcept;
    SecretText& operator=(std::string_view text);
    SecretText& operator=(std::string&& text);
    SecretText& operator=(const std::string& text) { return *this = std::string_view(text); }
    SecretText& operator=(const char* text) { return *this = std::string_view(text); }
    ~SecretText();

    const char* data() const noexcept { return data_ ? data_ : ""; }
    char* data() noexcept { return data_ ? data_ : empty_; }
    const char* c_str() const noexcept { return data(); }
    std::size_t size() const noexcept { return size_; }
    std::size_t length() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return capacity_; }
    bool empty() const noexcept { return size_ == 0; }
    std::string_view view() const noexcept { return {data(), size_}; }
    operator std::string_view() const noexcept { return view(); }

    char& operator[](std::size_t i) noexcept { return data_[i]; }
    const char& operator[](std::size_t i) const noexcept { return data_[i]; }
    char* begin() noexcept { return data(); }
    char* end() noexcept { return data() + size_; }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size_; }

    // Wipes the bytes and empties the text; the block stays for reuse.
    void clear() noexcept;
    // Makes room for at least capacity bytes; a new block gets the text, the old one is wiped.
    void reserve(std::size_t capacity);
    void resize(std::size_t size, char fill = '\0');
    void push_back(char c);
    SecretText& append(std::string_view text);
    SecretText& operator+=(std::string_view text) { return append(text); }
    SecretText& operator+=(char c) {
        push_back(c);
        return *this;
    }

    friend bool operator==(const SecretText& a, const SecretText& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const SecretText& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const SecretText& a, const char* b) noexcept { return a.view() == b; }
    friend bool operator==(const SecretText& a, const std::string& b) noexcept { return a.view() == b; }

private:
    void release() noexcept;
    char* data_ = nullptr;  // size_ bytes and a zero byte, in a block of capacity_ + 1
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    static inline char empty_[1] = {};
};

inline SecretText operator+(SecretText a, std::string_view b) { return std::move(a.append(b)); }

// Wipes the text and lets go of its block.
void wipeSecret(SecretText& text);

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

// Overwrites an object's bytes (a slot image, a buffer of them) when the scope ends, also
// when it is left by an exception.
class WipeBytesAtScopeEnd {
public:
    template <class T>
    explicit WipeBytesAtScopeEnd(T& object) : data_(&object), size_(sizeof object) {}
    ~WipeBytesAtScopeEnd() { wipeBytes(data_, size_); }
    WipeBytesAtScopeEnd(const WipeBytesAtScopeEnd&) = delete;
    WipeBytesAtScopeEnd& operator=(const WipeBytesAtScopeEnd&) = delete;

private:
    void* data_;
    std::size_t size_;
};

}  // namespace vault
