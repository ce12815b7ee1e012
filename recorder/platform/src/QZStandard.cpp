#include <marlin/platform/QZStandard.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include <marlin/platform/RegistryKey.h>
#include <marlin/platform/RegistryStore.h>

using marlin::platform::RegistryStore;

namespace marlin::QZStandard {

namespace {

std::atomic<long> lastStatus{0};

std::string trimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

long LastRegistryStatus() {
    return lastStatus.load();
}

RegistryData ReadRegistryValue(std::int32_t rootKey, const std::string& keyPath,
                               const std::string& valueName) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const long rc = RegistryStore::queryValue(rootKey, keyPath, valueName, type, data);
    lastStatus = rc;
    if (rc != RegistryStore::kSuccess) return std::string();
    if (type == marlin::platform::kRegSz) {
        // A text stored without its terminator is still the whole text.
        const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
        return std::string(data.begin(), end);
    }
    if (type == marlin::platform::kRegDword && data.size() == 4) {
        std::uint32_t v = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
                          (static_cast<std::uint32_t>(data[2]) << 16) |
                          (static_cast<std::uint32_t>(data[3]) << 24);
        return static_cast<std::int32_t>(v);
    }
    return std::string();
}

std::string RegistryDataText(const RegistryData& data) {
    if (const auto* n = std::get_if<std::int32_t>(&data)) return std::to_string(*n);
    return std::get<std::string>(data);
}

long WriteRegistryValue(std::int32_t rootKey, const std::string& keyPath, const std::string& valueName,
                        const RegistryData& value) {
    std::vector<std::uint8_t> data;
    std::uint32_t type = marlin::platform::kRegSz;
    if (const auto* n = std::get_if<std::int32_t>(&value)) {
        type = marlin::platform::kRegDword;
        data.resize(4);
        const auto u = static_cast<std::uint32_t>(*n);
        for (int i = 0; i < 4; ++i)
            data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(u >> (8 * i));
    } else {
        const std::string text = trimBlanks(std::get<std::string>(value));
        data.assign(text.begin(), text.end());
        data.push_back(0);
    }
    const long rc = RegistryStore::setValue(rootKey, keyPath, valueName, type, data);
    lastStatus = rc;
    return rc;
}

}  // namespace marlin::QZStandard
