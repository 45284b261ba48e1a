// The text list: every entry the name list shows, four lines each, as plain 8-bit
// text with CR LF line ends.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "vault/fileio.h"
#include "vault/secret.h"

namespace output {

// "Tempfile.txt" in the given folder.
std::string textListPath(const std::string& dataFolder);

// The four lines of one entry, line ends included:
// "<name> URL: <website>", " User: <user> Password: <password>", " Comments: <comments>", " ".
// They hold the password: one block of their final size, wiped when let go.
vault::SecretText textListEntry(std::string_view name, std::string_view website, std::string_view userId,
                                std::string_view password, std::string_view comments);

// Deletes the text list; true only when nothing of that name is left.
bool removeTextList(const std::string& path);

// The file being written. It holds passwords in clear, so it is created readable and
// writable by its owner only; an older file of that name is emptied in place and
// closed to everyone else as well. A link of that name is removed, never written
// through. It is written and removed through the vault's file module (and so its fault
// seam). Failures throw vault::IoError; a list left unfinished (a failed write or
// close, or an error elsewhere before close) is removed.
class TextListFile {
public:
    explicit TextListFile(const std::string& path);
    ~TextListFile();
    TextListFile(const TextListFile&) = delete;
    TextListFile& operator=(const TextListFile&) = delete;

    void writeEntry(const std::string& name, const std::string& website, const std::string& userId,
                    std::string_view password, const std::string& comments);
    void close();

private:
    void writeAll(std::string_view bytes);
    void discard() noexcept;
    std::string path_;
    vault::File file_;
    std::uint64_t written_ = 0;
};

}  // namespace output
