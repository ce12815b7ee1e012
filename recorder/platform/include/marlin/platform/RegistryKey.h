#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marlin::platform {

// Value types of the registry.
enum RegistryType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegDwordBigEndian = 5,
    kRegMultiSz = 7,
    kRegQword = 11,
};

struct RegistryValueEntry {
    std::string name;  // "" is the key's default value
    std::uint32_t type = kRegNone;
    std::vector<std::uint8_t> data;
};

// Names of keys and values compare without regard to ASCII letter case, as the registry's do.
struct RegistryNameLess {
    bool operator()(std::string_view a, std::string_view b) const;
    using is_transparent = void;
};
bool registryNameEquals(std::string_view a, std::string_view b);

// One key of a store: its values in the order they were first written, and its subkeys in name order.
class RegistryKey {
public:
    // The registry nests keys at most this deep below a root; a store never holds deeper ones.
    static constexpr std::size_t kMaxDepth = 512;

    explicit RegistryKey(std::string name = {}) : name_(std::move(name)) {}

    const std::string& name() const { return name_; }

    // The key at `path` below this one (parts separated by "\", empty parts ignored); null if absent.
    const RegistryKey* find(std::string_view path) const;
    RegistryKey* find(std::string_view path);
    // The key at `path`, created with its missing parents.
    RegistryKey& create(std::string_view path);
    // Removes the direct subkey `name` with everything below it; false if there is none.
    bool removeSubkey(std::string_view name);

    const RegistryValueEntry* value(std::string_view name) const;
    void setValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data);
    bool removeValue(std::string_view name);

    const std::vector<RegistryValueEntry>& values() const { return values_; }
    std::vector<const RegistryKey*> subkeys() const;
    bool hasSubkeys() const { return !subkeys_.empty(); }

    static std::vector<std::string_view> splitPath(std::string_view path);
    // The number of parts splitPath would find.
    static std::size_t pathDepth(std::string_view path);

private:
    std::string name_;
    std::vector<RegistryValueEntry> values_;
    // Position of each value in values_ by name, so that a key with many values reads in linear time.
    std::map<std::string, std::size_t, RegistryNameLess> valueIndex_;
    std::map<std::string, std::unique_ptr<RegistryKey>, RegistryNameLess> subkeys_;
};

}  // namespace marlin::platform
