#pragma once
// Private-profile (INI) reading and writing. Section and key names are matched without regard to
// letter case, a key that exists is updated in place, and every other line of the file (comments,
// blank lines, unknown sections, line ends) is kept as it was.

#include <optional>
#include <string>
#include <string_view>

namespace marlin {

class IniFile {
public:
    // Longest value returned by a read, as the profile reader's 750-character buffer allows.
    static constexpr std::size_t kMaxValueLength = 749;
    // No settings file comes near this size; a larger file (or an endless one such as /dev/zero)
    // is neither read nor rewritten.
    static constexpr std::size_t kMaxFileSize = 1024 * 1024;

    // False when `file` holds more than kMaxFileSize bytes; reads no more than that to find out.
    static bool withinSizeLimit(const std::string& file);

    // The value of `key` in `section`, or `fallback` when the file, section or key is missing.
    // Surrounding blanks are removed, and one pair of matching quotes around the value.
    static std::string readString(const std::string& file, std::string_view section, std::string_view key,
                                  std::string_view fallback);
    // Sets `key` in `section` to `value`, creating the file, section or key as needed. The file is
    // replaced atomically, so a failed write never leaves half a settings file. False on failure,
    // and for a file above the size limit, which is left alone.
    static bool writeString(const std::string& file, std::string_view section, std::string_view key,
                            std::string_view value);
};

// The recorder's settings calls: the default text is "1" when none is given.
std::string ReadIniValue(const std::string& file, std::string_view section, std::string_view key,
                         std::optional<std::string_view> defaultValue = std::nullopt);
bool WriteIniValue(const std::string& file, std::string_view section, std::string_view key,
                   std::string_view value);
// Numbers go through TrimText; flags are written as "1"/"0".
bool WriteIniValue(const std::string& file, std::string_view section, std::string_view key, long long value);
bool WriteIniFlag(const std::string& file, std::string_view section, std::string_view key, bool value);

}  // namespace marlin
