#ifdef _WIN32

#include <marlin/platform/WindowsRegistry.h>

#include <windows.h>

namespace marlin::platform {

namespace {

constexpr REGSAM kFullAccess = 0x3F;

bool rootHandle(std::int32_t root, HKEY& handle) {
    const auto u = static_cast<std::uint32_t>(root);
    if (u < 0x80000000u || u > 0x80000006u) return false;
    // Predefined keys are sign-extended 32-bit values.
    handle = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root));
    return true;
}

// Opens root\path and closes it again when it goes out of scope.
class OpenKey {
public:
    OpenKey(std::int32_t root, std::string_view path, REGSAM access, bool create = false) {
        HKEY base{};
        if (!rootHandle(root, base)) {
            result_ = ERROR_INVALID_HANDLE;
            return;
        }
        const std::string p(path);
        result_ = create ? RegCreateKeyExA(base, p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                           nullptr, &key_, nullptr)
                         : RegOpenKeyExA(base, p.c_str(), 0, access, &key_);
        if (result_ != ERROR_SUCCESS) key_ = nullptr;
    }
    ~OpenKey() {
        if (key_) RegCloseKey(key_);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    long result() const { return result_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    long result_ = ERROR_SUCCESS;
};

}  // namespace

long WindowsRegistry::keyExists(std::int32_t root, std::string_view path) {
    return OpenKey(root, path, KEY_QUERY_VALUE).result();
}

long WindowsRegistry::createKey(std::int32_t root, std::string_view path) {
    return OpenKey(root, path, kFullAccess, true).result();
}

long WindowsRegistry::deleteKey(std::int32_t root, std::string_view path) {
    HKEY base{};
    if (!rootHandle(root, base)) return ERROR_INVALID_HANDLE;
    return RegDeleteKeyA(base, std::string(path).c_str());
}

long WindowsRegistry::queryValue(std::int32_t root, std::string_view path, std::string_view name,
                                 std::uint32_t& type, std::vector<std::uint8_t>& data) {
    const OpenKey key(root, path, KEY_QUERY_VALUE);
    if (key.result() != ERROR_SUCCESS) return key.result();
    const std::string n(name);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD t = 0, size = 0;
        long rc = RegQueryValueExA(key.get(), n.c_str(), nullptr, &t, nullptr, &size);
        if (rc != ERROR_SUCCESS) return rc;
        data.resize(size);
        rc = RegQueryValueExA(key.get(), n.c_str(), nullptr, &t, data.data(), &size);
        if (rc == ERROR_MORE_DATA) continue;  // grew in between
        if (rc != ERROR_SUCCESS) return rc;
        data.resize(size);
        type = t;
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

long WindowsRegistry::setValue(std::int32_t root, std::string_view path, std::string_view name,
                               std::uint32_t type, const std::vector<std::uint8_t>& data) {
    const OpenKey key(root, path, kFullAccess, true);
    if (key.result() != ERROR_SUCCESS) return key.result();
    return RegSetValueExA(key.get(), std::string(name).c_str(), 0, type, data.data(),
                          static_cast<DWORD>(data.size()));
}

long WindowsRegistry::deleteValue(std::int32_t root, std::string_view path, std::string_view name) {
    const OpenKey key(root, path, kFullAccess);
    if (key.result() != ERROR_SUCCESS) return key.result();
    return RegDeleteValueA(key.get(), std::string(name).c_str());
}

long WindowsRegistry::listValueNames(std::int32_t root, std::string_view path,
                                     std::vector<std::string>& names) {
    names.clear();
    const OpenKey key(root, path, KEY_QUERY_VALUE);
    if (key.result() != ERROR_SUCCESS) return key.result();
    DWORD longest = 0;
    long rc = RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               &longest, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    std::string buffer(longest + 1, '\0');
    for (DWORD i = 0;; ++i) {
        DWORD length = static_cast<DWORD>(buffer.size());
        rc = RegEnumValueA(key.get(), i, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        names.emplace_back(buffer.data(), length);
    }
    return ERROR_SUCCESS;
}

long WindowsRegistry::listSubkeyNames(std::int32_t root, std::string_view path,
                                      std::vector<std::string>& names) {
    names.clear();
    const OpenKey key(root, path, KEY_ENUMERATE_SUB_KEYS);
    if (key.result() != ERROR_SUCCESS) return key.result();
    char buffer[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof buffer;
        if (RegEnumKeyExA(key.get(), i, buffer, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(buffer, length);
    }
    return ERROR_SUCCESS;
}

}  // namespace marlin::platform

#endif
