// Profile (INI) files with the semantics the library relies on: case-insensitive section and
// key names, defaults for anything missing, integers parsed like the classic profile API
// (optional sign, leading decimal digits, "0x" hex; garbage reads as its leading digits or 0),
// no caching (every call reads the file), and writes that keep every other line.
#pragma once
#include <cstddef>
#include <string>

namespace plat {

int ProfileGetInt(const std::string& file, const std::string& section, const std::string& key,
                  int defaultValue);
// The value (trimmed of surrounding blanks and one pair of enclosing quotes), cut to
// maxLength - 1 characters as a caller buffer of maxLength bytes would hold it.
std::string ProfileGetString(const std::string& file, const std::string& section,
                             const std::string& key, const std::string& defaultValue,
                             size_t maxLength = 4096);
// Sets the key (adding section and key when missing); creates the file when needed.
bool ProfileWriteString(const std::string& file, const std::string& section,
                        const std::string& key, const std::string& value);

}  // namespace plat
