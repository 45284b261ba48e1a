// File input and output failures, carrying the system's own texts.
#pragma once
#include <stdexcept>
#include <string>

namespace vault {

class IoError : public std::runtime_error {
public:
    IoError(const std::string& text, int code) : std::runtime_error(text), code_(code) {}
    int code() const { return code_; }
private:
    int code_;
};

// Maps an errno value to "File not found", "File access denied", "Too many open files",
// "Disk full", or "I/O error %d".
[[noreturn]] void ThrowIoError(int err);
// "Read beyond end of file"
[[noreturn]] void ThrowReadBeyondEnd();

}  // namespace vault
