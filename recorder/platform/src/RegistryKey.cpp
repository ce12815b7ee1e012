#include <marlin/platform/RegistryKey.h>

#include <algorithm>
#include <cstddef>

namespace marlin::platform {

namespace {
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
}  // namespace

bool RegistryNameLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return lower(x) < lower(y); });
}

bool registryNameEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::vector<std::string_view> RegistryKey::splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('\\', pos);
        if (next == std::string_view::npos) next = path.size();
        if (next > pos) parts.push_back(path.substr(pos, next - pos));
        pos = next + 1;
    }
    return parts;
}

std::size_t RegistryKey::pathDepth(std::string_view path) {
    std::size_t parts = 0;
    bool inName = false;
    for (const char c : path) {
        if (c == '\\') {
            inName = false;
        } else if (!inName) {
            inName = true;
            ++parts;
        }
    }
    return parts;
}

const RegistryKey* RegistryKey::find(std::string_view path) const {
    const RegistryKey* key = this;
    for (std::string_view part : splitPath(path)) {
        const auto it = key->subkeys_.find(part);
        if (it == key->subkeys_.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

RegistryKey* RegistryKey::find(std::string_view path) {
    return const_cast<RegistryKey*>(static_cast<const RegistryKey*>(this)->find(path));
}

RegistryKey& RegistryKey::create(std::string_view path) {
    RegistryKey* key = this;
    for (std::string_view part : splitPath(path)) {
        auto it = key->subkeys_.find(part);
        if (it == key->subkeys_.end()) {
            it = key->subkeys_.emplace(std::string(part), std::make_unique<RegistryKey>(std::string(part)))
                     .first;
        }
        key = it->second.get();
    }
    return *key;
}

bool RegistryKey::removeSubkey(std::string_view name) {
    const auto it = subkeys_.find(name);
    if (it == subkeys_.end()) return false;
    subkeys_.erase(it);
    return true;
}

const RegistryValueEntry* RegistryKey::value(std::string_view name) const {
    const auto it = valueIndex_.find(name);
    return it == valueIndex_.end() ? nullptr : &values_[it->second];
}

void RegistryKey::setValue(std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    const auto it = valueIndex_.find(name);
    if (it == valueIndex_.end()) {
        valueIndex_.emplace(std::string(name), values_.size());
        values_.push_back({std::string(name), type, std::move(data)});
    } else {
        values_[it->second].type = type;
        values_[it->second].data = std::move(data);
    }
}

bool RegistryKey::removeValue(std::string_view name) {
    const auto it = valueIndex_.find(name);
    if (it == valueIndex_.end()) return false;
    const std::size_t removed = it->second;
    valueIndex_.erase(it);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(removed));
    for (auto& [valueName, position] : valueIndex_) {
        if (position > removed) --position;
    }
    return true;
}

std::vector<const RegistryKey*> RegistryKey::subkeys() const {
    std::vector<const RegistryKey*> out;
    out.reserve(subkeys_.size());
    for (const auto& [name, key] : subkeys_) out.push_back(key.get());
    return out;
}

}  // namespace marlin::platform
