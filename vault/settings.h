// Window sizes in the settings file SG_2.ini (Windows profile format).
#pragma once
#include <string>

namespace vault {

// "W" := width and "H" := height in the section. Throws IoError
// "Unable to write to <path>" when the file cannot be written.
void SaveSize(const std::string& section, const std::string& iniPath, int width, int height);
// The section's "W" / "H", or 0 when missing or not an integer.
int ReadWidth(const std::string& section, const std::string& iniPath);
int ReadHeight(const std::string& section, const std::string& iniPath);

// The general profile-file primitives under them.
int ReadIniInteger(const std::string& iniPath, const std::string& section, const std::string& key);
void WriteIniString(const std::string& iniPath, const std::string& section, const std::string& key,
                    const std::string& value);

}  // namespace vault
