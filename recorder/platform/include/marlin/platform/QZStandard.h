#pragma once

#include <cstdint>
#include <string>
#include <variant>

// Registry helpers of the QZStandard module, used by the About window to find installed tools and
// drivers and to write the settings of the tools it starts.
namespace marlin::QZStandard {

constexpr std::int32_t kHkeyClassesRoot = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHkeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
constexpr std::int32_t kHkeyLocalMachine = static_cast<std::int32_t>(0x80000002u);

// A text value or a 32-bit number value.
using RegistryData = std::variant<std::string, std::int32_t>;

// A string value as its text (up to its first zero character), a 32-bit number value as its
// number; any other type, a missing key or a missing value gives "".
RegistryData ReadRegistryValue(std::int32_t rootKey, const std::string& keyPath,
                               const std::string& valueName);
// The text of what ReadRegistryValue returned (a number in decimal).
std::string RegistryDataText(const RegistryData& data);

// Creates or opens the key; a number is stored as a 32-bit number value, a text as a string value
// of the text without surrounding blanks. Returns the registry's result (0 for success).
long WriteRegistryValue(std::int32_t rootKey, const std::string& keyPath, const std::string& valueName,
                        const RegistryData& value);
inline long WriteRegistryValue(std::int32_t rootKey, const std::string& keyPath, const std::string& valueName,
                               const char* value) {
    return WriteRegistryValue(rootKey, keyPath, valueName, RegistryData(std::string(value)));
}

// The result of the last registry call of these helpers (0 for success, 2 for not found, ...).
long LastRegistryStatus();

}  // namespace marlin::QZStandard
