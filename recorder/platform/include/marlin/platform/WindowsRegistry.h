#pragma once

#ifdef _WIN32

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::platform {

// The system's own registry, with the calls and results of RegistryStore. RegistryStore hands
// over to it on Windows unless a store has been moved to a file.
class WindowsRegistry {
public:
    static long keyExists(std::int32_t root, std::string_view path);
    static long createKey(std::int32_t root, std::string_view path);
    static long deleteKey(std::int32_t root, std::string_view path);
    static long queryValue(std::int32_t root, std::string_view path, std::string_view name,
                           std::uint32_t& type, std::vector<std::uint8_t>& data);
    static long setValue(std::int32_t root, std::string_view path, std::string_view name, std::uint32_t type,
                         const std::vector<std::uint8_t>& data);
    static long deleteValue(std::int32_t root, std::string_view path, std::string_view name);
    static long listValueNames(std::int32_t root, std::string_view path, std::vector<std::string>& names);
    static long listSubkeyNames(std::int32_t root, std::string_view path, std::vector<std::string>& names);
};

}  // namespace marlin::platform

#endif
