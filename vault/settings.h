// Window sizes in the settings file SG_2.ini (Windows profile format: sections and
// keys matched without regard to case; other sections and lines kept on write).
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vault {

// "W" := width and "H" := height in the section, in one write. Throws IoError
// "Unable to write to <path>" when the file cannot be written.
void saveSize(const std::string& section, const std::string& iniPath, int width, int height);
// The section's "W" / "H", or 0 when missing or not an integer.
int readWidth(const std::string& section, const std::string& iniPath);
int readHeight(const std::string& section, const std::string& iniPath);

// The general profile-file primitives under them.
// A missing file, section or key, or a value that is not an integer, reads 0.
int readIniInteger(const std::string& iniPath, const std::string& section, const std::string& key);
std::optional<std::string> readIniString(const std::string& iniPath, const std::string& section,
                                         const std::string& key);
// Writes through a temporary file renamed into place (owner-only). Throws IoError
// "Unable to write to <path>".
void writeIniString(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value);
void writeIniValues(const std::string& iniPath, const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values);
// The clipboard: seconds after which a copied secret is cleared, from [Clipboard]
// ClearAfter; 0 means never. A missing, negative or non-integer value, and a settings
// file that cannot be read, give kDefaultClipboardClearSeconds (an unreadable file must
// not keep a password on the clipboard for good). At most kLongestClipboardSeconds.
constexpr int kDefaultClipboardClearSeconds = 10;
constexpr int kLongestClipboardSeconds = 2147483;  // the longest delay a Qt timer takes
int clipboardClearSeconds(const std::string& iniPath);
// Whether a new data file is made sealed: yes, unless [DataFile] SealNewFile reads 0. A
// missing key, any other value and a settings file that cannot be read all seal.
bool sealsNewDataFile(const std::string& iniPath);

// Decimal or hexadecimal ("0x", "$") 32-bit integer; nothing when the text is not one.
std::optional<int> parseIniInteger(std::string_view text);

}  // namespace vault
