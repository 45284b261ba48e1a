#include "output/textlist.h"

#include "vault/fileio.h"

namespace output {

std::string textListPath(const std::string& dataFolder) {
    std::string path = dataFolder;
    if (!path.empty() && path.back() != '/' && path.back() != '\\') {
#ifdef _WIN32
        path += '\\';
#else
        path += '/';
#endif
    }
    return path + "Tempfile.txt";
}

vault::SecretText textListEntry(std::string_view name, std::string_view website, std::string_view userId,
                                std::string_view password, std::string_view comments) {
    vault::SecretText s;
    s.reserve(name.size() + website.size() + userId.size() + password.size() + comments.size() + 44);
    s.append(name).append(" URL: ").append(website).append("\r\n User: ").append(userId);
    s.append(" Password: ").append(password).append("\r\n Comments: ").append(comments).append("\r\n \r\n");
    return s;
}

bool removeTextList(const std::string& path) {
    vault::removeFileQuietly(path);
    return !vault::pathExists(path);
}

TextListFile::TextListFile(const std::string& path)
    : path_(path), file_(vault::File::open(path, vault::File::Mode::Overwrite)) {}

TextListFile::~TextListFile() {
    // Left unfinished (an error on the way): no partial list of passwords stays.
    if (file_.isOpen()) discard();
}

void TextListFile::discard() noexcept {
    file_.close();
    vault::removeFileQuietly(path_);
}

void TextListFile::writeAll(std::string_view bytes) {
    try {
        file_.writeAt(bytes.data(), bytes.size(), written_);
    } catch (...) {
        // The part written holds passwords in clear: it goes before the error shows.
        discard();
        throw;
    }
    written_ += bytes.size();
}

void TextListFile::writeEntry(const std::string& name, const std::string& website, const std::string& userId,
                              std::string_view password, const std::string& comments) {
    writeAll(textListEntry(name, website, userId, password, comments));
}

void TextListFile::close() {
    if (!file_.isOpen()) return;
    try {
        file_.closeChecked();
    } catch (...) {
        vault::removeFileQuietly(path_);
        throw;
    }
}

}  // namespace output
