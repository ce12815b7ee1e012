#include <marlin/platform/RegistryStore.h>

#include <marlin/product.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>

#include <marlin/base/AtomicFile.h>
#include <marlin/platform/RegistryTextFormat.h>

#ifdef _WIN32
#include <marlin/platform/WindowsRegistry.h>
#endif

#ifndef _WIN32
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace marlin::platform {

namespace {

constexpr std::string_view kClassesPrefix = "SOFTWARE\\Classes";
constexpr std::string_view kStoreFileName = "registry.reg";

std::mutex& overridesLock() {
    static std::mutex m;
    return m;
}
std::string& machineOverride() {
    static std::string s;
    return s;
}
std::string& userOverride() {
    static std::string s;
    return s;
}
// Changes within this process go one at a time; the file lock orders them with other processes.
std::mutex& writeLock() {
    static std::mutex m;
    return m;
}

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

#ifdef _WIN32
// Windows has a registry of its own; a store goes to a file only when it has been moved to one.
bool systemRegistry(std::int32_t root) {
    if (root == RegistryStore::kLocalMachine || root == RegistryStore::kClassesRoot) {
        std::lock_guard guard(overridesLock());
        return machineOverride().empty() && environment(RegistryStore::kMachineStoreVariable).empty();
    }
    if (root == RegistryStore::kCurrentUser) {
        std::lock_guard guard(overridesLock());
        return userOverride().empty() && environment(RegistryStore::kUserStoreVariable).empty();
    }
    // Other roots only while neither store has been moved, so that a test never reaches them.
    return systemRegistry(RegistryStore::kLocalMachine) && systemRegistry(RegistryStore::kCurrentUser);
}
#define MARLIN_SYSTEM_REGISTRY(root, call) \
    if (systemRegistry(root)) return WindowsRegistry::call
#else
#define MARLIN_SYSTEM_REGISTRY(root, call)
#endif

#ifndef _WIN32
std::string productFolder() {
    std::string name = MARLIN_PRODUCT_NAME;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name;
}

std::string defaultMachineStore() {
    return (std::filesystem::path("/etc") / productFolder() / kStoreFileName).string();
}

std::string defaultUserStore() {
    std::string base = environment("XDG_CONFIG_HOME");
    if (base.empty() || base.front() != '/') {
        std::string home = environment("HOME");
        if (home.empty()) {
            if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir ? pw->pw_dir : "";
        }
        base = (std::filesystem::path(home) / ".config").string();
    }
    return (std::filesystem::path(base) / productFolder() / kStoreFileName).string();
}
#else
// Only reached for a store moved by its variable or the setter, which take precedence.
std::string defaultMachineStore() {
    return "";
}
std::string defaultUserStore() {
    return "";
}
#endif

struct Location {
    std::string file;
    std::string prefix;
    std::string rootName;
    std::vector<RegistryRootName> names;
};

bool locate(std::int32_t root, Location& loc) {
    if (root == RegistryStore::kLocalMachine || root == RegistryStore::kClassesRoot) {
        loc.file = RegistryStore::storePath(RegistryStore::kLocalMachine);
        loc.prefix = root == RegistryStore::kClassesRoot ? std::string(kClassesPrefix) : "";
        loc.rootName = "HKEY_LOCAL_MACHINE";
        loc.names = {{"HKEY_LOCAL_MACHINE", ""},
                     {"HKLM", ""},
                     {"HKEY_CLASSES_ROOT", std::string(kClassesPrefix)},
                     {"HKCR", std::string(kClassesPrefix)}};
        return true;
    }
    if (root == RegistryStore::kCurrentUser) {
        loc.file = RegistryStore::storePath(root);
        loc.rootName = "HKEY_CURRENT_USER";
        loc.names = {{"HKEY_CURRENT_USER", ""}, {"HKCU", ""}};
        return true;
    }
    return false;
}

std::string fullPath(const Location& loc, std::string_view path) {
    std::string full = loc.prefix;
    for (std::string_view part : RegistryKey::splitPath(path)) {
        if (!full.empty()) full += '\\';
        full += part;
    }
    return full;
}

long fromErrno(int err) {
    switch (err) {
        case 0:
            return RegistryStore::kSuccess;
        case EACCES:
        case EPERM:
        case EROFS:
            return RegistryStore::kAccessDenied;
        case ENOENT:
        case ENOTDIR:
            return RegistryStore::kPathNotFound;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return RegistryStore::kDiskFull;
        default:
            return RegistryStore::kWriteFault;
    }
}

// Reads and parses the store; a file that is not there is an empty store.
long load(const Location& loc, RegistryParseResult& parsed) {
    std::string text;
    const int err = AtomicFile::read(loc.file, text);
    if (err == ENOENT) {
        parsed = RegistryParseResult{RegistryKey(), {}};
        return RegistryStore::kSuccess;
    }
    if (err) return fromErrno(err);
    parsed = RegistryTextFormat::parse(text, loc.names);
    return RegistryStore::kSuccess;
}

bool validName(std::string_view name, std::size_t limit) {
    return name.size() <= limit &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool validKeyPath(std::string_view path) {
    for (std::string_view part : RegistryKey::splitPath(path)) {
        if (!validName(part, RegistryStore::kMaxKeyNameLength)) return false;
    }
    return true;
}

// Holds the inter-process lock of a store file for the duration of one change.
class StoreLock {
public:
    explicit StoreLock(const std::string& file) {
#ifndef _WIN32
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
        fd_ = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error_ = errno;
                break;
            }
        }
#else
        (void)file;
#endif
    }
    ~StoreLock() {
#ifndef _WIN32
        if (fd_ >= 0) ::close(fd_);
#endif
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    int error() const {
        return error_;
    }

private:
    int fd_ = -1;
    int error_ = 0;
};

// Runs `change` on the current content of the store and writes the result back when it
// reports success.
long modify(std::int32_t root, const std::function<long(RegistryKey&, const Location&)>& change) {
    Location loc;
    if (!locate(root, loc)) return RegistryStore::kInvalidHandle;
    if (loc.file.empty()) return RegistryStore::kPathNotFound;
    std::lock_guard guard(writeLock());
    StoreLock lock(loc.file);
    if (lock.error()) return fromErrno(lock.error());
    std::string before;
    const int err = AtomicFile::read(loc.file, before);
    if (err && err != ENOENT) return fromErrno(err);
    RegistryParseResult parsed = RegistryTextFormat::parse(before, loc.names);
    if (!parsed.problems.empty()) return RegistryStore::kBadDatabase;
    if (const long rc = change(parsed.root, loc)) return rc;
    const std::string after = RegistryTextFormat::format(parsed.root, loc.rootName);
    // Opening an existing key or writing the same value again leaves the file alone.
    if (after == before) return RegistryStore::kSuccess;
    return fromErrno(AtomicFile::write(loc.file, after));
}

// Runs `look` on the current content of the store.
long inspect(std::int32_t root, const std::function<long(const RegistryKey&, const Location&)>& look) {
    Location loc;
    if (!locate(root, loc)) return RegistryStore::kInvalidHandle;
    RegistryParseResult parsed;
    if (const long rc = load(loc, parsed)) return rc;
    return look(parsed.root, loc);
}

}  // namespace

std::string RegistryStore::rootName(std::int32_t root) {
    switch (static_cast<std::uint32_t>(root)) {
        case 0x80000000u:
            return "HKEY_CLASSES_ROOT";
        case 0x80000001u:
            return "HKEY_CURRENT_USER";
        case 0x80000002u:
            return "HKEY_LOCAL_MACHINE";
        case 0x80000003u:
            return "HKEY_USERS";
        default:
            return "";
    }
}

std::string RegistryStore::storePath(std::int32_t root) {
#ifdef _WIN32
    if (systemRegistry(root)) return "";
#endif
    if (root == kLocalMachine || root == kClassesRoot) {
        {
            std::lock_guard guard(overridesLock());
            if (!machineOverride().empty()) return machineOverride();
        }
        const std::string fromEnv = environment(kMachineStoreVariable);
        return fromEnv.empty() ? defaultMachineStore() : fromEnv;
    }
    if (root == kCurrentUser) {
        {
            std::lock_guard guard(overridesLock());
            if (!userOverride().empty()) return userOverride();
        }
        const std::string fromEnv = environment(kUserStoreVariable);
        return fromEnv.empty() ? defaultUserStore() : fromEnv;
    }
    return "";
}

void RegistryStore::setStorePath(std::int32_t root, const std::string& path) {
    std::lock_guard guard(overridesLock());
    if (root == kLocalMachine || root == kClassesRoot) machineOverride() = path;
    if (root == kCurrentUser) userOverride() = path;
}

long RegistryStore::keyExists(std::int32_t root, std::string_view path) {
    MARLIN_SYSTEM_REGISTRY(root, keyExists(root, path));
    return inspect(root, [&](const RegistryKey& tree, const Location& loc) {
        return tree.find(fullPath(loc, path)) ? kSuccess : kFileNotFound;
    });
}

long RegistryStore::createKey(std::int32_t root, std::string_view path) {
    MARLIN_SYSTEM_REGISTRY(root, createKey(root, path));
    if (!validKeyPath(path)) return kInvalidParameter;
    return modify(root, [&](RegistryKey& tree, const Location& loc) {
        const std::string full = fullPath(loc, path);
        if (RegistryKey::pathDepth(full) > RegistryKey::kMaxDepth) return kInvalidParameter;
        tree.create(full);
        return kSuccess;
    });
}

long RegistryStore::deleteKey(std::int32_t root, std::string_view path) {
    MARLIN_SYSTEM_REGISTRY(root, deleteKey(root, path));
    const auto parts = RegistryKey::splitPath(path);
    if (parts.empty()) return kAccessDenied;  // a root is not deleted
    return modify(root, [&](RegistryKey& tree, const Location& loc) {
        const std::string full = fullPath(loc, path);
        const RegistryKey* key = tree.find(full);
        if (!key) return kFileNotFound;
        if (key->hasSubkeys()) return kAccessDenied;
        const std::string parentPath = full.substr(0, full.size() - parts.back().size());
        tree.find(parentPath)->removeSubkey(parts.back());
        return kSuccess;
    });
}

long RegistryStore::queryValue(std::int32_t root, std::string_view path, std::string_view name,
                               std::uint32_t& type, std::vector<std::uint8_t>& data) {
    MARLIN_SYSTEM_REGISTRY(root, queryValue(root, path, name, type, data));
    return inspect(root, [&](const RegistryKey& tree, const Location& loc) {
        const RegistryKey* key = tree.find(fullPath(loc, path));
        if (!key) return kFileNotFound;
        const RegistryValueEntry* v = key->value(name);
        if (!v) return kFileNotFound;
        type = v->type;
        data = v->data;
        return kSuccess;
    });
}

long RegistryStore::setValue(std::int32_t root, std::string_view path, std::string_view name,
                             std::uint32_t type, const std::vector<std::uint8_t>& data) {
    MARLIN_SYSTEM_REGISTRY(root, setValue(root, path, name, type, data));
    if (!validKeyPath(path) || !validName(name, kMaxValueNameLength)) return kInvalidParameter;
    return modify(root, [&](RegistryKey& tree, const Location& loc) {
        const std::string full = fullPath(loc, path);
        if (RegistryKey::pathDepth(full) > RegistryKey::kMaxDepth) return kInvalidParameter;
        tree.create(full).setValue(name, type, data);
        return kSuccess;
    });
}

long RegistryStore::deleteValue(std::int32_t root, std::string_view path, std::string_view name) {
    MARLIN_SYSTEM_REGISTRY(root, deleteValue(root, path, name));
    return modify(root, [&](RegistryKey& tree, const Location& loc) {
        RegistryKey* key = tree.find(fullPath(loc, path));
        if (!key) return kFileNotFound;
        return key->removeValue(name) ? kSuccess : kFileNotFound;
    });
}

long RegistryStore::listValueNames(std::int32_t root, std::string_view path,
                                   std::vector<std::string>& names) {
    MARLIN_SYSTEM_REGISTRY(root, listValueNames(root, path, names));
    names.clear();
    return inspect(root, [&](const RegistryKey& tree, const Location& loc) {
        const RegistryKey* key = tree.find(fullPath(loc, path));
        if (!key) return kFileNotFound;
        for (const auto& v : key->values()) names.push_back(v.name);
        return kSuccess;
    });
}

long RegistryStore::listSubkeyNames(std::int32_t root, std::string_view path,
                                    std::vector<std::string>& names) {
    MARLIN_SYSTEM_REGISTRY(root, listSubkeyNames(root, path, names));
    names.clear();
    return inspect(root, [&](const RegistryKey& tree, const Location& loc) {
        const RegistryKey* key = tree.find(fullPath(loc, path));
        if (!key) return kFileNotFound;
        for (const RegistryKey* k : key->subkeys()) names.push_back(k->name());
        return kSuccess;
    });
}

std::vector<std::string> RegistryStore::problems(std::int32_t root) {
    Location loc;
    if (!locate(root, loc)) return {};
    RegistryParseResult parsed;
    if (const long rc = load(loc, parsed))
        return {loc.file + ": cannot be read (error " + std::to_string(rc) + ")"};
    for (auto& p : parsed.problems) p = loc.file + " " + p;
    return parsed.problems;
}

}  // namespace marlin::platform
