// File input and output failures, carrying the system's own texts.
#pragma once
#include <stdexcept>
#include <string>

namespace vault {

// what() is the system's text; when the failing file is known, its path follows on a
// second line.
class IoError : public std::runtime_error {
public:
    IoError(const std::string& text, int code, const std::string& path = {})
        : std::runtime_error(path.empty() ? text : text + "\n" + path), text_(text), path_(path), code_(code) {}
    int code() const { return code_; }
    // The system's text alone (the first line of what()).
    const std::string& text() const { return text_; }
    // The file that failed; empty when not known.
    const std::string& path() const { return path_; }

private:
    std::string text_;
    std::string path_;
    int code_;
};

// A command on the data file that was refused before anything was written. The
// callers word it for the user; what() is a short plain description.
class DataFileProblem : public std::runtime_error {
public:
    enum class Kind {
        ChangedByOtherCopy,   // a slot no longer holds what this copy read there
        ReplacedByOtherCopy,  // the data file is another file than the one this copy read
        Busy,                 // another copy's command kept the lock past the wait
        TooLarge,             // far larger than any data file the program writes
        LinkUnreachable,      // a symbolic link whose target is absent; path is the target
        Damaged,              // a sealed file that is no sealed file, or whose bytes were changed
        NewerVersion,         // a sealed file of a later format, or asking for more than this version allows
    };
    DataFileProblem(Kind kind, const std::string& path)
        : std::runtime_error(describe(kind) + ": " + path), kind_(kind), path_(path) {}
    Kind kind() const { return kind_; }
    const std::string& path() const { return path_; }

private:
    static std::string describe(Kind kind) {
        switch (kind) {
        case Kind::ChangedByOtherCopy: return "Changed by another copy of the program";
        case Kind::ReplacedByOtherCopy: return "Replaced by another copy of the program";
        case Kind::Busy: return "In use by another copy of the program";
        case Kind::TooLarge: return "Too large for a data file";
        case Kind::LinkUnreachable: return "Linked file cannot be reached";
        case Kind::Damaged: return "Damaged or altered";
        case Kind::NewerVersion: return "Made by a newer version of Keyfold";
        }
        return "Data file problem";
    }
    Kind kind_;
    std::string path_;
};

// Maps an errno value to "File not found", "File access denied", "Too many open files",
// "Disk full", or "I/O error %d"; the file, when given, follows on a second line.
[[noreturn]] void throwIoError(int err, const std::string& path = {});
// "Read beyond end of file"
[[noreturn]] void throwReadBeyondEnd(const std::string& path = {});

}  // namespace vault
